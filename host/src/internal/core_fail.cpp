#include "core_fail.h"

#include <cstdarg>
#include <cstdio>

namespace hcore {

void Fail(ErrorReport** err, const char* function, int line, const char* message) {
  if (!err) return;
  *err = herr_CreateErrorReport(function, line, 2, *err, message, 0);
}

void FailFormat(ErrorReport** err, const char* function, int line, const char* format, ...) {
  if (!err) return;
  char message[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  Fail(err, function, line, message);
}

}  // namespace hcore
