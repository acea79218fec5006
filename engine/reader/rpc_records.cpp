#include "rpc_records.h"

#include <cpl_string.h>
#include <gdal_alg.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "read_error.h"
#include "rpc_terms.h"

namespace senmod_io {

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr int kSide = 4;  // powers 0 ... 3 in each of x, y, z
constexpr int kTerms = kSide * kSide * kSide;

Smod_Doubles spread(const double* rpc) {
  std::vector<double> coefficients(kTerms, 0.0);
  for (int t = 0; t < kRpcTerms; ++t) {
    const int* p = kRpcPowers[t];
    coefficients[p[0] + kSide * (p[1] + kSide * p[2])] = rpc[t];
  }
  return heapDoubles(coefficients);
}

void setPowers(int32_t& x, int32_t& y, int32_t& z) { x = y = z = kSide - 1; }

// A whole text as one finite number.
bool numberOf(const char* text, double* value) {
  char* end = nullptr;
  *value = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(*value);
}

// The ranges an RPC's offsets and scales can take on the Earth: GDAL's parser reads a missing or
// malformed item as zero, which would give a model that answers every point the same way.
struct ItemRange {
  const char* name;
  double low, high;
  bool positive;  // a scale: above zero
};
constexpr ItemRange kItemRanges[] = {
    {"LINE_OFF", -1e9, 1e9, false},     {"SAMP_OFF", -1e9, 1e9, false},
    {"LAT_OFF", -90.0, 90.0, false},    {"LONG_OFF", -180.0, 360.0, false},
    {"HEIGHT_OFF", -15000.0, 15000.0, false}, {"LINE_SCALE", 0.0, 1e9, true},
    {"SAMP_SCALE", 0.0, 1e9, true},     {"LAT_SCALE", 0.0, 90.0, true},
    {"LONG_SCALE", 0.0, 180.0, true},   {"HEIGHT_SCALE", 0.0, 20000.0, true}};

// Refuses metadata whose items GDAL's parser would take loosely, naming the item: each offset
// and scale one number in its range, each coefficient list exactly twenty numbers.
void checkRpcItems(char** metadata, const std::string& file) {
  for (const ItemRange& item : kItemRanges) {
    const char* text = CSLFetchNameValue(metadata, item.name);
    const std::string where = file + ": RPC: " + item.name;
    if (!text) throw ReadError(where + " is missing");
    const CPLStringList words(CSLTokenizeString2(text, " \t\r\n", 0));
    double value = 0.0;
    if (words.size() != 1 || !numberOf(words[0], &value)) {
      throw ReadError(where + " is not a number: \"" + text + "\"");
    }
    const bool inside = item.positive ? value > item.low && value <= item.high
                                      : value >= item.low && value <= item.high;
    if (!inside) {
      throw ReadError(where + " = " + words[0] + " lies outside " +
                      (item.positive ? "(" : "[") + CPLSPrintf("%.15g", item.low) + ", " +
                      CPLSPrintf("%.15g", item.high) + "]");
    }
  }
  for (const char* name : {"LINE_NUM_COEFF", "LINE_DEN_COEFF", "SAMP_NUM_COEFF", "SAMP_DEN_COEFF"}) {
    const char* text = CSLFetchNameValue(metadata, name);
    const std::string where = file + ": RPC: " + name;
    if (!text) throw ReadError(where + " is missing");
    const CPLStringList words(CSLTokenizeString2(text, " \t\r\n", 0));
    if (words.size() != 20) {
      throw ReadError(where + " holds " + std::to_string(words.size()) +
                      " values; it needs exactly 20");
    }
    for (int t = 0; t < 20; ++t) {
      double value = 0.0;
      if (!numberOf(words[t], &value)) {
        throw ReadError(where + " term " + std::to_string(t + 1) + " is not a number: \"" +
                        words[t] + "\"");
      }
    }
  }
}

}  // namespace

