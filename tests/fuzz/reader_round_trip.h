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

// The library keeps the designs it makes for the rest of the process: this makes every design
// the reader uses, by storing and reading back an empty model with empty covariance records,
// so that the host-heap check around an input sees only what the input leaves.
inline void makeReaderDesigns() {
  ErrorReport* report = nullptr;
  smodtool::LoadedModel model;
  model.xform.reset(smod_RSMXformGetFromRSMData(smod_RSMCreate(&report), &report));
  model.covariance.apa.reset(smod_RSMAPACreate(&report));
  model.covariance.dca.reset(smod_RSMDCACreate(&report));
  model.covariance.eca.reset(smod_RSMECACreate(&report));
  if (report || !model.xform || !model.covariance.apa || !model.covariance.dca ||
      !model.covariance.eca) {
    abort();
  }
  const std::vector<unsigned char> bytes =
      smodtool::encodeModelFile(smodtool::modelFileContents(model, "empty"));
  try {
    smodtool::modelFromModelFile(smodtool::decodeModelFile(bytes, "empty"), "empty");
  } catch (const smodtool::ReadError&) {
    // Empty covariance records are refused, after their designs were made.
  }
}

}  // namespace fuzz

#endif
