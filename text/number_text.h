// Numbers as the command reads and writes them: no locale, no iostream.
#ifndef SENMOD_TEXT_NUMBER_TEXT_H
#define SENMOD_TEXT_NUMBER_TEXT_H

#include <string>

namespace senmod_text {

// Room that writeNumber needs at most.
constexpr int kNumberRoom = 32;

// Writes the shortest text that reads back as value (std::to_chars) at `at`, which has
// kNumberRoom bytes; returns the end of the text.
char* writeNumber(char* at, double value);

// The same as a string.
std::string numberText(double value);

// Reads the whole of [begin, end) as a finite decimal number: an optional sign ('+' or '-'),
// digits with an optional point and exponent. False for anything else (no blanks, no hex, no
// "inf" or "nan", nothing out of the range of a double).
bool parseNumberText(const char* begin, const char* end, double* value);

}  // namespace senmod_text

#endif
