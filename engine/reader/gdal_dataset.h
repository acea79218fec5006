// GDAL datasets as the engine holds them: closed on every path out, and a close that fails (the
// flush of what a written dataset still holds) reported.
#ifndef SENMOD_IO_GDAL_DATASET_H
#define SENMOD_IO_GDAL_DATASET_H

#include <memory>
#include <string>

namespace senmod_io {

struct DatasetCloser {
  void operator()(void* dataset) const;
};
// A GDALDatasetH, closed with it.
using Dataset = std::unique_ptr<void, DatasetCloser>;

// what, then GDAL's last message in parentheses when it gave one (see gdalTakeMessage).
std::string withReason(const std::string& what);

// Closes dataset, written to as output (named for people). Throws WriteError when the close
// fails (a full disk).
void closeWritten(Dataset dataset, const std::string& output);

}  // namespace senmod_io

#endif
