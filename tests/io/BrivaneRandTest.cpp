// BrivaneRand: the R250 generator and the small-range draws.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "io/BrivaneRand.h"

namespace {

std::vector<uint32_t> drawR250(BrivaneRand& rand, size_t count) {
  std::vector<uint32_t> words;
  for (size_t i = 0; i < count; ++i) words.push_back(rand.nextR250());
  return words;
}

// R250 is the shift register x[n] = x[n-250] XOR x[n-147]: every word from
// the 251st on is the XOR of the words 250 and 147 places before it.
TEST(BrivaneRandTest, R250FollowsItsRecurrence) {
  BrivaneRand rand;
  rand.reseed(12345);
  const std::vector<uint32_t> words = drawR250(rand, 1000);
  for (size_t n = 250; n < words.size(); ++n) {
    ASSERT_EQ(words[n], words[n - 250] ^ words[n - 147]) << "word " << n;
  }
}

TEST(BrivaneRandTest, SameSeedSameWordsAndInstancesShareTheState) {
  BrivaneRand first;
  first.reseed(777);
  const std::vector<uint32_t> once = drawR250(first, 300);
  first.reseed(777);
  BrivaneRand second;  // a later construction changes nothing
  std::vector<uint32_t> again = drawR250(second, 150);
  const std::vector<uint32_t> rest = drawR250(g_brivaneRand, 150);
  again.insert(again.end(), rest.begin(), rest.end());
  EXPECT_EQ(once, again);
}

// The 32 words at 3, 10, 17, ... form a triangular basis: word 3 + 7k has bit
// 31 - k set and every higher bit clear, so the register never collapses into
// a smaller space. After a reseed the first 250 draws are word[i] XOR
// word[i + 103]; the basis shows in the table words themselves, recovered
// here from the draws through the recurrence's first step.
TEST(BrivaneRandTest, TableHoldsTheTriangularBasis) {
  BrivaneRand rand;
  rand.reseed(4242);
  const std::vector<uint32_t> draws = drawR250(rand, 500);
  // draws[i] (i < 147) = t[i] ^ t[i + 103] and, for 147 <= i < 250, the
  // partner was already replaced: draws[i] = t[i] ^ draws[i - 147].
  // Recover t[147..249], then t[44..146] = draws[i] ^ t[i + 103], and so on
  // down to t[0].
  std::vector<uint32_t> table(250, 0);
  for (int i = 249; i >= 147; --i) table[i] = draws[i] ^ draws[i - 147];
  for (int i = 146; i >= 0; --i) table[i] = draws[i] ^ table[i + 103];
  for (uint32_t k = 0; k < 32; ++k) {
    const uint32_t word = table[3 + 7 * k];
    const uint32_t bit = 0x80000000u >> k;
    EXPECT_NE(word & bit, 0u) << "k=" << k;
    EXPECT_EQ(word & ~((bit << 1) - 1), 0u) << "k=" << k;
  }
}

TEST(BrivaneRandTest, RandomInRangeReachesEveryValueAndNoOther) {
  BrivaneRand rand;
  rand.reseed(99);
  std::set<int32_t> seen;
  for (int i = 0; i < 5000; ++i) {
    const int32_t v = rand.randomInRange(0, 35);
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 35);
    seen.insert(v);
  }
  EXPECT_EQ(seen.size(), 36u);
  EXPECT_EQ(rand.randomInRange(7, 7), 7);
  const int32_t negative = rand.randomInRange(-3, -1);
  EXPECT_GE(negative, -3);
  EXPECT_LE(negative, -1);
}

}  // namespace
