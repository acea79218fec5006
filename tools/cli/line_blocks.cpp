#include "line_blocks.h"

#include <cerrno>
#include <cstring>

#include "face.h"

namespace senmod_cli {

namespace {

constexpr size_t kReadBytes = 1 << 20;

}  // namespace

LineBlocks::LineBlocks(std::FILE* in, std::string name)
    : in_(in), name_(std::move(name)), buffer_(kReadBytes + kMaxLineBytes + 1) {}

// Moves the unread bytes to the front and reads more; false at the end of the input.
bool LineBlocks::fill() {
  if (eof_) return false;
  std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  const size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, in_);
  end_ += got;
  if (got == 0) {
    if (std::ferror(in_)) {
      throw CommandError(name_ + ": cannot read the input (" + std::strerror(errno) + ")");
    }
    eof_ = true;
    return false;
  }
  return true;
}

bool LineBlocks::next(LineBlock& block, long maxLines) {
  block.text.clear();
  block.lines = 0;
  block.tooLong = false;
  block.firstLine = nextLine_;
  while (!stopped_ && block.lines < maxLines) {
    const char* start = buffer_.data() + begin_;
    const void* feed = std::memchr(start, '\n', end_ - begin_);
    const size_t length = feed ? static_cast<const char*>(feed) - start : end_ - begin_;
    if (length > kMaxLineBytes) {
      block.tooLong = true;
      stopped_ = true;
      break;
    }
    if (!feed) {
      if (fill()) continue;
      if (length == 0) break;
      // The last line has no line feed.
      block.text.append(start, length).push_back('\n');
      begin_ = end_;
    } else {
      block.text.append(start, length + 1);
      begin_ += length + 1;
    }
    ++block.lines;
    ++nextLine_;
  }
  return block.lines > 0 || block.tooLong;
}

}  // namespace senmod_cli
