// The engine's face as the command holds it: models and texts released on every path, and a
// failed call turned into the command's error.
#ifndef SENMOD_CLI_FACE_H
#define SENMOD_CLI_FACE_H

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "senmod/senmod_io.h"

namespace senmod_cli {

// A model, file, DEM or input that cannot be used; what() is the whole message.
class CommandError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The text of report (then deleted), as CommandError.
[[noreturn]] void fail(ErrorReport** report);

struct ModelCloser {
  void operator()(smod_Model* model) const { smod_ModelClose(model); }
};
using Model = std::unique_ptr<smod_Model, ModelCloser>;

// Opens the model of path and sets its DEM (when dem is not empty); throws CommandError.
Model openModel(const std::string& path, const std::string& dem = "");

// The null-terminated list of a face call's "KEY=VALUE" options; it points into options, which
// must outlive it.
std::vector<const char*> optionList(const std::vector<std::string>& options);

// A text the engine handed out, as a string; throws CommandError with report when text is null.
std::string takeText(char* text, ErrorReport** report);

}  // namespace senmod_cli

#endif
