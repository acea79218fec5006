// Model and covariance records from the RSM tagged records of one image.
#ifndef SENMOD_IO_RSM_RECORDS_H
#define SENMOD_IO_RSM_RECORDS_H

#include <optional>
#include <string>
#include <vector>

#include "owned.h"
#include "tre_records.h"

namespace senmod_io {

// A model record filled from RSMIDA (ground domain, image domain), RSMPIA (section grid and
// low-order polynomial; optional for a single section) and one RSMPCA per section. The record
// has no starting polynomials and no output coordinate system yet (see finishModel).
struct RsmModel {
  ModelPtr model;
  // The ground reference point (GRPX, GRPY, GRPZ) in ground-domain coordinates, when given.
  std::optional<std::vector<double>> groundReferencePoint;
};

// True when records holds any RSM record that describes a model (RSMIDA, RSMPIA, RSMPCA or
// RSMGGA).
bool hasRsmRecords(const std::vector<Tre>& records);

// Throws ReadError naming file, record and field for a missing or bad record, for an RSMPIA or
// RSMPCA whose IID or EDITION differs from RSMIDA's, and for a model given only as a grid
// (RSMGGA without RSMPCA).
RsmModel modelFromRsmRecords(const std::vector<Tre>& records, const std::string& file);

// The RSMAPA, RSMDCA and RSMECA records present in records; throws ReadError for a bad one.
CovarianceRecords covarianceFromRecords(const std::vector<Tre>& records,
                                        const std::string& file);

}  // namespace senmod_io

#endif
