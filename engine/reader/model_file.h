// The model file: a small container of persistent objects.
//
// Layout (integers little-endian):
//   8 bytes   magic "SENMODMF"
//   u32       version (2; version 1 files, which lack the next field, are read too)
//   text      source description
//   u32       pixel convention: 0 corner, 1 center (version 2 only)
//   u32       number of objects; the first is the transform object's model ("RSM_Model")
//   per object: text design name, text dictionary, bytes persistent form
//   u64       FNV-1a 64 checksum of every byte before it
// where text and bytes are a u32 length followed by that many bytes.
#ifndef SENMOD_IO_MODEL_FILE_H
#define SENMOD_IO_MODEL_FILE_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "partial_file.h"
#include "pixel_convention.h"

namespace senmod_io {

// One object in persistent form: its design's name, the dictionary text that defines the
// design, and the bytes.
struct StoredObject {
  std::string design;
  std::string dictionary;
  std::vector<unsigned char> bytes;
};

struct ModelFileContents {
  std::string source;
  // Absent only in contents decoded from a version 1 file, which did not store it; such
  // contents encode as version 1 again, every other as version 2.
  std::optional<PixelConvention> pixelConvention;
  std::vector<StoredObject> objects;
};

// True when the file starts with the model file's magic (false for unreadable files).
bool isModelFile(const std::string& path);

// The checksum of a model file's size bytes before it (FNV-1a 64).
uint64_t modelFileChecksum(const unsigned char* data, size_t size);

std::vector<unsigned char> encodeModelFile(const ModelFileContents& contents);
// Throws ReadError naming file for a truncated, altered or foreign container, and for a version
// or pixel convention this version of senmod does not know.
ModelFileContents decodeModelFile(const std::vector<unsigned char>& data,
                                  const std::string& file);

// The largest model file read: far above any real model (200,000 sections of a few hundred
// bytes each), and small enough that decoding all its objects, which takes at most 8 bytes of
// memory per byte read, stays within 512 MiB.
constexpr uint64_t kModelFileBytesMax = uint64_t(64) << 20;

// Whole-file reading and writing; throw ReadError naming path when the file cannot be read or
// written (WriteError when the complete file cannot take its name), and readModelFile also for a
// file larger than kModelFileBytesMax, before reading it. writeModelFile writes under a
// temporary name beside path, renamed when complete.
// Either refuses, before writing, a path that is one of inputs (the file the model came from).
void writeModelFile(const std::string& path, const ModelFileContents& contents,
                    const std::vector<WriteInput>& inputs = {});
ModelFileContents readModelFile(const std::string& path);

}  // namespace senmod_io

#endif
