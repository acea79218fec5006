// What `senmod info` tells about a model.
#ifndef SENMOD_IO_MODEL_SUMMARY_H
#define SENMOD_IO_MODEL_SUMMARY_H

#include <string>

#include "model_loader.h"

namespace senmod_io {

// text with each maximal subpart of an ill-formed UTF-8 sequence made one U+FFFD (Unicode's
// recommended practice, which Python's and browsers' decoders follow): what a reader decoding
// the raw bytes with replacement gets. Valid UTF-8 passes unchanged.
std::string validUtf8(const std::string& text);

// A JSON string of text (quoted, escaped, valid UTF-8), and a JSON number of value ("null" when it is not
// finite).
std::string jsonText(const std::string& text);
std::string jsonNumber(double value);

// The summary of model (read from file) as text, or as one JSON object (with a line feed).
std::string summaryText(const LoadedModel& model, const std::string& file, bool json);

}  // namespace senmod_io

#endif
