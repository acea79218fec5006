// Writes the senmod manual page to standard output, from the same texts as `senmod --help`.
#include <cstdio>

#include "command_text.h"
#include "senmod/version.h"

int main() {
  const std::string page = senmod_cli::manPage(SENMOD_VERSION);
  return std::fwrite(page.data(), 1, page.size(), stdout) == page.size() ? 0 : 1;
}
