// The errors the engine raises: a file, record or field that cannot be used, and an output
// that cannot be written.
#ifndef SENMOD_IO_READ_ERROR_H
#define SENMOD_IO_READ_ERROR_H

#include <stdexcept>
#include <string>

#include "hostcore.h"

namespace senmod_io {

// what() is a whole message that names the file and, for a bad record, the record and field.
class ReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An output that cannot be written; what() names it and the system's reason.
class WriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The message of a library report and of the reports it took over, joined by ": "; "" for null.
std::string reportText(const ErrorReport* report);

// The message of a library report and of the reports it took over, joined by ": ", then the
// report is deleted. "" for null.
std::string takeReportText(ErrorReport** report);

}  // namespace senmod_io

#endif
