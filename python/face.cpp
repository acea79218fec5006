#include "face.h"

#include <charconv>
#include <cstring>

namespace py = pybind11;

namespace senmod_python {

void Report::raise(const char* call) const {
  const OwnedText text(smod_ErrorText(report_), smod_Free);
  throw FaceError(text ? std::string(text.get()) : std::string(call) + " failed without a report");
}

std::string takeText(char* text, const Report& report, const char* call) {
  const OwnedText owned(text, smod_Free);
  if (!owned) report.raise(call);
  return owned.get();
}

std::string pathBytes(py::handle path) {
  const py::bytes name = py::module_::import("os").attr("fsencode")(path);
  return cText(name, "a file name");
}

std::string cText(std::string text, const char* what) {
  if (text.find('\0') != std::string::npos) {
    throw py::value_error(std::string(what) + " cannot hold a NUL character");
  }
  return text;
}

std::string numberText(double value) {
  char text[32];
  const std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
  return std::string(text, end.ptr);
}

std::vector<const char*> optionList(const std::vector<std::string>& options) {
  std::vector<const char*> list;
  for (const std::string& o : options) list.push_back(o.c_str());
  list.push_back(nullptr);
  return list;
}

}  // namespace senmod_python
