// The package reader's fuzz entry point in every test run.
#include "fuzz_driver.h"

namespace zel::fuzzing {
namespace {

TEST(PackageFuzz, SeedCorpus) {
  const auto inputs = Corpus(ZEL_PACKAGE_CORPUS);
  ASSERT_GE(inputs.size(), 5u);
  for (const auto& input : inputs) EXPECT_EQ(Feed(input), 0);
}

TEST(PackageFuzz, RandomMutations) {
  FeedMutations(Corpus(ZEL_PACKAGE_CORPUS), ".dne[]=_ps_sz_pm\r\n\x01\xFF\x7F", 1500, 20261209);
}

}  // namespace
}  // namespace zel::fuzzing
