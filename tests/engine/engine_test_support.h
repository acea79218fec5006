// Shared helpers of the engine tests: a scratch directory and the bundled sample data.
#ifndef SENMOD_TEST_ENGINE_SUPPORT_H
#define SENMOD_TEST_ENGINE_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace enginetest {

// A scratch directory removed with the fixture.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/senmod-engine-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

inline std::string sampleRsm() { return std::string(SENMOD_SAMPLE_DIR) + "/sample_rsm.ntf"; }

}  // namespace enginetest

#endif
