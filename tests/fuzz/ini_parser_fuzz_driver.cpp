// The project text parser's fuzz entry point in every test run.
#include "fuzz_driver.h"

namespace zel::fuzzing {
namespace {

TEST(IniParserFuzz, SeedCorpus) {
  const auto inputs = Corpus(ZEL_INI_CORPUS);
  ASSERT_GE(inputs.size(), 5u);
  for (const auto& input : inputs) EXPECT_EQ(Feed(input), 0);
}

TEST(IniParserFuzz, RandomMutations) {
  FeedMutations(Corpus(ZEL_INI_CORPUS), "[]=;:/ \t\r\nobjectendOBJECTEND\xEF\xBB\xBF\xFF\xFE\x80\xC3\xF0\x9F", 4000,
                20240611);
}

}  // namespace
}  // namespace zel::fuzzing
