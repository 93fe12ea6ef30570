#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "package/file_accessor.h"
#include "package/name_translation.h"
#include "package/package_test_support.h"

namespace zel {
namespace {

using namespace testing_support;
namespace fs = std::filesystem;

// A stand-in for the imaging layer: a "picture" is a file starting with
// "PIC", its store remembers the text after it.
class TFakeStore : public TRefObj {
 public:
  explicit TFakeStore(std::string text) : text(std::move(text)) {}
  std::string text;
};

std::atomic<int> gDecodes{0};

class Pictures : public testing::Test {
 protected:
  void SetUp() override {
    gDecodes = 0;
    SetPictureDecoder([](std::unique_ptr<TStream> stream, TStringView, int orientation) -> TRef<TRefObj> {
      ++gDecodes;
      const auto bytes = ReadAllBytes(*stream);
      const std::string text(bytes.begin(), bytes.end());
      if (text.rfind("PIC", 0) != 0) return nullptr;
      return MakeRef<TFakeStore>(text.substr(3) + (orientation ? "@" + std::to_string(orientation) : ""));
    });
    SetPlaceholderMaker([](TStringView name, bool existed, bool) -> TRef<TRefObj> {
      const auto text = PlaceholderText(name, existed, false);
      return MakeRef<TFakeStore>(StringToUtf8(text.lines[0]) + "|" + StringToUtf8(text.lines[1]) + "|" +
                                 StringToUtf8(text.lines[2]) + "|" + StringToUtf8(text.lines[3]));
    });
    WriteFileBytes(folder.File("sun.pic"), Bytes("PICsun"));
    WriteFileBytes(folder.File("broken.pic"), Bytes("not a picture"));
  }
  void TearDown() override {
    SetPictureDecoder(nullptr);
    SetPlaceholderMaker(nullptr);
  }
  static std::string TextOf(const TCachedPicture& picture) {
    return static_cast<TFakeStore*>(picture.Store().Get())->text;
  }
  TString Name(const std::string& file) const { return Utf8ToString(folder.File(file)); }
  TTempFolder folder;
};

TEST_F(Pictures, NamesDifferingInCaseShareOneDecodedPicture) {
  TFileAccessor accessor(MakeRef<TRealFileSource>());
  const int before = PictureHandleCount();
  auto a = accessor.LoadPicture(Name("sun.pic"));
  auto b = accessor.LoadPicture(UpperCase(Name("sun.pic")));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(TextOf(*a), "sun");
  EXPECT_EQ(a->Store().Get(), b->Store().Get());
  EXPECT_EQ(gDecodes, 1);
  EXPECT_EQ(PictureHandleCount(), before + 1);
  a.reset();
  EXPECT_EQ(PictureHandleCount(), before + 1);  // b still holds it
  b.reset();
  EXPECT_EQ(PictureHandleCount(), before);
}

TEST_F(Pictures, EachSourceDecodesItsOwnCopy) {
  TFileAccessor first(MakeRef<TRealFileSource>());
  TFileAccessor second(MakeRef<TRealFileSource>());
  auto a = first.LoadPicture(Name("sun.pic"));
  auto b = second.LoadPicture(Name("sun.pic"));
  auto c = first.Clone()->LoadPicture(Name("sun.pic"));  // a clone shares the source
  EXPECT_NE(a->Store().Get(), b->Store().Get());
  EXPECT_EQ(a->Store().Get(), c->Store().Get());
  EXPECT_EQ(gDecodes, 2);
}

TEST_F(Pictures, MissingAndBrokenPicturesGetThePlaceholderOnce) {
  TFileAccessor accessor(MakeRef<TRealFileSource>());
  auto missing = accessor.LoadPicture(Name("none.pic"));
  ASSERT_TRUE(missing);
  EXPECT_TRUE(missing->IsPlaceholder());
  EXPECT_EQ(TextOf(*missing), "Image not found:|none.pic|Path:|" + folder.path.string());
  auto broken = accessor.LoadPicture(Name("broken.pic"));
  ASSERT_TRUE(broken);
  EXPECT_EQ(TextOf(*broken).substr(0, 18), "Image load error:|");
  EXPECT_EQ(gDecodes, 1);
  // Once failed, never decoded again for this source.
  WriteFileBytes(folder.File("broken.pic"), Bytes("PICfixed"));
  auto again = accessor.LoadPicture(Name("broken.pic"));
  EXPECT_TRUE(again->IsPlaceholder());
  EXPECT_EQ(gDecodes, 1);
}

TEST_F(Pictures, WithoutAPlaceholderMakerAMissingPictureIsNone) {
  SetPlaceholderMaker(nullptr);
  TFileAccessor accessor(MakeRef<TRealFileSource>());
  EXPECT_FALSE(accessor.LoadPicture(Name("none.pic")).has_value());
}

TEST_F(Pictures, ProvidersAnswerFirstInRegistrationOrder) {
  TFileAccessor accessor(MakeRef<TRealFileSource>());
  auto first = accessor.RegisterPictureProvider([](TStringView name) -> TRef<TRefObj> {
    return name == u"generated" ? MakeRef<TFakeStore>("first") : nullptr;
  });
  auto second = accessor.RegisterPictureProvider([](TStringView) -> TRef<TRefObj> { return MakeRef<TFakeStore>("second"); });
  EXPECT_EQ(TextOf(*accessor.LoadPicture(u"generated")), "first");
  EXPECT_EQ(TextOf(*accessor.LoadPicture(u"other")), "second");
  second.reset();  // unregistered
  EXPECT_TRUE(accessor.LoadPicture(u"third")->IsPlaceholder());
  EXPECT_EQ(gDecodes, 0);
}

TEST_F(Pictures, ConcurrentRequestsShareOneDecoding) {
  TFileAccessor accessor(MakeRef<TRealFileSource>());
  std::vector<std::thread> threads;
  std::vector<const TRefObj*> stores(8);
  for (size_t t = 0; t < stores.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        auto picture = accessor.LoadPicture(Name("sun.pic"));
        stores[t] = picture->Store().Get();
      }
    });
  }
  for (auto& t : threads) t.join();
  // Every picture was released in between: each time it may be decoded
  // anew, but all threads holding it at once shared one copy.
  for (auto* store : stores) EXPECT_NE(store, nullptr);
  auto held = accessor.LoadPicture(Name("sun.pic"));
  auto again = accessor.LoadPicture(Name("sun.pic"));
  EXPECT_EQ(held->Store().Get(), again->Store().Get());
}

