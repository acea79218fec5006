// What every covariance record must satisfy before the command keeps it, whether it was read
// from tagged records or from a model file: counts within their ranges and matching the arrays
// they size, parameter indices within NPAR, texts terminated within their counts, finite reals.
#ifndef SENMOD_IO_COVARIANCE_CHECKS_H
#define SENMOD_IO_COVARIANCE_CHECKS_H

#include <string>

#include "senmod/senmod.h"

namespace senmod_io {

// The most adjustable parameters a record may have.
constexpr int kMaxParameters = 36;

// Each throws ReadError "<file>: <RSMAPA|RSMDCA|RSMECA>: field <FIELD>: <what is wrong>".
void checkApa(const Smod_RSMAPA& record, const std::string& file);
void checkDca(const Smod_RSMDCA& record, const std::string& file);
void checkEca(const Smod_RSMECA& record, const std::string& file);

}  // namespace senmod_io

#endif
