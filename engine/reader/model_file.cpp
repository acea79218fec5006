#include "model_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "partial_file.h"
#include "read_error.h"

namespace senmod_io {

namespace {

constexpr char kMagic[8] = {'S', 'E', 'N', 'M', 'O', 'D', 'M', 'F'};
// Version 2 added the pixel convention after the source text.
constexpr uint32_t kVersionWithoutConvention = 1;
constexpr uint32_t kVersion = 2;
constexpr uint32_t kCornerCode = 0;
constexpr uint32_t kCenterCode = 1;

class Writer {
 public:
  void raw(const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    out_.insert(out_.end(), bytes, bytes + size);
  }
  void u32(uint32_t value) { little(value, 4); }
  void u64(uint64_t value) { little(value, 8); }
  void block(const void* data, size_t size) {
    u32(static_cast<uint32_t>(size));
    raw(data, size);
  }
  std::vector<unsigned char>& bytes() { return out_; }

 private:
  void little(uint64_t value, int size) {
    for (int i = 0; i < size; ++i) out_.push_back(static_cast<unsigned char>(value >> (8 * i)));
  }
  std::vector<unsigned char> out_;
};

class Reader {
 public:
  Reader(const unsigned char* data, size_t size, const std::string& file)
      : data_(data), size_(size), file_(file) {}
  uint64_t little(int size) {
    need(size);
    uint64_t value = 0;
    for (int i = 0; i < size; ++i) value |= static_cast<uint64_t>(data_[at_ + i]) << (8 * i);
    at_ += size;
    return value;
  }
  std::string text() {
    const size_t size = little(4);
    need(size);
    std::string value(reinterpret_cast<const char*>(data_ + at_), size);
    at_ += size;
    return value;
  }
  std::vector<unsigned char> bytes() {
    const size_t size = little(4);
    need(size);
    std::vector<unsigned char> value(data_ + at_, data_ + at_ + size);
    at_ += size;
    return value;
  }
  bool atEnd() const { return at_ == size_; }

 private:
  void need(size_t size) const {
    if (size > size_ - at_) throw ReadError(file_ + ": the model file is damaged: it ends early");
  }
  const unsigned char* data_;
  size_t size_;
  size_t at_ = 8;
  const std::string& file_;
};

}  // namespace

uint64_t modelFileChecksum(const unsigned char* data, size_t size) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (size_t i = 0; i < size; ++i) {
    hash ^= data[i];
    hash *= 0x100000001b3ull;
  }
  return hash;
}

std::vector<unsigned char> encodeModelFile(const ModelFileContents& contents) {
  Writer w;
  w.raw(kMagic, sizeof kMagic);
  w.u32(contents.pixelConvention ? kVersion : kVersionWithoutConvention);
  w.block(contents.source.data(), contents.source.size());
  if (contents.pixelConvention) {
    w.u32(*contents.pixelConvention == PixelConvention::Center ? kCenterCode : kCornerCode);
  }
  w.u32(static_cast<uint32_t>(contents.objects.size()));
  for (const StoredObject& object : contents.objects) {
    w.block(object.design.data(), object.design.size());
    w.block(object.dictionary.data(), object.dictionary.size());
    w.block(object.bytes.data(), object.bytes.size());
  }
  w.u64(modelFileChecksum(w.bytes().data(), w.bytes().size()));
  return std::move(w.bytes());
}

ModelFileContents decodeModelFile(const std::vector<unsigned char>& data,
                                  const std::string& file) {
  if (data.size() < sizeof kMagic || std::memcmp(data.data(), kMagic, sizeof kMagic) != 0) {
    throw ReadError(file + ": not a senmod model file");
  }
  if (data.size() < sizeof kMagic + 4 + 8) {
    throw ReadError(file + ": the model file is damaged: it ends early");
  }
  const size_t body = data.size() - 8;
  uint64_t stored = 0;
  for (int i = 0; i < 8; ++i) stored |= static_cast<uint64_t>(data[body + i]) << (8 * i);
  if (stored != modelFileChecksum(data.data(), body)) {
    throw ReadError(file + ": the model file is damaged: its checksum does not match (the file "
                           "was truncated or altered)");
  }
  Reader r(data.data(), body, file);
  const uint64_t version = r.little(4);
  if (version != kVersion && version != kVersionWithoutConvention) {
    throw ReadError(file + ": model file version " + std::to_string(version) +
                    " is not supported: this version of senmod reads versions 1 and 2");
  }
  ModelFileContents contents;
  contents.source = r.text();
  if (version == kVersion) {
    const uint64_t code = r.little(4);
    if (code != kCornerCode && code != kCenterCode) {
      throw ReadError(file + ": the model file's pixel convention " + std::to_string(code) +
                      " is not one this version of senmod knows (0 corner, 1 center)");
    }
    contents.pixelConvention =
        code == kCenterCode ? PixelConvention::Center : PixelConvention::Corner;
  }
  const uint64_t count = r.little(4);
  if (count < 1) throw ReadError(file + ": the model file holds no model");
  for (uint64_t i = 0; i < count; ++i) {
    StoredObject object;
    object.design = r.text();
    object.dictionary = r.text();
    object.bytes = r.bytes();
    contents.objects.push_back(std::move(object));
  }
  if (!r.atEnd()) throw ReadError(file + ": the model file is damaged: bytes follow its objects");
  return contents;
}

bool isModelFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char magic[sizeof kMagic] = {};
  return in.read(magic, sizeof magic) && std::memcmp(magic, kMagic, sizeof kMagic) == 0;
}

void writeModelFile(const std::string& path, const ModelFileContents& contents,
                    const std::vector<WriteInput>& inputs) {
  const std::vector<unsigned char> data = encodeModelFile(contents);
  // Written beside path and renamed when complete: a failed write leaves what path held.
  PartialFile partial(path, "senmod", inputs);
  const auto failed = [&](int error) {
    return WriteError(path + ": cannot write the model file (" + std::strerror(error) + ")");
  };
  const int fd = open(partial.path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) throw failed(errno);
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      close(fd);
      throw failed(error);
    }
    done += static_cast<size_t>(n);
  }
  // On disk before the rename: a crash then leaves the old file or the whole new one.
  const int synced = fsync(fd) == 0 ? 0 : errno;
  if (close(fd) != 0 || synced != 0) throw failed(synced != 0 ? synced : errno);
  partial.commit();
}

ModelFileContents readModelFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) throw ReadError(path + ": cannot open the file");
  const std::streamoff size = in.tellg();
  if (size < 0) throw ReadError(path + ": cannot read the file");
  if (static_cast<uint64_t>(size) > kModelFileBytesMax) {
    throw ReadError(path + ": the model file is " + std::to_string(size) +
                    " bytes long, more than the " + std::to_string(kModelFileBytesMax >> 20) +
                    " MiB a model file may have");
  }
  in.seekg(0);
  std::vector<unsigned char> data(static_cast<size_t>(size));
  if (!in.read(reinterpret_cast<char*>(data.data()), size)) {
    throw ReadError(path + ": cannot read the file");
  }
  return decodeModelFile(data, path);
}

}  // namespace senmod_io
