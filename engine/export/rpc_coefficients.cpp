#include "rpc_coefficients.h"

#include <string>

#include "number_text.h"

namespace senmod_io {

namespace {

using senmod_text::numberText;

std::string listText(const std::array<double, kRpcTerms>& values) {
  std::string text;
  for (int t = 0; t < kRpcTerms; ++t) text += (t ? " " : "") + numberText(values[t]);
  return text;
}

}  // namespace

CPLStringList rpcMetadata(const Rpc& rpc, const RpcAccuracy& accuracy) {
  CPLStringList items;
  items.SetNameValue("ERR_BIAS", numberText(accuracy.bias >= 0.0 ? accuracy.bias : -1.0).c_str());
  items.SetNameValue("ERR_RAND",
                     numberText(accuracy.random >= 0.0 ? accuracy.random : -1.0).c_str());
  items.SetNameValue("LINE_OFF", numberText(rpc.lineOff).c_str());
  items.SetNameValue("SAMP_OFF", numberText(rpc.sampOff).c_str());
  items.SetNameValue("LAT_OFF", numberText(rpc.latOff).c_str());
  items.SetNameValue("LONG_OFF", numberText(rpc.longOff).c_str());
  items.SetNameValue("HEIGHT_OFF", numberText(rpc.heightOff).c_str());
  items.SetNameValue("LINE_SCALE", numberText(rpc.lineScale).c_str());
  items.SetNameValue("SAMP_SCALE", numberText(rpc.sampScale).c_str());
  items.SetNameValue("LAT_SCALE", numberText(rpc.latScale).c_str());
  items.SetNameValue("LONG_SCALE", numberText(rpc.longScale).c_str());
  items.SetNameValue("HEIGHT_SCALE", numberText(rpc.heightScale).c_str());
  items.SetNameValue("LINE_NUM_COEFF", listText(rpc.lineNum).c_str());
  items.SetNameValue("LINE_DEN_COEFF", listText(rpc.lineDen).c_str());
  items.SetNameValue("SAMP_NUM_COEFF", listText(rpc.sampNum).c_str());
  items.SetNameValue("SAMP_DEN_COEFF", listText(rpc.sampDen).c_str());
  return items;
}

}  // namespace senmod_io