TEST_F(Pictures, RotationCodesReachTheDecoder) {
  auto source = MakeRef<TMappedFileSource>();
  source->SetFolder(Utf8ToString(folder.path.string()));
  source->SetOrientation(u"sun.pic", 6);
  TFileAccessor accessor(source);
  EXPECT_EQ(TextOf(*accessor.LoadPicture(u"sun.pic")), "sun@6");
}

// --------------------------------------------------------------------------

TEST(FileAccessor, ResolvesDiskNamesAsTheyAreTranslatedOrInTheBaseFolder) {
  TTempFolder folder;
  WriteFileBytes(folder.File("Title.png"), Bytes("x"));
  TFileAccessor accessor(MakeRef<TRealFileSource>());
  const TString exact = Utf8ToString(folder.File("Title.png"));
  EXPECT_EQ(accessor.ResolveDiskName(exact), folder.File("Title.png"));
  EXPECT_EQ(accessor.ResolveDiskName(UpperCase(exact)), folder.File("Title.png"));
  // A Windows name whose folders are gone: found by its last component.
  EXPECT_FALSE(accessor.ResolveDiskName(u"C:\\Users\\me\\Show\\title.png").has_value());
  accessor.SetBaseFolder(Utf8ToString(folder.path.string()));
  EXPECT_EQ(accessor.BaseFolder().back(), u'/');
  EXPECT_EQ(accessor.ResolveDiskName(u"C:\\Users\\me\\Show\\title.png"), folder.File("Title.png"));
  EXPECT_NE(accessor.OpenDiskFile(u"C:\\Users\\me\\Show\\title.png"), nullptr);
  EXPECT_EQ(accessor.OpenDiskFile(u"C:\\Users\\me\\Show\\nothing.png"), nullptr);
}

TEST(FileAccessor, StylesResolveThroughTheTranslation) {
  TTempFolder folder;
  fs::create_directories(folder.path / "All" / "Themes");
  WriteFileBytes(folder.File("All/Themes/button.png"), Bytes("styled"));
  SetStylesBaseFolder(Utf8ToString(folder.path.string()));
  TFileAccessor accessor(MakeRef<TRealFileSource>());
  EXPECT_EQ(accessor.ResolveDiskName(u"%styles%\\button.png"), folder.File("All/Themes/button.png"));
  auto stream = accessor.OpenStream(u"%styles%\\BUTTON.png");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(ReadAllBytes(*stream), Bytes("styled"));
  SetStylesBaseFolder(u"");
}

TEST(FileAccessor, LoadHookAndFallbackOpener) {
  TTempFolder folder;
  WriteFileBytes(folder.File("a.txt"), Bytes("original"));
  TFileAccessor accessor(MakeRef<TRealFileSource>());
  std::vector<TString> hooked;
  accessor.SetLoadHook([&](TStringView name, std::unique_ptr<TStream>& stream) {
    hooked.emplace_back(name);
    auto replaced = std::make_unique<TStringStream>("replaced");
    stream = std::move(replaced);
  });
  accessor.SetFallbackOpener([](TStringView name) -> std::unique_ptr<TStream> {
    return name == u"virtual" ? std::make_unique<TStringStream>("fallback") : nullptr;
  });
  auto a = accessor.OpenStream(Utf8ToString(folder.File("a.txt")));
  EXPECT_EQ(ReadAllBytes(*a), Bytes("replaced"));
  EXPECT_EQ(ReadAllBytes(*accessor.OpenStream(u"virtual")), Bytes("fallback"));
  EXPECT_EQ(accessor.OpenStream(u"nothing"), nullptr);
  EXPECT_EQ(hooked.size(), 1u);  // only streams that exist reach the hook
}

TEST(FileAccessor, StreamsComeInAWindowWithTheLoaderCallback) {
  TTempFolder folder;
  WriteFileBytes(folder.File("data.bin"), std::vector<uint8_t>(10000, 7));
  TFileAccessor accessor(MakeRef<TRealFileSource>());
  std::atomic<int> calls{0};
  SetLoaderCallback([&] { ++calls; });
  auto stream = accessor.OpenStream(Utf8ToString(folder.File("data.bin")));
  EXPECT_EQ(ReadAllBytes(*stream).size(), 10000u);
  SetLoaderCallback(nullptr);
  EXPECT_GE(calls, 10000 / 256);
  // A loader callback that raises stops the reading thread.
  SetLoaderCallback([] { throw EAbort(); });
  stream = accessor.OpenStream(Utf8ToString(folder.File("data.bin")));
  std::vector<uint8_t> buffer(1000);
  EXPECT_THROW(stream->Read(buffer), EAbort);
  SetLoaderCallback(nullptr);
}

}  // namespace
}  // namespace zel
