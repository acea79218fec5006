// Any "xml:TRE" text, as GDAL's NITF driver hands over an image's tagged records, gives a model
// with its covariance records or a ReadError, leaving no block on the host heap; a model given
// is stored and read back.
#include <cpl_error.h>
#include <stdint.h>

#include <string>

#include "leak_guard.h"
#include "reader_round_trip.h"
#include "tre_records.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  CPLSetErrorHandler(CPLQuietErrorHandler);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string xml(reinterpret_cast<const char*>(data), size);
  fuzz::LeakGuard guard;
  try {
    fuzz::reloads(smodtool::modelFromTreRecords(smodtool::parseTreXml(xml, "fuzz"), "fuzz"));
  } catch (const smodtool::ReadError&) {
  }
  return 0;
}
