// What the face's calls share: the model handle, and the guard that keeps every exception on
// the C++ side, handing it back as a report.
#ifndef SENMOD_IO_MODEL_HANDLE_H
#define SENMOD_IO_MODEL_HANDLE_H

#include <cpl_string.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "number_text.h"
#include "partial_file.h"
#include "point_engine.h"
#include "read_error.h"
#include "senmod/senmod.h"

struct smod_Model {
  std::string path;
  senmod_io::PointEngine engine;
};

namespace senmod_io {

inline void report(ErrorReport** err, const char* function, const std::string& message) {
  if (err) *err = herr_CreateErrorReport(function, 0, 2, nullptr, message.c_str(), 0);
}

// Runs body, turning what it throws into a report of function in err; failed is the result
// then.
template <typename Result, typename Body>
Result guarded(ErrorReport** err, const char* function, Result failed, Body body) {
  if (err) *err = nullptr;
  try {
    return body();
  } catch (const std::bad_alloc&) {
    report(err, function, "out of memory");
  } catch (const std::exception& e) {
    report(err, function, e.what());
  } catch (...) {
    report(err, function, "an unexpected error");
  }
  return failed;
}

inline void needModel(const smod_Model* model) {
  if (!model) throw ReadError("no model (null handle)");
}

// The files a model's writers may not write over: its own file and its DEM.
inline std::vector<WriteInput> modelInputs(const smod_Model* model) {
  return {{"the model", model->path}, {"the DEM", model->engine.dem()}};
}

// A text for C, to be released with smod_Free.
inline char* handOut(const std::string& text) {
  char* block = static_cast<char*>(std::malloc(text.size() + 1));
  if (!block) throw std::bad_alloc();
  std::memcpy(block, text.data(), text.size() + 1);
  return block;
}

// The number text reads as; throws ReadError naming what for anything else.
inline double numberOf(const std::string& text, const std::string& what) {
  double value = 0.0;
  if (!senmod_text::parseNumberText(text.data(), text.data() + text.size(), &value)) {
    throw ReadError(what + " needs a number, not \"" + text + "\"");
  }
  return value;
}

// A whole number from low to high for option what.
inline int wholeOf(const std::string& text, const std::string& what, int low, int high) {
  const double value = numberOf(text, what);
  if (!(value >= low && value <= high && value == std::floor(value))) {
    throw ReadError(what + " needs a whole number from " + std::to_string(low) + " to " +
                    std::to_string(high) + ", not \"" + text + "\"");
  }
  return static_cast<int>(value);
}

// One "KEY=VALUE" text of a call's option list.
struct FaceOption {
  std::string key;
  std::string value;
};

// The options of a null-terminated list of "KEY=VALUE" texts (null: none), in order; throws
// ReadError for a text that is not KEY=VALUE.
inline std::vector<FaceOption> faceOptions(const char* const* options) {
  std::vector<FaceOption> parsed;
  for (const char* const* o = options; o && *o; ++o) {
    char* keyBlock = nullptr;
    const char* value = CPLParseNameValue(*o, &keyBlock);
    const std::string key = keyBlock ? keyBlock : "";
    CPLFree(keyBlock);
    if (key.empty() || !value) throw ReadError(std::string("bad option \"") + *o + "\"");
    parsed.push_back({key, value});
  }
  return parsed;
}

// A new handle on loaded, with model's path, DEM and options: a model made from model.
inline smod_Model* derivedModel(const smod_Model* model, LoadedModel loaded) {
  auto copy = new smod_Model{model->path, PointEngine(std::move(loaded))};
  try {
    if (!model->engine.dem().empty()) copy->engine.setDem(model->engine.dem());
    copy->engine.setOptions(model->engine.options());
  } catch (...) {
    delete copy;
    throw;
  }
  return copy;
}

}  // namespace senmod_io

#endif
