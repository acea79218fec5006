// Any bytes, once as they are and once with their last 8 bytes made the right checksum, decode
// to a model file's contents or a ReadError. Contents decoded encode to the same bytes and give
// a model or a ReadError, leaving no block on the host heap; a model given passes
// checkAccepted.
#include <stdint.h>
#include <stdlib.h>

#include <vector>

#include "leak_guard.h"
#include "accepted_model.h"

namespace {

void readBack(const std::vector<unsigned char>& bytes) {
  fuzz::LeakGuard guard;
  try {
    const senmod_io::ModelFileContents contents = senmod_io::decodeModelFile(bytes, "fuzz");
    if (senmod_io::encodeModelFile(contents) != bytes) abort();
    fuzz::checkAccepted(senmod_io::modelFromModelFile(contents, "fuzz"));
  } catch (const senmod_io::ReadError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::makeReaderDesigns();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<unsigned char> bytes(data, data + size);
  readBack(bytes);
  if (size < 8) return 0;
  const uint64_t checksum = senmod_io::modelFileChecksum(bytes.data(), size - 8);
  for (int i = 0; i < 8; ++i) bytes[size - 8 + i] = static_cast<unsigned char>(checksum >> (8 * i));
  readBack(bytes);
  return 0;
}
