// What `senmod info` tells about a model.
#ifndef SMODTOOL_MODEL_SUMMARY_H
#define SMODTOOL_MODEL_SUMMARY_H

#include <cstdio>
#include <string>

#include "model_loader.h"

namespace smodtool {

// Writes the summary of model (read from file) to out as text, or as one JSON object.
void writeSummary(const LoadedModel& model, const std::string& file, bool json, std::FILE* out);

}  // namespace smodtool

#endif
