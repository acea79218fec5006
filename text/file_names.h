// The files a GDAL dataset name stands for, shared by the engine and the command, which both
// refuse to write over a file they read.
#ifndef SENMOD_TEXT_FILE_NAMES_H
#define SENMOD_TEXT_FILE_NAMES_H

#include <string>
#include <vector>

namespace senmod_text {

// The files a GDAL name may stand for: the name itself, what follows each ':' and what stands
// between double quotes ("NITF_IM:0:a.ntf", "NETCDF:\"a.nc\":z" read a.ntf and a.nc).
std::vector<std::string> filesNamedBy(const std::string& name);

}  // namespace senmod_text

#endif
