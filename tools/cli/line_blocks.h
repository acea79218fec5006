// The input of a transform, cut into blocks of whole lines.
#ifndef SENMOD_CLI_LINE_BLOCKS_H
#define SENMOD_CLI_LINE_BLOCKS_H

#include <cstdio>
#include <string>
#include <vector>

namespace senmod_cli {

// The longest line (bytes, without its line feed) the command reads: a point line needs
// less than a hundred, and a reader without a limit can be made to hold a whole file.
constexpr size_t kMaxLineBytes = 65536;

// Lines [firstLine, firstLine + lines) of the input, each ending in a line feed.
struct LineBlock {
  long firstLine = 1;
  long lines = 0;
  std::string text;
  bool tooLong = false;  // the line after the block is longer than kMaxLineBytes
};

class LineBlocks {
 public:
  // name is the input's name in messages.
  LineBlocks(std::FILE* in, std::string name);

  // Fills block with up to maxLines lines; false (block empty) at the end of the input or
  // after a line that is too long. Throws CommandError when the input cannot be read.
  bool next(LineBlock& block, long maxLines);

 private:
  bool fill();
  std::FILE* in_;
  std::string name_;
  std::vector<char> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
  bool stopped_ = false;
  long nextLine_ = 1;
};

}  // namespace senmod_cli

#endif
