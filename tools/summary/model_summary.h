// What `senmod info` tells about a model.
#ifndef SMODTOOL_MODEL_SUMMARY_H
#define SMODTOOL_MODEL_SUMMARY_H

#include <string>

#include "model_loader.h"

namespace smodtool {

// The summary of model (read from file) as text, or as one JSON object (with a line feed).
std::string summaryText(const LoadedModel& model, const std::string& file, bool json);

}  // namespace smodtool

#endif
