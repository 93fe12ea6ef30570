#include <gtest/gtest.h>

#include "package/package_test_support.h"
#include "package/zel_unpack.h"

namespace zel {
namespace {

using namespace testing_support;

std::vector<TTestEntry> SampleEntries() {
  std::vector<uint8_t> big(200000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>((i / 7) * 13);
  return {
      {u"Project.zel", Bytes("[Main]\r\nZelVersion=9.1\r\n"), pmDeflated},
      {u"Pictures\\Beach.jpg", big, pmStored},
      {u"Secret[1].txt", Bytes("scrambled entry text that is longer than the key itself"), pmScrambled},
      {u"empty.bin", {}, pmStored},
  };
}

void ExpectEntriesReadBack(const TZelUnpack& package, const std::vector<TTestEntry>& entries) {
  for (const auto& e : entries) {
    auto stream = package.OpenEntry(e.name);
    ASSERT_NE(stream, nullptr) << StringToUtf8(e.name);
    EXPECT_EQ(stream->GetSize(), static_cast<int64_t>(e.bytes.size()));
    EXPECT_EQ(ReadAllBytes(*stream), e.bytes) << StringToUtf8(e.name);
  }
}

TEST(Package, APlainShowFileOpensAndEveryEntryReadsBack) {
  TTempFolder folder;
  const auto file = folder.File("show.ZlShow");
  const auto entries = SampleEntries();
  MakePackage(file, entries);
  TZelUnpack package(file);
  ASSERT_TRUE(package.Ready()) << package.ErrorMessage();
  EXPECT_EQ(package.PackageStart(), 0);
  EXPECT_EQ(package.PackageEnd(), static_cast<int64_t>(FileBytes(file).size()));
  EXPECT_EQ(package.PositionShift(), 0);
  EXPECT_EQ(package.Version(), u"9.1");
  ExpectEntriesReadBack(package, entries);
  EXPECT_EQ(package.EntryNames().size(), entries.size());
}

TEST(Package, AnAppendedPackageStartsAtTheFirstByteOfTheExecutable) {
  TTempFolder folder;
  const auto file = folder.File("player");
  const auto entries = SampleEntries();
  MakePackage(file, entries, std::vector<uint8_t>(5000, 0x90));
  const auto bytes = FileBytes(file);
  uint64_t length = 0;
  for (int i = 0; i < 8; ++i) length |= uint64_t{bytes[bytes.size() - 8 + static_cast<size_t>(i)]} << (8 * i);
  EXPECT_EQ(length, bytes.size() - 8);
  TZelUnpack package(file);
  ASSERT_TRUE(package.Ready()) << package.ErrorMessage();
  EXPECT_EQ(package.PackageStart(), 0);
  EXPECT_EQ(package.PackageEnd(), static_cast<int64_t>(bytes.size()) - 8);
  ExpectEntriesReadBack(package, entries);
  const auto entry = package.FindEntry(u"pictures\\beach.JPG");
  ASSERT_TRUE(entry.has_value());
  EXPECT_GE(entry->position, 5000);
}

TEST(Package, NamesAreFoundWithoutCaseAndBracketsAsAngles) {
  TTempFolder folder;
  const auto file = folder.File("show.ZlShow");
  MakePackage(file, SampleEntries());
  TZelUnpack package(file);
  ASSERT_TRUE(package.Ready());
  EXPECT_TRUE(package.FindEntry(u"SECRET[1].TXT").has_value());
  EXPECT_TRUE(package.FindEntry(u"secret<1>.txt").has_value());  // the same section
  EXPECT_TRUE(package.Index().SectionExists(u"Secret<1>.txt"));
  EXPECT_FALSE(package.FindEntry(u"Secret.txt").has_value());
  EXPECT_EQ(package.OpenEntry(u"missing.png"), nullptr);
}

TEST(Package, AnEntryNeedsBothPositionAndSize) {
  TTempFolder folder;
  const auto file = folder.File("handmade.ZlShow");
  WriteFileBytes(file, PackageAroundIndex(Bytes("0123456789"), "[$protection$]\r\n"
                                                             "[whole]\r\n_ps=2\r\n_sz=5\r\n"
                                                             "[nosize]\r\n_ps=0\r\n"
                                                             "[badsize]\r\n_ps=0\r\n_sz=five\r\n"
                                                             "[nomethod]\r\n_ps=0\r\n_sz=3\r\n_pm=x\r\n"));
  TZelUnpack package(file);
  ASSERT_TRUE(package.Ready()) << package.ErrorMessage();
  EXPECT_FALSE(package.FindEntry(u"nosize").has_value());
  EXPECT_FALSE(package.FindEntry(u"badsize").has_value());
  ASSERT_TRUE(package.FindEntry(u"nomethod").has_value());
  EXPECT_EQ(package.FindEntry(u"nomethod")->method, pmStored);
  auto stream = package.OpenEntry(u"whole");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(ReadAllBytes(*stream), Bytes("23456"));
}

TEST(Package, DataInsertedInFrontShiftsPositionsOnlyWhenModifyingIsAllowed) {
  TTempFolder folder;
  const auto entries = SampleEntries();
  for (bool allow : {true, false}) {
    const auto file = folder.File(allow ? "allowed" : "refused");
    MakePackage(file, entries, std::vector<uint8_t>(100, 0x11), allow);
    auto bytes = FileBytes(file);
    bytes.insert(bytes.begin(), 777, 0x22);  // D = 777
    WriteFileBytes(file, bytes);
    TZelUnpack package(file);
    if (allow) {
      ASSERT_TRUE(package.Ready()) << package.ErrorMessage();
      EXPECT_EQ(package.PackageStart(), 777);
      EXPECT_EQ(package.PositionShift(), 777);
      ExpectEntriesReadBack(package, entries);
    } else {
      EXPECT_FALSE(package.Ready());
      EXPECT_EQ(package.ErrorMessage(), "Slide-show File Modified");
    }
  }
}

TEST(Package, AnEmptyStrucposMeansNoShift) {
  TTempFolder folder;
  const auto file = folder.File("nostrucpos");
  auto body = std::vector<uint8_t>(50, 0x33);
  auto bytes = PackageAroundIndex(body, "[$protection$]\r\nstrucpos=\r\n[a]\r\n_ps=10\r\n_sz=4\r\n");
  WriteFileBytes(file, bytes);
  TZelUnpack package(file);
  ASSERT_TRUE(package.Ready()) << package.ErrorMessage();
  EXPECT_EQ(package.PositionShift(), 0);
  EXPECT_EQ(package.FindEntry(u"a")->position, 10);
}

TEST(Package, ABadOrLargerStrucposIsDamage) {
  TTempFolder folder;
  for (const char* recorded : {"12x", "999999"}) {
    const auto file = folder.File("damaged");
    WriteFileBytes(file, PackageAroundIndex(std::vector<uint8_t>(50, 0),
                                            std::string("[$protection$]\r\nallowmodify=1\r\nstrucpos=") + recorded +
                                                "\r\n"));
    TZelUnpack package(file);
    EXPECT_FALSE(package.Ready()) << recorded;
    EXPECT_EQ(package.ErrorMessage(), "Slide-show File Damaged") << recorded;
  }
}

TEST(Package, FilesThatAreNoPackage) {
  TTempFolder folder;
  TZelUnpack missing(folder.File("nothing-here"));
  EXPECT_FALSE(missing.Ready());
  EXPECT_EQ(missing.ErrorMessage(), "Slideshow File not Found");

  const auto plain = folder.File("plain.txt");
  WriteFileBytes(plain, Bytes("just some text, no marker at all"));
  TZelUnpack text(plain);
  EXPECT_FALSE(text.Ready());
  EXPECT_EQ(text.ErrorMessage(), "");
  EXPECT_FALSE(IsShowPackage(plain));

  const auto tiny = folder.File("tiny");
  WriteFileBytes(tiny, Bytes(".dne"));
  EXPECT_FALSE(TZelUnpack(tiny).Ready());
}

TEST(Package, BadTailsAndIndexesAreRefusedWithoutACrash) {
  TTempFolder folder;
  const auto good = folder.File("good");
  MakePackage(good, SampleEntries());
  const auto bytes = FileBytes(good);

  // The index position points outside the file.
  auto outside = bytes;
  for (int i = 0; i < 8; ++i) outside[outside.size() - 12 + static_cast<size_t>(i)] = 0x7F;
  WriteFileBytes(folder.File("outside"), outside);
  TZelUnpack a(folder.File("outside"));
  EXPECT_FALSE(a.Ready());
  EXPECT_EQ(a.ErrorMessage(), "Slide-show File Damaged");

  // The index block does not inflate.
  auto garbage = PackageAroundIndex({}, "");
  std::vector<uint8_t> tail(garbage.end() - 12, garbage.end());
  garbage = std::vector<uint8_t>(300, 0xFF);
  tail[0] = 0;  // index at 0
  garbage.insert(garbage.end(), tail.begin(), tail.end());
  WriteFileBytes(folder.File("garbage"), garbage);
  TZelUnpack b(folder.File("garbage"));
  EXPECT_FALSE(b.Ready());
  EXPECT_EQ(b.ErrorMessage(), "Slide-show File Damaged");

  // Cut in the middle: the tail is gone.
  WriteFileBytes(folder.File("truncated"), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 1000));
  EXPECT_FALSE(TZelUnpack(folder.File("truncated")).Ready());

  // An appended length larger than the file.
  auto appended = bytes;
  for (int i = 0; i < 8; ++i) appended.push_back(i == 6 ? 0x10 : 0);
  WriteFileBytes(folder.File("longlength"), appended);
  EXPECT_FALSE(TZelUnpack(folder.File("longlength")).Ready());
}

TEST(Package, HugeNumbersInTheTailOrIndexAreDamageNotArithmetic) {
  TTempFolder folder;
  auto put64 = [](std::vector<uint8_t>& bytes, size_t at, uint64_t value) {
    for (int i = 0; i < 8; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
  };
  // Appended form: a length and an index position that overflow when added.
  auto bytes = PackageAroundIndex({}, "[a]\r\n_ps=0\r\n_sz=1\r\n");
  bytes.resize(bytes.size() + 8);
  put64(bytes, bytes.size() - 8, 0x7FFFFFFFFFFFFF00ull);
  WriteFileBytes(folder.File("huge-length"), bytes);
  EXPECT_EQ(TZelUnpack(folder.File("huge-length")).ErrorMessage(), "Slide-show File Damaged");
  put64(bytes, bytes.size() - 8, bytes.size() - 8);
  put64(bytes, bytes.size() - 20, 0x5A7B000000000000ull);
  WriteFileBytes(folder.File("huge-index"), bytes);
  EXPECT_EQ(TZelUnpack(folder.File("huge-index")).ErrorMessage(), "Slide-show File Damaged");

  // Entry positions and sizes at the edge of 64 bits name no entry.
  WriteFileBytes(folder.File("huge-entry"),
                 PackageAroundIndex(Bytes("data"), "[$protection$]\r\n"
                                                   "[far]\r\n_ps=9223372036854775807\r\n_sz=9223372036854775807\r\n"
                                                   "[negative]\r\n_ps=-5\r\n_sz=2\r\n"));
  TZelUnpack package(folder.File("huge-entry"));
  ASSERT_TRUE(package.Ready());
  EXPECT_THROW(package.OpenEntry(u"far"), EStreamError);  // past the end, without overflowing
  EXPECT_FALSE(package.FindEntry(u"negative").has_value());
}

TEST(Package, AnEntryWindowPastTheEndIsAStreamError) {
  TTempFolder folder;
  const auto file = folder.File("pastend");
  WriteFileBytes(file, PackageAroundIndex(Bytes("0123456789"), "[big]\r\n_ps=5\r\n_sz=100000\r\n"));
  TZelUnpack package(file);
  ASSERT_TRUE(package.Ready());
  try {
    package.OpenEntry(u"big");
    FAIL() << "no error";
  } catch (const EStreamError& e) {
    EXPECT_STREQ(e.what(), "Insufficient Source Size");
  }
}

TEST(Package, EveryOpenEntryHasItsOwnPlace) {
  TTempFolder folder;
  const auto file = folder.File("show.ZlShow");
  const auto entries = SampleEntries();
  MakePackage(file, entries);
  TZelUnpack package(file);
  auto a = package.OpenEntry(u"Pictures\\Beach.jpg");
  auto b = package.OpenEntry(u"Pictures\\Beach.jpg");
  std::vector<uint8_t> first(1000), second(500);
  ASSERT_EQ(a->Read(first), 1000);
  ASSERT_EQ(b->Read(second), 500);
  ASSERT_EQ(a->Read(second), 500);
  EXPECT_TRUE(std::equal(second.begin(), second.end(), entries[1].bytes.begin() + 1000));
}

TEST(Package, TheProgressCallbackRunsWhileReading) {
  TTempFolder folder;
  const auto file = folder.File("show.ZlShow");
  MakePackage(file, SampleEntries());
  TZelUnpack package(file);
  int calls = 0;
  auto stream = package.OpenEntry(u"Pictures\\Beach.jpg", [&] { ++calls; });
  ReadAllBytes(*stream);
  EXPECT_GE(calls, 200000 / 256);
}

TEST(Package, IsShowPackageGivesTheVersion) {
  TTempFolder folder;
  const auto file = folder.File("show.ZlShow");
  MakePackage(file, SampleEntries(), {}, false, u"10.0.4");
  TString version;
  EXPECT_TRUE(IsShowPackage(file, &version));
  EXPECT_EQ(version, u"10.0.4");
}

}  // namespace
}  // namespace zel
