#include "point_line.h"

#include "number_text.h"

using senmod_text::parseNumberText;

namespace senmod_cli {

namespace {

bool separator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r'; }

}  // namespace

LineKind parsePointLine(const char* begin, const char* end, double fields[3], int* count) {
  const char* p = begin;
  while (p != end && (*p == ' ' || *p == '\t' || *p == '\r')) ++p;
  if (p == end || *p == '#') return LineKind::Skip;
  int n = 0;
  while (true) {
    while (p != end && separator(*p)) ++p;
    if (p == end) break;
    const char* field = p;
    while (p != end && !separator(*p)) ++p;
    if (n == 3 || !parseNumberText(field, p, &fields[n])) return LineKind::Malformed;
    ++n;
  }
  if (n < 2) return LineKind::Malformed;
  *count = n;
  return LineKind::Point;
}

}  // namespace senmod_cli
