#include "face.h"

namespace senmod_cli {

void fail(ErrorReport** report) {
  char* text = smod_ErrorText(*report);
  std::string message = text ? text : "an unknown failure";
  smod_Free(text);
  herr_DeleteErrorReportEx(report);
  throw CommandError(message);
}

Model openModel(const std::string& path, const std::string& dem) {
  ErrorReport* report = nullptr;
  Model model(smod_ModelOpen(path.c_str(), &report));
  if (!model) fail(&report);
  if (!dem.empty() && smod_ModelSetDem(model.get(), dem.c_str(), &report) != 0) fail(&report);
  return model;
}

std::string takeText(char* text, ErrorReport** report) {
  if (!text) fail(report);
  std::string copy(text);
  smod_Free(text);
  return copy;
}

std::vector<const char*> optionList(const std::vector<std::string>& options) {
  std::vector<const char*> list;
  for (const std::string& o : options) list.push_back(o.c_str());
  list.push_back(nullptr);
  return list;
}

}  // namespace senmod_cli
