// How hostcore's own calls report a failure into a caller's error slot.
#ifndef HOSTCORE_CORE_FAIL_H
#define HOSTCORE_CORE_FAIL_H

#include "hostcore.h"

namespace hcore {

// Stores a severity-2 report (function, line, message) in *err, taking over the report that is
// already there as its previous one. A null err discards the failure.
void Fail(ErrorReport** err, const char* function, int line, const char* message);

}  // namespace hcore

#define HCORE_FAIL(err, message) hcore::Fail((err), __func__, __LINE__, (message))

#endif  // HOSTCORE_CORE_FAIL_H
