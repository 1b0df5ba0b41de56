// Output held back keeps every byte in order as its block grows and serves
// again once cleared.
#include <gtest/gtest.h>

#include <string>

#include "heldOutput.h"

namespace {

TEST(HeldOutput, KeepsEveryByteAcrossGrowthAndClearing) {
  streamConversion::detail::HeldOutput held(1000);
  std::string expected;
  // Small appends within the first block, then one that outgrows it twice
  // over, so that what was held is moved to the larger block.
  for (const std::size_t size : {std::size_t{100}, std::size_t{3} << 20, std::size_t{9} << 20}) {
    const std::string bytes(size, static_cast<char>('a' + expected.size() % 26));
    held.Append(bytes);
    expected += bytes;
    ASSERT_EQ(held.Size(), expected.size());
  }
  EXPECT_TRUE(held.View() == expected);
  held.Clear();
  held.Append("next");
  EXPECT_EQ(held.View(), "next");
}

}  // namespace
