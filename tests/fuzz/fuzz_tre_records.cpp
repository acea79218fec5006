// Any "xml:TRE" text, as GDAL's NITF driver hands over an image's tagged records, gives its
// covariance records, and a model with them, or a ReadError, leaving no block on the host heap;
// a model given passes checkAccepted. Covariance records are read on their own too, so that
// inputs need no model to reach them.
#include <cpl_error.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "leak_guard.h"
#include "accepted_model.h"
#include "rsm_records.h"
#include "tre_records.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  CPLSetErrorHandler(CPLQuietErrorHandler);
  fuzz::makeReaderDesigns();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string xml(reinterpret_cast<const char*>(data), size);
  fuzz::LeakGuard guard;
  std::vector<senmod_io::Tre> records;
  try {
    records = senmod_io::parseTreXml(xml, "fuzz");
  } catch (const senmod_io::ReadError&) {
    return 0;
  }
  try {
    senmod_io::covarianceFromRecords(records, "fuzz");
  } catch (const senmod_io::ReadError&) {
  }
  try {
    fuzz::checkAccepted(senmod_io::modelFromTreRecords(records, "fuzz"));
  } catch (const senmod_io::ReadError&) {
  }
  return 0;
}
