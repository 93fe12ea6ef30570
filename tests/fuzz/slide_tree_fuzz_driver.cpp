// Building slides from the fuzz entry point in every test run.
#include "fuzz_driver.h"

namespace zel::fuzzing {
namespace {

TEST(SlideTreeFuzz, SeedCorpus) {
  const auto inputs = Corpus(ZEL_SLIDE_CORPUS);
  ASSERT_GE(inputs.size(), 2u);
  for (const auto& input : inputs) EXPECT_EQ(Feed(input), 0);
}

TEST(SlideTreeFuzz, RandomMutations) {
  FeedMutations(Corpus(ZEL_SLIDE_CORPUS), "object end KeyPoint\n=,-.0123456789eE:[]GUIDTimeOrigin", 1500, 20261209);
}

}  // namespace
}  // namespace zel::fuzzing
