// Any line reads as nothing, a point or malformed, without reading past its end; a point's
// numbers are finite and read back the same from the command's own text for them.
#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "number_text.h"
#include "point_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly the input's size, so that the sanitizer sees any read past its end.
  const std::vector<char> line(data, data + size);
  double fields[3];
  int count = 0;
  const char* begin = line.data();
  if (senmod_cli::parsePointLine(begin, begin + size, fields, &count) != senmod_cli::LineKind::Point) {
    return 0;
  }
  if (count < 2 || count > 3) abort();
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (!(fields[i] - fields[i] == 0.0)) abort();  // not finite
    text += (i ? ", " : "") + senmod_text::numberText(fields[i]);
  }
  double again[3];
  int countAgain = 0;
  if (senmod_cli::parsePointLine(text.data(), text.data() + text.size(), again, &countAgain) !=
          senmod_cli::LineKind::Point ||
      countAgain != count) {
    abort();
  }
  for (int i = 0; i < count; ++i) {
    if (again[i] != fields[i]) abort();
  }
  return 0;
}
