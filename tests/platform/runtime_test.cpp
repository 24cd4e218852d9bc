#include "platform/runtime.h"

#include <gtest/gtest.h>

#include <string>

namespace quendral {
namespace {

TEST(ToUpperAscii, ChangesOnlyLowerCaseLetters) {
  for (int c = -128; c < 128; ++c) {
    const char in = static_cast<char>(c);
    const char expected = (in >= 'a' && in <= 'z') ? static_cast<char>(in - 32) : in;
    EXPECT_EQ(ToUpperAscii(in), expected) << c;
  }
}

TEST(FormatInto, TruncatesToTheBufferAndTerminates) {
  char buffer[8];
  const int needed = FormatInto(buffer, sizeof buffer, "mode %c requested", 'x');
  EXPECT_EQ(needed, 16);
  EXPECT_EQ(std::string(buffer), "mode x ");
}

TEST(FloorAndCeiling, RoundTowardTheirSides) {
  EXPECT_EQ(Floor(-0.5), -1.0);
  EXPECT_EQ(Floor(244.99999999999997), 244.0);
  EXPECT_EQ(Ceiling(1.125), 2.0);
  EXPECT_EQ(Ceiling(3.0), 3.0);
}

}  // namespace
}  // namespace quendral
