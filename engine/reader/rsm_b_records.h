// The B edition of the covariance records (RSMAPB, RSMDCB, RSMECB) as GDAL's NITF driver
// decodes them, read into parameter records (see parameter_records.h for how they combine).
#ifndef SENMOD_IO_RSM_B_RECORDS_H
#define SENMOD_IO_RSM_B_RECORDS_H

#include <string>
#include <vector>

#include "parameter_records.h"
#include "tre_records.h"

namespace senmod_io {

// The image the records must describe, from its RSMIDA.
struct ImageIdentity {
  std::string iid;
  std::string edition;
  // The rectangular ground domain's origin and axes (GRNDD=R, the twelve XUOR ... ZUZR, m),
  // which B records with LOCTYP=N take as their frame; empty for a geodetic domain.
  std::vector<double> domainFrame;
};

// The RSMAPB, RSMDCB and RSMECB records of records, in that order (each absent when the image
// has none). Every field is checked as the A readers check theirs (ranges, counts that fit,
// finite reals), IID and EDITION must be image's, and covariances must pass checkCovariance.
// Throws ReadError "<file>: <record>: field <FIELD>: <what is wrong>", also for a record given
// twice and for LOCTYP=N on a geodetic ground domain.
std::vector<ParameterRecord> parameterRecordsOfB(const std::vector<Tre>& records,
                                                 const ImageIdentity& image,
                                                 const std::string& file);

}  // namespace senmod_io

#endif
