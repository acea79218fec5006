#include "number_text.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace senmod_text {

char* writeNumber(char* at, double value) { return std::to_chars(at, at + kNumberRoom, value).ptr; }

std::string numberText(double value) {
  char text[kNumberRoom];
  return std::string(text, writeNumber(text, value));
}

bool parseNumberText(const char* begin, const char* end, double* value) {
  // from_chars takes no '+', and its general format reads "inf" and "nan", which are no
  // coordinates.
  const bool plus = begin != end && *begin == '+';
  if (plus) ++begin;
  if (begin == end) return false;
  const unsigned char first = static_cast<unsigned char>(*begin);
  if (!(std::isdigit(first) || first == '.' || (first == '-' && !plus))) return false;
  double parsed = 0.0;
  const std::from_chars_result r = std::from_chars(begin, end, parsed);
  if (r.ec != std::errc() || r.ptr != end || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

}  // namespace senmod_text
