// The one error the model readers raise: a file, record or field that cannot be used.
#ifndef SMODTOOL_READ_ERROR_H
#define SMODTOOL_READ_ERROR_H

#include <stdexcept>
#include <string>

#include "hostcore.h"

namespace smodtool {

// what() is a whole message that names the file and, for a bad record, the record and field.
class ReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The message of a library report and of the reports it took over, joined by ": ", then the
// report is deleted. "" for null.
std::string takeReportText(ErrorReport** report);

}  // namespace smodtool

#endif
