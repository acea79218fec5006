#include "stored_parameters.h"

#include <cstdint>
#include <cstring>

#include "covariance_checks.h"
#include "parameter_records.h"
#include "read_error.h"

namespace senmod_io {

namespace {

constexpr uint32_t kEncoding = 1;
constexpr size_t kSourceBytesMax = 4096;
constexpr size_t kTermsMax = 99;
const char* const kWhat = "the model file's adjustable parameters";

class Out {
 public:
  void u8(unsigned value) { bytes.push_back(static_cast<unsigned char>(value)); }
  void u32(uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
  }
  void f64(double value) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, 8);
    for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<unsigned char>(bits >> (8 * i)));
  }
  std::vector<unsigned char> bytes;
};

class In {
 public:
  In(const std::vector<unsigned char>& bytes, const std::string& file)
      : bytes_(bytes), file_(file) {}
  uint64_t little(size_t size) {
    if (size > bytes_.size() - at_) fail("they end early");
    uint64_t value = 0;
    for (size_t i = 0; i < size; ++i) value |= uint64_t(bytes_[at_ + i]) << (8 * i);
    at_ += size;
    return value;
  }
  unsigned u8() { return static_cast<unsigned>(little(1)); }
  uint32_t u32() { return static_cast<uint32_t>(little(4)); }
  double f64() {
    const uint64_t bits = little(8);
    double value = 0.0;
    std::memcpy(&value, &bits, 8);
    return value;
  }
  // A count of at most high.
  size_t count(size_t high, const std::string& what) {
    const uint32_t n = u32();
    if (n > high) fail(what + " " + std::to_string(n) + " is above " + std::to_string(high));
    return n;
  }
  bool present(const std::string& what) {
    const unsigned flag = u8();
    if (flag > 1) fail("the " + what + " flag is " + std::to_string(flag));
    return flag == 1;
  }
  std::string text(size_t high) {
    const size_t n = count(high, "a text of");
    if (n > bytes_.size() - at_) fail("they end early");
    std::string value(reinterpret_cast<const char*>(bytes_.data() + at_), n);
    at_ += n;
    if (value.find('\0') != std::string::npos) fail("the source text holds a zero byte");
    return value;
  }
  void end() {
    if (at_ != bytes_.size()) fail("bytes are left over");
  }
  [[noreturn]] void fail(const std::string& why) const {
    throw ReadError(file_ + ": " + kWhat + " are damaged: " + why);
  }

 private:
  const std::vector<unsigned char>& bytes_;
  const std::string& file_;
  size_t at_ = 0;
};

}  // namespace

std::vector<unsigned char> encodeParameters(const AdjustableParameters& p,
                                            const std::string& file) {
  checkParameters(p, "the adjustable parameters", file);
  if (p.source.size() > kSourceBytesMax || p.source.find('\0') != std::string::npos ||
      p.count() > size_t(kMaxParameters) || p.terms.size() > kTermsMax) {
    throw ReadError(file + ": the adjustable parameters cannot be stored: more than " +
                    std::to_string(kMaxParameters) + " parameters or " +
                    std::to_string(kTermsMax) + " terms, or a source text that is not " +
                    std::to_string(kSourceBytesMax) + " bytes of text at most");
  }
  Out out;
  out.u32(kEncoding);
  out.u32(static_cast<uint32_t>(p.source.size()));
  out.bytes.insert(out.bytes.end(), p.source.begin(), p.source.end());
  for (const double v : p.origin) out.f64(v);
  for (const double v : p.axes) out.f64(v);
  for (const double v : p.offset) out.f64(v);
  for (const double v : p.scale) out.f64(v);
  out.u32(static_cast<uint32_t>(p.count()));
  for (const double v : p.values) out.f64(v);
  out.u32(static_cast<uint32_t>(p.terms.size()));
  for (const AdjustmentTerm& t : p.terms) {
    const bool ground = t.kind == AdjustmentTerm::Kind::Ground;
    out.u8(t.kind == AdjustmentTerm::Kind::Row ? 0 : ground ? 2 : 1);
    if (ground) {
      out.u8(static_cast<unsigned>(t.ground));
      out.u8(0);
      out.u8(0);
    } else {
      for (const int power : t.powers) out.u8(static_cast<unsigned>(power));
    }
    out.u32(static_cast<uint32_t>(t.parameter));
  }
  out.u8(p.hasCovariance() ? 1 : 0);
  for (const double v : p.covariance) out.f64(v);
  out.u8(p.unmodelled ? 1 : 0);
  if (p.unmodelled) {
    for (const double v : *p.unmodelled) out.f64(v);
  }
  return std::move(out.bytes);
}

AdjustableParameters decodeParameters(const std::vector<unsigned char>& bytes,
                                      const std::string& file) {
  In in(bytes, file);
  const uint32_t encoding = in.u32();
  if (encoding != kEncoding) {
    throw ReadError(file + ": " + kWhat + " are stored in encoding " + std::to_string(encoding) +
                    "; this version of senmod reads encoding " + std::to_string(kEncoding));
  }
  AdjustableParameters p;
  p.source = in.text(kSourceBytesMax);
  for (double& v : p.origin) v = in.f64();
  for (double& v : p.axes) v = in.f64();
  for (double& v : p.offset) v = in.f64();
  for (double& v : p.scale) v = in.f64();
  const size_t n = in.count(size_t(kMaxParameters), "a parameter count of");
  for (size_t i = 0; i < n; ++i) p.values.push_back(in.f64());
  const size_t terms = in.count(kTermsMax, "a term count of");
  for (size_t i = 0; i < terms; ++i) {
    AdjustmentTerm t;
    const unsigned kind = in.u8();
    if (kind > 2) in.fail("a term of kind " + std::to_string(kind));
    const unsigned a = in.u8(), b = in.u8(), c = in.u8();
    if (kind == 2) {
      if (a > 15 || b != 0 || c != 0) in.fail("a ground-space term none of GXO ... GZZ");
      t.kind = AdjustmentTerm::Kind::Ground;
      t.ground = static_cast<GroundTerm>(a);
    } else {
      t.kind = kind == 0 ? AdjustmentTerm::Kind::Row : AdjustmentTerm::Kind::Sample;
      t.powers = {static_cast<int>(a), static_cast<int>(b), static_cast<int>(c)};
    }
    const uint32_t parameter = in.u32();
    if (parameter >= n) in.fail("a term names parameter " + std::to_string(parameter + 1));
    t.parameter = static_cast<int>(parameter);
    p.terms.push_back(t);
  }
  if (in.present("covariance")) {
    for (size_t i = 0; i < n * n; ++i) p.covariance.push_back(in.f64());
  }
  if (in.present("unmodelled error")) {
    std::array<double, 3> u{};
    for (double& v : u) v = in.f64();
    p.unmodelled = u;
  }
  in.end();
  p.names = parameterNames(p.terms, static_cast<int>(n));
  checkParameters(p, kWhat, file);
  return p;
}

}  // namespace senmod_io
