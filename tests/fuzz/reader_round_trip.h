// What the reader fuzz targets require of every model the reader accepts.
#ifndef TESTS_FUZZ_READER_ROUND_TRIP_H
#define TESTS_FUZZ_READER_ROUND_TRIP_H

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "model_file.h"
#include "model_loader.h"
#include "read_error.h"

namespace fuzz {

// Stores the model as a model file's bytes and reads them back; aborts (a finding) when the
// reader refuses what it stored itself.
inline void reloads(const smodtool::LoadedModel& model) {
  try {
    const std::vector<unsigned char> bytes =
        smodtool::encodeModelFile(smodtool::modelFileContents(model, "stored"));
    smodtool::modelFromModelFile(smodtool::decodeModelFile(bytes, "stored"), "stored");
  } catch (const smodtool::ReadError& e) {
    fprintf(stderr, "an accepted model does not reload: %s\n", e.what());
    abort();
  }
}

}  // namespace fuzz

#endif
