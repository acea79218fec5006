// The refinement's report for people, from the JSON the engine writes.
#ifndef SENMOD_CLI_REFINE_TABLE_H
#define SENMOD_CLI_REFINE_TABLE_H

#include <string>

namespace senmod_cli {

// A summary line, the RMS before and after, a table of the parameters and one of the points
// (residuals in px and m before and after, the normalised residual, flagged and rejected
// points marked). Throws CommandError when json is not the engine's report.
std::string refineTable(const std::string& json);

}  // namespace senmod_cli

#endif
