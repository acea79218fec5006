// The summary names the model's pixel convention and how far its sections disagree along their
// seams.
#include <gtest/gtest.h>

#include <cmath>

#include "support/model_builder.h"
#include "model_loader.h"
#include "model_summary.h"

namespace {

using model_builder::affineSection;

senmod_io::LoadedModel loaded(RSM_Model* model) {
  senmod_io::LoadedModel m;
  ErrorReport* report = nullptr;
  m.xform.reset(smod_RSMXformGetFromRSMData(model, &report));
  EXPECT_EQ(report, nullptr);
  m.source = "built";
  return m;
}

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The number that follows key in text (NaN when key is missing).
double numberAfter(const std::string& text, const std::string& key) {
  const size_t at = text.find(key);
  return at == std::string::npos ? std::nan("") : std::stod(text.substr(at + key.size()));
}

// A 2 x 2 grid of 100-row, 200-sample sections (image domain samples 0 to 400, rows 0 to 200)
// that agree everywhere but in the lower left one, sample + 0.01 (row - 100): it meets its upper
// neighbour exactly on their seam (row 100), so the seams between rows show no gap where they
// lie, and drifts from its right neighbour down their seam (sample 200), by 1.01 pixels at its
// far end (row 201, the last row's lower edge).
TEST(ModelSummary, NamesTheConventionAndTheLargestSeamGap) {
  const auto same = affineSection(0.0, 1.0, 0.0, 0.0, 0.0, 1.0);
  senmod_io::LoadedModel grid = loaded(model_builder::makeModel(
      {same, same, affineSection(-1.0, 1.0, 0.01, 0.0, 0.0, 1.0), same}, 2, 2, 100.0, 200.0));
  grid.setPixelConvention(senmod_io::PixelConvention::Center);
  const std::string text = senmod_io::summaryText(grid, "grid", false);
  EXPECT_TRUE(has(text, "\npixel convention: center (the first pixel's centre is 0, 0)\n")) << text;
  EXPECT_TRUE(has(text, "\nseam gap: sections disagree along their seams by at most 1.01 pixels "
                        "(4 seams)\n"))
      << text;
  const std::string json = senmod_io::summaryText(grid, "grid", true);
  EXPECT_TRUE(has(json, "\"pixel_convention\": \"center\"")) << json;
  EXPECT_NEAR(numberAfter(json, "\"seam_gap\": {\"largest_px\": "), 1.01, 1e-12) << json;
  EXPECT_LT(numberAfter(json, "\"between_rows\": {\"largest_px\": "), 1e-12) << json;
  EXPECT_NEAR(numberAfter(json, "\"between_columns\": {\"largest_px\": "), 1.01, 1e-12);
  EXPECT_TRUE(has(json, "\"seams\": 4, ")) << json;
  EXPECT_TRUE(has(json, "\"points_failed\": 0,")) << json;

  const senmod_io::LoadedModel single = loaded(model_builder::makeModel({same}));
  const std::string singleText = senmod_io::summaryText(single, "one", false);
  EXPECT_TRUE(has(singleText,
                  "\npixel convention: corner (the first pixel's upper-left corner is 0, 0)\n"));
  EXPECT_TRUE(has(singleText, "\nseam gap: none (one section)\n")) << singleText;
  EXPECT_TRUE(has(senmod_io::summaryText(single, "one", true), "\"seam_gap\": null"));
}

}  // namespace