ModelPtr modelFromRpc(char** metadata, int width, int height, const std::string& file) {
  checkRpcItems(metadata, file);
  GDALRPCInfoV2 rpc{};
  if (!GDALExtractRPCInfoV2(metadata, &rpc)) {
    throw ReadError(file + ": RPC: the coefficients are incomplete or malformed");
  }
  const double offsets[5] = {rpc.dfLONG_OFF / kDegreesPerRadian, rpc.dfLAT_OFF / kDegreesPerRadian,
                             rpc.dfHEIGHT_OFF, rpc.dfSAMP_OFF, rpc.dfLINE_OFF};
  const double scales[5] = {rpc.dfLONG_SCALE / kDegreesPerRadian,
                            rpc.dfLAT_SCALE / kDegreesPerRadian, rpc.dfHEIGHT_SCALE,
                            rpc.dfSAMP_SCALE, rpc.dfLINE_SCALE};
  static const char* const kScaleNames[5] = {"LONG_SCALE", "LAT_SCALE", "HEIGHT_SCALE",
                                             "SAMP_SCALE", "LINE_SCALE"};
  for (int i = 0; i < 5; ++i) {
    if (!std::isfinite(offsets[i]) || !std::isfinite(scales[i])) {
      throw ReadError(file + ": RPC: " + kScaleNames[i] + " or its offset is not a number");
    }
    if (scales[i] == 0.0) throw ReadError(file + ": RPC: " + kScaleNames[i] + " is zero");
  }

  const double* const coefficients[4] = {rpc.adfLINE_NUM_COEFF, rpc.adfLINE_DEN_COEFF,
                                         rpc.adfSAMP_NUM_COEFF, rpc.adfSAMP_DEN_COEFF};
  static const char* const kCoefficientNames[4] = {"LINE_NUM_COEFF", "LINE_DEN_COEFF",
                                                   "SAMP_NUM_COEFF", "SAMP_DEN_COEFF"};
  for (int p = 0; p < 4; ++p) {
    for (int t = 0; t < 20; ++t) {
      if (!std::isfinite(coefficients[p][t])) {
        throw ReadError(file + ": RPC: " + kCoefficientNames[p] + " term " +
                        std::to_string(t + 1) + " is not a finite number");
      }
    }
  }

  ErrorReport* report = nullptr;
  ModelPtr model(smod_RSMCreate(&report));
  if (!model) throw std::bad_alloc();
  RSM_Model_Orig& rsm = model->rsm;
  std::vector<double> vertices;
  for (const double h : {-1.0, 1.0}) {
    for (const double lat : {-1.0, 1.0}) {
      for (const double lon : {-1.0, 1.0}) {
        vertices.push_back(offsets[0] + lon * scales[0]);
        vertices.push_back(offsets[1] + lat * scales[1]);
        vertices.push_back(offsets[2] + h * scales[2]);
      }
    }
  }
  rsm.groundDomain = heapDoubles(vertices);
  rsm.imageDomain = heapDoubles({0.0, std::max(width, 1) - 1.0, 0.0, std::max(height, 1) - 1.0});
  rsm.rowSections = 1;
  rsm.colSections = 1;
  rsm.rowsPerSection = std::max(height, 1);
  rsm.colsPerSection = std::max(width, 1);

  rsm.RationalPolyList.data = smod_RationalPolynomialsCreate(1, &report);
  if (!rsm.RationalPolyList.data) throw std::bad_alloc();
  rsm.RationalPolyList.count = 1;
  RSMFunctions& section = rsm.RationalPolyList.data[0];
  for (int i = 0; i < 5; ++i) {
    section.Offsets[i] = offsets[i];
    section.Scales[i] = scales[i];
  }
  section.useNormalization = SMOD_TRUE;
  setPowers(section.sampleNumeratorPowerX, section.sampleNumeratorPowerY,
            section.sampleNumeratorPowerZ);
  setPowers(section.sampleDenominatorPowerX, section.sampleDenominatorPowerY,
            section.sampleDenominatorPowerZ);
  setPowers(section.rowNumeratorPowerX, section.rowNumeratorPowerY, section.rowNumeratorPowerZ);
  setPowers(section.rowDenominatorPowerX, section.rowDenominatorPowerY,
            section.rowDenominatorPowerZ);
  section.sampleNumerator = spread(rpc.adfSAMP_NUM_COEFF);
  section.sampleDenominator = spread(rpc.adfSAMP_DEN_COEFF);
  section.rowNumerator = spread(rpc.adfLINE_NUM_COEFF);
  section.rowDenominator = spread(rpc.adfLINE_DEN_COEFF);
  section.validSolution = SMOD_TRUE;
  return model;
}

}  // namespace senmod_io
