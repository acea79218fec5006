// How the host libraries report a failure into a caller's error slot.
#ifndef HOST_INTERNAL_CORE_FAIL_H
#define HOST_INTERNAL_CORE_FAIL_H

#include "hostcore.h"

namespace hcore {

// Stores a severity-2 report (function, line, message) in *err, taking over the report that is
// already there as its previous one. A null err discards the failure.
void Fail(ErrorReport** err, const char* function, int line, const char* message);
// The same with a printf-style message (cut at 511 characters).
void FailFormat(ErrorReport** err, const char* function, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

}  // namespace hcore

#define HCORE_FAIL(err, message) hcore::Fail((err), __func__, __LINE__, (message))
#define HCORE_FAILF(err, ...) hcore::FailFormat((err), __func__, __LINE__, __VA_ARGS__)

#endif  // HOST_INTERNAL_CORE_FAIL_H
