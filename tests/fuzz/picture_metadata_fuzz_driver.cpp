// The picture metadata reader's fuzz entry point in every test run: the
// committed seed corpus, the seeds made here by the metadata writers of the
// imaging tests, then random mutations of them all. With ZEL_FUZZ_SEEDS set
// to a folder, the seeds made here are written there (that is how the
// committed corpus was made).
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_driver.h"
#include "imaging/metadata_pictures.h"

namespace zel::fuzzing {
namespace {

using namespace zel::testing;

TTiffLayout Camera(bool bigEndian, TByteVector comment) {
  TTiffLayout layout;
  layout.BigEndian = bigEndian;
  layout.Ifd0 = {AsciiEntry(0x010E, "Harbour"), AsciiEntry(0x0132, "2009:07:14 18:22:05")};
  layout.Exif = {UndefinedEntry(0x9286, std::move(comment))};
  return layout;
}

TByteVector Iptc(const std::vector<TIptcValue>& values) {
  TByteVector resources = PhotoshopResource(0x03ED, {1, 2, 3});
  const TByteVector iptc = PhotoshopResource(0x0404, MakeIptc(values));
  resources.insert(resources.end(), iptc.begin(), iptc.end());
  return resources;
}

std::vector<std::string> Seeds() {
  const TByteVector jpeg = SmallJpeg();
  TTiffLayout looping = Camera(false, UserComment("JIS", {0x46, 0x7C}));
  looping.NextIfd = 8;
  looping.Ifd1 = {AsciiEntry(0x0132, "2001:01:01 00:00:00")};
  TTiffLayout huge;
  huge.BigEndian = true;
  huge.Ifd0 = {RawEntry(0x010E, 2, 0x7FFFFFFF, 8), AsciiEntry(0x0132, "2009:07:14 18:22:05"),
               RawEntry(0x8769, 4, 1, 8)};
  const TByteVector split = Iptc({{1, 90, "\x1B%G"}, {2, 80, " Author "}, {2, 80, "Second"}, {2, 120, "Caption"}});
  const std::vector<TByteVector> seeds = {
      WithSegments(jpeg, {ExifSegment(MakeTiff(Camera(false, UserComment("ASCII", TextBytes("comment"))))),
                          PhotoshopSegment(Iptc({{2, 5, "Title"}, {2, 90, "Z\xFCrich"}}))}),
      WithSegments(jpeg, {ExifSegment(MakeTiff(Camera(true, UserComment("UNICODE", Utf16Bytes(u"note", true))))),
                          PhotoshopSegment(TByteVector(split.begin(), split.begin() + 20)),
                          PhotoshopSegment(TByteVector(split.begin() + 20, split.end()))}),
      WithSegments(jpeg, {ExifSegment(MakeTiff(looping))}),
      WithSegments(jpeg, {ExifSegment(MakeTiff(huge))}),
      WithPngChunk(MakePngColor(PatternImage(2, 2, 1), false),
                   PngChunk("eXIf", MakeTiff(Camera(true, UserComment("", TextBytes("undefined code")))))),
  };
  std::vector<std::string> inputs;
  for (const auto& seed : seeds) inputs.emplace_back(seed.begin(), seed.end());
  return inputs;
}

TEST(PictureMetadataFuzz, SeedCorpus) {
  const auto made = Seeds();
  const char* folder = std::getenv("ZEL_FUZZ_SEEDS");
  for (size_t i = 0; i < made.size(); ++i) {
    if (folder) std::ofstream(std::string(folder) + "/metadata_" + std::to_string(i), std::ios::binary) << made[i];
    EXPECT_EQ(Feed(made[i]), 0);
  }
  const auto committed = Corpus(ZEL_METADATA_CORPUS);
  ASSERT_GE(committed.size(), 5u);
  for (const auto& input : committed) EXPECT_EQ(Feed(input), 0);
}

TEST(PictureMetadataFuzz, RandomMutations) {
  auto inputs = Corpus(ZEL_METADATA_CORPUS);
  for (auto& seed : Seeds()) inputs.push_back(std::move(seed));
  static const char kAlphabet[] = "\xFF\xD8\xE1\xED\xDA\x00\x1C\x02\x04\x87\x69\x92\x86\x01\x32\x0E\x7F\x80"
                                  "Exif8BIMPhotoshop 3.0IIMM*eXIfIDAT";
  FeedMutations(inputs, std::string(kAlphabet, sizeof kAlphabet - 1), 3000, 20261209);
}

}  // namespace
}  // namespace zel::fuzzing
