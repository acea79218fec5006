// Every text that describes the command: each command's synopsis and purpose, each option with
// its spellings, its value and the commands that take it. The parser reads its options from
// here, `senmod COMMAND --help` prints from here, and the man page is made from here, so that
// no option is missing from any of them.
#ifndef SENMOD_CLI_COMMAND_TEXT_H
#define SENMOD_CLI_COMMAND_TEXT_H

#include <string>

namespace senmod_cli {

struct CommandText {
  const char* name;
  const char* synopsis;  // what follows "senmod <name>"
  const char* purpose;   // a paragraph for people
};

struct OptionText {
  const char* name;      // the canonical spelling ("--t_srs")
  const char* alias;     // GDAL's single-dash spelling ("-t_srs"), or ""
  const char* value;     // the value's name ("SRS"; "KEY VALUE" for two), or "" for a flag
  const char* commands;  // the commands that take it, separated by blanks
  const char* help;      // what it does
};

extern const CommandText kCommandTexts[];
extern const int kCommandCount;
extern const OptionText kOptionTexts[];
extern const int kOptionCount;

// The command's entry, null for an unknown name.
const CommandText* commandText(const std::string& name);

// True when option o is taken by command.
bool takes(const OptionText& o, const std::string& command);

// The number of values the option takes (0, 1, 2 or 4).
int valueCount(const OptionText& o);

// Every command's synopsis, for the bare command and for usage errors.
std::string usageText();

// One command's synopsis, purpose and options, for `senmod COMMAND --help`.
std::string commandHelp(const std::string& command);

// The manual page (roff), made from the same texts.
std::string manPage(const std::string& version);

}  // namespace senmod_cli

#endif
