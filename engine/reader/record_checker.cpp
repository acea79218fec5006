#include "record_checker.h"

#include <cmath>
#include <cstring>

#include "read_error.h"

namespace senmod_io {

void RecordChecker::fail(const std::string& field, const std::string& what) const {
  throw ReadError(file_ + ": " + record_ + ": field " + field + ": " + what);
}

void RecordChecker::range(const std::string& field, int32_t value, int32_t low,
                          int32_t high) const {
  if (value < low || value > high) {
    fail(field, std::to_string(value) + " is outside " + std::to_string(low) + " to " +
                    std::to_string(high));
  }
}

void RecordChecker::text(const std::string& field, const Hmif_String& value) const {
  if (value.count == 0 && !value.data) return;
  if (value.count < 1 || !value.data ||
      std::memchr(value.data, '\0', size_t(value.count)) != value.data + value.count - 1) {
    fail(field, "the text does not end at its count");
  }
}

bool RecordChecker::flag(const std::string& field, const Hmif_String& value) const {
  text(field, value);
  const char* t = value.data ? value.data : "";
  if (std::strcmp(t, "Y") != 0 && std::strcmp(t, "N") != 0) fail(field, "not Y or N");
  return t[0] == 'Y';
}

void RecordChecker::real(const std::string& field, double value) const {
  if (!std::isfinite(value)) fail(field, "not a finite number");
}

void RecordChecker::reals(const std::string& field, const Smod_Doubles& values,
                          long count) const {
  if (values.count != count) {
    fail(field, std::to_string(values.count) + " values where " + std::to_string(count) +
                    " are required");
  }
  reals(field, values);
}

void RecordChecker::reals(const std::string& field, const Smod_Doubles& values) const {
  if (values.count > 0 && !values.data) fail(field, "no values for its count");
  for (int32_t i = 0; i < values.count; ++i) real(field, values.data[i]);
}

}  // namespace senmod_io
