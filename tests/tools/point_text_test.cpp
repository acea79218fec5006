// Point lines and numbers as the command reads and writes them.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "number_text.h"
#include "point_line.h"

namespace {

using senmod_cli::LineKind;

LineKind kindOf(const std::string& line, int* count = nullptr, double* fields = nullptr) {
  double f[3] = {0, 0, 0};
  int n = 0;
  const LineKind kind = senmod_cli::parsePointLine(line.data(), line.data() + line.size(), f, &n);
  if (count) *count = n;
  if (fields) std::memcpy(fields, f, sizeof f);
  return kind;
}

TEST(PointLine, ReadsTwoOrThreeNumbersBetweenBlanksAndCommas) {
  int n = 0;
  double f[3];
  EXPECT_EQ(kindOf(" 10.5,\t-45e1 ,, +3\r", &n, f), LineKind::Point);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(f[0], 10.5);
  EXPECT_EQ(f[1], -450.0);
  EXPECT_EQ(f[2], 3.0);
  EXPECT_EQ(kindOf("1 .5", &n, f), LineKind::Point);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(f[1], 0.5);
  for (const char* skipped : {"", "  \t\r", "# 1 2", "   #x"}) {
    EXPECT_EQ(kindOf(skipped), LineKind::Skip) << skipped;
  }
  for (const char* bad : {"1", "1 2 3 4", "1 2x", "1 inf", "nan 1", "1 -inf", "0x10 1", "1 1e999",
                          "+-1 2", "1 +", "1 2 #", ",,,", "1\v2"}) {
    EXPECT_EQ(kindOf(bad), LineKind::Malformed) << bad;
  }
  EXPECT_EQ(kindOf(std::string("1 2\0 3", 6)), LineKind::Malformed);
}

TEST(NumberText, ShortestTextReadsBackTheSameDouble) {
  EXPECT_EQ(senmod_text::numberText(650.0), "650");
  EXPECT_EQ(senmod_text::numberText(0.1), "0.1");
  EXPECT_EQ(senmod_text::numberText(-1e-300), "-1e-300");
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> uniform(-200.0, 200.0);
  for (int i = 0; i < 20000; ++i) {
    const double value = i % 2 ? uniform(random) : std::ldexp(uniform(random), i % 600 - 300);
    const std::string text = senmod_text::numberText(value);
    double back = 0.0;
    ASSERT_TRUE(senmod_text::parseNumberText(text.data(), text.data() + text.size(), &back)) << text;
    EXPECT_EQ(back, value) << text;
  }
}

}  // namespace
