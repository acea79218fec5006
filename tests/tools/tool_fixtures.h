// Shared helpers of the tool tests: scratch files, test data, and running the senmod command.
#ifndef SENMOD_TEST_TOOL_FIXTURES_H
#define SENMOD_TEST_TOOL_FIXTURES_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nitf_builder.h"

namespace tooltest {

// A scratch directory removed with the fixture.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  void writeText(const std::string& name, const std::string& text) const;
  std::string readText(const std::string& name) const;
  // Writes a NITF file with the given records (and RPC items) and returns its path.
  std::string nitf(const std::string& name, const nitf_builder::NitfImage& desc) const;
  // Writes a NITF file with the records of an "xml:TRE" document and returns its path.
  std::string nitfOfRecords(const std::string& name, const std::string& xml) const;
  // NGA's sample image i_6130a (tests/data/nga-i6130a) as a NITF file with its RSM records.
  std::string ngaI6130a() const;

 private:
  std::string dir_;
};

// Success when text holds part; the failure shows text.
::testing::AssertionResult contains(const std::string& text, const std::string& part);

// The numbers of each line of text, as the command writes them.
std::vector<std::vector<double>> numberRows(const std::string& text);

// A file of tests/data (SENMOD_TEST_DATA, else the source tree).
std::string testData(const std::string& name);

// A file of the bundled sample data (data/sample).
std::string sampleData(const std::string& name);

struct CommandRun {
  int status = -1;
  std::string out;
  std::string err;
};

// The senmod binary built next to the test binary.
std::string senmodBinary();

// Runs the senmod binary built next to the test binary with args; stdin from the file input
// when not empty, stdout into the file output when not empty (run.out is then empty).
CommandRun senmod(const std::vector<std::string>& args, const std::string& input = "",
                  const std::string& output = "");

// Records of a synthetic model: RSMIDA of ground-domain kind ('G', 'H' or 'R'), an RSMPIA for
// a grid of rows x columns sections when that is above 1, and one RSMPCA per section whose
// polynomials are exact affine maps from the ground domain to the image.
struct SyntheticModel {
  char kind = 'G';
  int rows = 1;
  int columns = 1;
};
std::vector<std::pair<std::string, std::string>> syntheticRecords(const SyntheticModel& model);
// The fields of one RSMPCA of the synthetic model (section row, column from 1), for tests that
// spoil a field.
nitf_builder::Fields syntheticSectionFields(const SyntheticModel& model, int row, int column);
// Its image position of a ground-domain point.
void syntheticImage(const SyntheticModel& model, double x, double y, double z, double& sample,
                    double& row);
// The synthetic model's ground-domain point of a map point (longitude, latitude in degrees,
// height in meters), computed here independently of the library.
void syntheticFromMap(const SyntheticModel& model, double lon, double lat, double h, double& x,
                      double& y, double& z);
// A ground-domain point of the synthetic model inside its domain, from fractions 0..1.
void syntheticGround(const SyntheticModel& model, double fx, double fy, double fz, double& x,
                     double& y, double& z);

}  // namespace tooltest

#endif
