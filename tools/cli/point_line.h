// One line of a point file.
#ifndef SENMOD_CLI_POINT_LINE_H
#define SENMOD_CLI_POINT_LINE_H

namespace senmod_cli {

// What a line holds: nothing to transform (blank, or a comment starting with '#'), a point of
// 2 or 3 numbers, or something else.
enum class LineKind { Skip, Point, Malformed };

// Reads the line [begin, end) (without its line feed): fields separated by runs of blanks,
// tabs, commas and carriage returns, each a number as parseNumberText reads it. For a point,
// fields[0..count) hold its numbers.
LineKind parsePointLine(const char* begin, const char* end, double fields[3], int* count);

}  // namespace senmod_cli

#endif
