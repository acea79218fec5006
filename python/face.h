// What the module needs around the engine's C face: its reports as C++ exceptions, the texts it
// hands out, and the texts it is given.
#ifndef SENMOD_PYTHON_FACE_H
#define SENMOD_PYTHON_FACE_H

#include <pybind11/pybind11.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "senmod/senmod_io.h"

namespace senmod_python {

// A failure the face reported; the module raises it as senmod.Error. Thrown without the GIL.
class FaceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The error slot of one face call; deletes its report on every path.
class Report {
 public:
  Report() = default;
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;
  ~Report() { herr_DeleteErrorReportEx(&report_); }

  ErrorReport** slot() { return &report_; }
  // Throws FaceError with the report's text (or that call failed, without a report).
  [[noreturn]] void raise(const char* call) const;

 private:
  ErrorReport* report_ = nullptr;
};

// A text the face handed out.
using OwnedText = std::unique_ptr<char, decltype(&smod_Free)>;

// The text of a face call that returns one, or FaceError with its report.
std::string takeText(char* text, const Report& report, const char* call);

// A file name from a str, bytes or os.PathLike, as the file system's bytes. Raises TypeError for
// another type and ValueError for a name holding a NUL character.
std::string pathBytes(pybind11::handle path);

// text for a C face that stops at NUL: ValueError naming what when it holds one.
std::string cText(std::string text, const char* what);

// The null-terminated list of a face call's "KEY=VALUE" options; it points into options, which
// must outlive it.
std::vector<const char*> optionList(const std::vector<std::string>& options);

// The shortest decimal text that reads back as value ("nan" and "inf" for those, which the face
// refuses with a report).
std::string numberText(double value);

}  // namespace senmod_python

#endif
