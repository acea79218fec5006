// What the reader fuzz targets require of every model the reader accepts.
#ifndef TESTS_FUZZ_ACCEPTED_MODEL_H
#define TESTS_FUZZ_ACCEPTED_MODEL_H

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "model_file.h"
#include "model_loader.h"
#include "model_summary.h"
#include "read_error.h"

namespace fuzz {

// Aborts (a finding) with what is wrong on standard error.
[[noreturn]] inline void finding(const char* what, const char* detail = "") {
  fprintf(stderr, "%s%s%s\n", what, *detail ? ": " : "", detail);
  abort();
}

// True when both hold the same source and the same objects in the same order.
inline bool sameObjects(const senmod_io::ModelFileContents& a, const senmod_io::ModelFileContents& b) {
  if (a.source != b.source || a.objects.size() != b.objects.size()) return false;
  for (size_t i = 0; i < a.objects.size(); ++i) {
    const senmod_io::StoredObject& x = a.objects[i];
    const senmod_io::StoredObject& y = b.objects[i];
    if (x.design != y.design || x.dictionary != y.dictionary || x.bytes != y.bytes) return false;
  }
  return true;
}

// Aborts (a finding) unless the model, stored as a model file's bytes and read back, is the
// same model and stores to the same objects again. Then gives the model to what the command
// does with any model: its summary in both forms, and the ray of an image point (the image
// domain's centre), computed or reported.
inline void checkAccepted(const senmod_io::LoadedModel& model) {
  try {
    const senmod_io::ModelFileContents stored = senmod_io::modelFileContents(model, "stored");
    const senmod_io::LoadedModel again = senmod_io::modelFromModelFile(
        senmod_io::decodeModelFile(senmod_io::encodeModelFile(stored), "stored"), "stored");
    if (!smod_RSMsAreSame(model.xform->model, again.xform->model)) {
      finding("an accepted model reads back as another model");
    }
    if (!sameObjects(stored, senmod_io::modelFileContents(again, "stored"))) {
      finding("an accepted model read back stores to other objects");
    }
  } catch (const senmod_io::ReadError& e) {
    finding("an accepted model does not read back", e.what());
  }
  senmod_io::summaryText(model, "fuzz", false);
  senmod_io::summaryText(model, "fuzz", true);
  const Smod_Doubles& domain = model.xform->model->rsm.imageDomain;
  const double sample = domain.count >= 4 ? (domain.data[0] + domain.data[1]) / 2.0 : 0.0;
  const double row = domain.count >= 4 ? (domain.data[2] + domain.data[3]) / 2.0 : 0.0;
  double ray[6];
  ErrorReport* report = nullptr;
  smod_RSMXformImageToGroundRay(model.xform.get(), 1, &sample, &row, ray, &report);
  herr_DeleteErrorReportEx(&report);
}

// The library keeps the designs it makes for the rest of the process: this makes every design
// the reader uses, by storing and reading back an empty model with empty covariance records,
// so that the host-heap check around an input sees only what the input leaves.
inline void makeReaderDesigns() {
  ErrorReport* report = nullptr;
  senmod_io::LoadedModel model;
  model.xform.reset(smod_RSMXformGetFromRSMData(smod_RSMCreate(&report), &report));
  model.covariance.apa.reset(smod_RSMAPACreate(&report));
  model.covariance.dca.reset(smod_RSMDCACreate(&report));
  model.covariance.eca.reset(smod_RSMECACreate(&report));
  if (report || !model.xform || !model.covariance.apa || !model.covariance.dca ||
      !model.covariance.eca) {
    abort();
  }
  const std::vector<unsigned char> bytes =
      senmod_io::encodeModelFile(senmod_io::modelFileContents(model, "empty"));
  try {
    senmod_io::modelFromModelFile(senmod_io::decodeModelFile(bytes, "empty"), "empty");
  } catch (const senmod_io::ReadError&) {
    // Empty covariance records are refused, after their designs were made.
  }
}

}  // namespace fuzz

#endif
