#include "gdal_dataset.h"

#include <cpl_error.h>
#include <gdal.h>

#include "gdal_quiet.h"
#include "read_error.h"

namespace senmod_io {

void DatasetCloser::operator()(void* dataset) const { GDALClose(dataset); }

std::string withReason(const std::string& what) {
  const std::string why = gdalTakeMessage();
  return what + (why.empty() ? "" : " (" + why + ")");
}

void closeWritten(Dataset dataset, const std::string& output) {
  CPLErrorReset();
  gdalTakeMessage();
  dataset.reset();
  if (CPLGetLastErrorType() == CE_Failure) {
    throw WriteError(withReason(output + ": cannot be written"));
  }
}

}  // namespace senmod_io
