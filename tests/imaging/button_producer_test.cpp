// Button faces: the theme document, the nine-piece layout, the colour
// shifts, the error faces, the face names and the host that finds a
// button's theme in the show (falling back to "aqua").
#include "imaging/button_producer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "imaging/pixel_format.h"
#include "package/file_accessor.h"

namespace zel {
namespace {

constexpr int kPictureWidth = 12, kPictureHeight = 9;

// Every pixel of a theme picture is different: its colour spells its place
// and the picture's tag.
TColor PicturePixel(int tag, int x, int y) { return MakeColor(x * 20, y * 25, tag * 60, 255); }

TRef<TBitmapStore> MakePicture(const TString& name, int width, int height,
                               const std::function<TColor(int x, int y)>& pixel) {
  std::unique_ptr<TBitmap> bitmap = CreateBitmap(width, height, FormatA8R8G8B8());
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t value = pixel(x, y);
      std::memcpy(bitmap->ScanLine(y) + x * 4, &value, 4);
    }
  return MakeRef<TWrapperBitmapStore>(name, std::move(bitmap));
}

TColor PixelOf(TImage& image, int x, int y) {
  uint32_t pixel = 0;
  image.GetMipLevel(0, FormatA8R8G8B8())->GetPixels32(x, y, std::span<uint32_t>(&pixel, 1), 0, 1);
  return pixel;
}

// The pictures a face is built from, by name; it remembers what was asked.
class TPictureBank {
 public:
  void Add(const TString& name, TRef<TBitmapStore> store) { fStores[name] = std::move(store); }
  void AddPattern(const TString& name, int tag, int height = kPictureHeight) {
    Add(name, MakePicture(name, kPictureWidth, height, [tag](int x, int y) { return PicturePixel(tag, x, y); }));
  }
  TPictureRequest Request() {
    return [this](TStringView name) -> std::unique_ptr<TImage> {
      std::lock_guard lock(fLock);
      fAsked.emplace_back(name);
      const auto found = fStores.find(TString(name));
      return found == fStores.end() ? nullptr : std::make_unique<TImage>(found->second);
    };
  }
  bool WasAsked(TStringView name) {
    std::lock_guard lock(fLock);
    return std::find(fAsked.begin(), fAsked.end(), name) != fAsked.end();
  }

 private:
  std::mutex fLock;
  std::map<TString, TRef<TBitmapStore>> fStores;
  std::vector<TString> fAsked;
};

// A 12 x 9 picture cut in three columns of four (left, middle, right) and
// three rows of three (top, middle, bottom); the stretched pieces use the
// middle column 5.
std::string StateText(const std::string& section, const std::string& picture, int bottom = kPictureHeight) {
  const std::string b = std::to_string(bottom), m = std::to_string(bottom - 3);
  return "[" + section + "]\r\n" +
         "LeftTop=" + picture + ", 0, 0, 4, 3\r\n"
         "Top=" + picture + ", 5, 0, 8, 3\r\n"
         "RightTop=" + picture + ", 8, 0, 12, 3\r\n"
         "Right=" + picture + ", 8, 3, 12, " + m + "\r\n"
         "RightBottom=" + picture + ", 8, " + m + ", 12, " + b + "\r\n"
         "Bottom=" + picture + ", 5, " + m + ", 8, " + b + "\r\n"
         "LeftBottom=" + picture + ", 0, " + m + ", 4, " + b + "\r\n"
         "Left=" + picture + ", 0, 3, 4, " + m + "\r\n"
         "Center=" + picture + ", 5, 3, 8, " + m + "\r\n";
}

std::string ThemeText(const std::string& normal = "normal.png", const std::string& textParams = "") {
  return StateText("NormalState", normal) + StateText("HoverState", "hover.png") +
         StateText("ClickState", "click.png") + textParams;
}

class ButtonFaces : public ::testing::Test {
 protected:
  void SetUp() override {
    bank.AddPattern(u"normal.png", 0);
    bank.AddPattern(u"hover.png", 1);
    bank.AddPattern(u"click.png", 2);
    producer.SetPictureRequest(bank.Request());
    producer.SetErrorFaceMaker([this](TStringView text) {
      errorTexts.emplace_back(text);
      return std::make_unique<TImage>(MakePicture(u"error", 7, 3, [](int, int) { return MakeColor(255, 0, 0); }));
    });
  }
  TPictureBank bank;
  TButtonProducer producer;
  std::vector<TString> errorTexts;
};

TEST_F(ButtonFaces, AWideFaceKeepsTheSidesAndStretchesTheMiddleColumn) {
  ASSERT_TRUE(producer.LoadTheme(ThemeText(), u"test"));
  EXPECT_EQ(producer.FaceHeight(), kPictureHeight);
  auto face = producer.Face(0, 30, 0, 0, 0);
  ASSERT_NE(face, nullptr);
  EXPECT_EQ(face->Name(), u"Button: test:0:30:0:0:0");
  ASSERT_EQ(face->Width(), 30);
  ASSERT_EQ(face->Height(), kPictureHeight);
  // Left four columns as they are, right four from the picture's right
  // edge, everything between from the middle column.
  for (int y = 0; y < kPictureHeight; ++y)
    for (int x = 0; x < 30; ++x) {
      const int source = x < 4 ? x : x >= 26 ? x - 18 : 5;
      ASSERT_EQ(PixelOf(*face, x, y), PicturePixel(0, source, y)) << x << "," << y;
    }
  auto click = producer.Face(2, 30, 0, 0, 0);
  EXPECT_EQ(PixelOf(*click, 29, 8), PicturePixel(2, 11, 8));
  EXPECT_TRUE(bank.WasAsked(u"click.png"));
}

TEST_F(ButtonFaces, ANarrowFaceLetsTheRightPiecesCoverTheLeft) {
  ASSERT_TRUE(producer.LoadTheme(ThemeText(), u"test"));
  auto face = producer.Face(0, 6, 0, 0, 0);
  ASSERT_NE(face, nullptr);
  for (int y = 0; y < kPictureHeight; ++y) {
    EXPECT_EQ(PixelOf(*face, 0, y), PicturePixel(0, 0, y));
    EXPECT_EQ(PixelOf(*face, 1, y), PicturePixel(0, 1, y));
    for (int x = 2; x < 6; ++x) EXPECT_EQ(PixelOf(*face, x, y), PicturePixel(0, x + 6, y)) << x << "," << y;
  }
  EXPECT_EQ(producer.Face(0, 0, 0, 0, 0), nullptr);
  EXPECT_EQ(producer.Face(0, -5, 0, 0, 0), nullptr);
}

TEST_F(ButtonFaces, StatesOfDifferentHeightShareTheTallestAndAlignToTheBottom) {
  bank.AddPattern(u"tall.png", 3, 11);
  const std::string theme =
      StateText("NormalState", "normal.png") + StateText("HoverState", "tall.png", 11) + StateText("ClickState", "click.png");
  ASSERT_TRUE(producer.LoadTheme(theme, u"mixed"));
  EXPECT_EQ(producer.FaceHeight(), 11);
  auto normal = producer.Face(0, 20, 0, 0, 0);
  ASSERT_EQ(normal->Height(), 11);
  // The bottom pieces of the shorter state move down by two rows.
  EXPECT_EQ(PixelOf(*normal, 0, 10), PicturePixel(0, 0, 8));
  EXPECT_EQ(PixelOf(*normal, 10, 10), PicturePixel(0, 5, 8));
  EXPECT_EQ(PixelOf(*normal, 19, 10), PicturePixel(0, 11, 8));
  EXPECT_EQ(PixelOf(*normal, 19, 0), PicturePixel(0, 11, 0));
  auto hover = producer.Face(1, 20, 0, 0, 0);
  EXPECT_EQ(PixelOf(*hover, 19, 10), PicturePixel(3, 11, 10));
}

TEST_F(ButtonFaces, AFullTurnOfHueGivesTheUnshiftedFace) {
  ASSERT_TRUE(producer.LoadTheme(ThemeText(), u"test"));
  auto plain = producer.Face(0, 25, 0, 0, 0);
  auto turned = producer.Face(0, 25, 0, 0, 360);
  auto shifted = producer.Face(0, 25, 0, 0, 90);
  EXPECT_EQ(turned->Name(), u"Button: test:0:25:360:0:0");
  int changed = 0;
  for (int y = 0; y < kPictureHeight; ++y)
    for (int x = 0; x < 25; ++x) {
      ASSERT_EQ(PixelOf(*turned, x, y), PixelOf(*plain, x, y)) << x << "," << y;
      changed += PixelOf(*shifted, x, y) != PixelOf(*plain, x, y);
    }
  EXPECT_GT(changed, 100);
}

TEST_F(ButtonFaces, ShiftsMoveHueSaturationAndLightnessAndKeepAlpha) {
  const TColor kColors[] = {MakeColor(255, 0, 0, 200), MakeColor(90, 90, 90, 255), MakeColor(0, 0, 255, 10)};
  bank.Add(u"swatch.png", MakePicture(u"swatch.png", 3, 1, [&kColors](int x, int) { return kColors[x]; }));
  ASSERT_TRUE(producer.LoadTheme("[NormalState]\nLeftTop=swatch.png,0,0,3,1\n", u"swatch"));
  const auto pixel = [this](int x, int lightness, int saturation, int hue) {
    return PixelOf(*producer.Face(0, 3, lightness, saturation, hue), x, 0);
  };
  // A third of the circle takes red to (nearly) green, back the other way
  // to (nearly) blue; a grey has no hue to turn.
  const TColor green = pixel(0, 0, 0, 120);
  EXPECT_EQ(RedOf(green), 0u);
  EXPECT_EQ(GreenOf(green), 255u);
  EXPECT_LE(BlueOf(green), 3u);
  EXPECT_EQ(AlphaOf(green), 200u);
  const TColor blue = pixel(0, 0, 0, -120);
  EXPECT_LE(RedOf(blue), 5u);
  EXPECT_EQ(GreenOf(blue), 0u);
  EXPECT_EQ(BlueOf(blue), 255u);
  EXPECT_EQ(pixel(1, 0, 0, 120), kColors[1]);
  // Full lightness is white, no saturation is grey.
  EXPECT_EQ(pixel(0, 100, 0, 0), MakeColor(255, 255, 255, 200));
  EXPECT_EQ(pixel(2, 100, 0, 0), MakeColor(255, 255, 255, 10));
  const TColor grey = pixel(0, 0, -100, 0);
  EXPECT_EQ(RedOf(grey), GreenOf(grey));
  EXPECT_EQ(GreenOf(grey), BlueOf(grey));
  EXPECT_NEAR(static_cast<int>(RedOf(grey)), 128, 1);
  // Darker by a quarter: lightness 127.5 - 64 on the same hue.
  const TColor dark = pixel(0, -25, 0, 0);
  EXPECT_NEAR(static_cast<int>(RedOf(dark)), 127, 1);
  EXPECT_EQ(GreenOf(dark), 0u);
}

TEST_F(ButtonFaces, AMissingPictureGivesTheErrorFaceUnderTheFaceName) {
  ASSERT_TRUE(producer.LoadTheme(ThemeText("lost.png"), u"test"));
  auto face = producer.Face(0, 30, 0, 0, 0);
  ASSERT_NE(face, nullptr);
  ASSERT_EQ(errorTexts.size(), 1u);
  EXPECT_EQ(errorTexts[0], u"Incorrect Image: lost.png");
  EXPECT_EQ(face->Name(), u"Button: test:0:30:0:0:0");
  EXPECT_EQ(face->Width(), 7);
  EXPECT_EQ(PixelOf(*face, 3, 1), MakeColor(255, 0, 0));
  // The other states have their pictures.
  auto hover = producer.Face(1, 30, 0, 0, 0);
  EXPECT_EQ(hover->Width(), 30);
  EXPECT_EQ(errorTexts.size(), 1u);
}

TEST_F(ButtonFaces, WithoutPicturesTheFaceIsTheFileOpenError) {
  TButtonProducer bare;
  ASSERT_TRUE(bare.LoadTheme(ThemeText(), u"test"));
  EXPECT_EQ(bare.Face(0, 30, 0, 0, 0), nullptr);  // no error maker either
  std::vector<TString> texts;
  bare.SetErrorFaceMaker([&texts](TStringView text) {
    texts.emplace_back(text);
    return std::make_unique<TImage>(MakePicture(u"e", 2, 2, [](int, int) { return 0u; }));
  });
  auto face = bare.Face(0, 30, 0, 0, 0);
  ASSERT_NE(face, nullptr);
  EXPECT_EQ(texts, std::vector<TString>{u"FileOpenError"});
}

TEST_F(ButtonFaces, ATextWithoutPiecesIsNotReady) {
  EXPECT_FALSE(producer.LoadTheme("[TextParams]\nColor=1,2,3\n", u"empty"));
  EXPECT_FALSE(producer.Ready());
  EXPECT_EQ(producer.Face(0, 30, 0, 0, 0), nullptr);
  // Loading again replaces everything the first theme set.
  ASSERT_TRUE(producer.LoadTheme(ThemeText(), u"again"));
  EXPECT_TRUE(producer.Ready());
  EXPECT_EQ(producer.ThemeName(), u"again");
  EXPECT_EQ(producer.CaptionColor(), 0u);
}

TEST(ButtonTheme, PiecesReadFiveFieldsWithBadNumbersAsZero) {
  TButtonProducer producer;
  ASSERT_TRUE(producer.LoadTheme("[HoverState]\nTop= a b.png ,1, x ,3,$10\nCenter=c.png\n", u"t"));
  const TButtonPiece& top = producer.Pieces(1)[static_cast<size_t>(TButtonPieceKind::Top)];
  EXPECT_EQ(top, (TButtonPiece{u"a b.png", 1, 0, 3, 16}));
  EXPECT_EQ(producer.Pieces(1)[static_cast<size_t>(TButtonPieceKind::Center)], (TButtonPiece{u"c.png", 0, 0, 0, 0}));
  EXPECT_EQ(producer.Pieces(0)[static_cast<size_t>(TButtonPieceKind::Top)], TButtonPiece{});
  EXPECT_EQ(producer.FaceHeight(), 16);
}

TEST(ButtonTheme, TextParamsAndTheirDefaults) {
  TButtonProducer defaults;
  ASSERT_TRUE(defaults.LoadTheme(ThemeText(), u"t"));
  EXPECT_EQ(defaults.CaptionColor(), 0u);
  EXPECT_EQ(defaults.ButtonOffset(), 0);
  EXPECT_EQ(defaults.MinWidth(), 0);
  EXPECT_EQ(defaults.Filtering(), TButtonFiltering::Default);

  TButtonProducer given;
  ASSERT_TRUE(given.LoadTheme(
      ThemeText("normal.png", "[TextParams]\nColor=255,128,0\nBtnOffset=12.5\nBtnMinWidth=150\nFiltering=Bilinear\n"),
      u"t"));
  EXPECT_EQ(given.CaptionColor(), 0xFF8000u);
  EXPECT_EQ(given.ButtonOffset(), 12.5);
  EXPECT_EQ(given.MinWidth(), 150);
  EXPECT_EQ(given.Filtering(), TButtonFiltering::Bilinear);

  TButtonProducer words;
  ASSERT_TRUE(words.LoadTheme(ThemeText("normal.png", "[TextParams]\nFiltering=nearest\n"), u"t"));
  EXPECT_EQ(words.Filtering(), TButtonFiltering::Nearest);
  ASSERT_TRUE(words.LoadTheme(ThemeText("normal.png", "[TextParams]\nFiltering=Smooth\nColor=1,2\n"), u"t"));
  EXPECT_EQ(words.Filtering(), TButtonFiltering::Default);
  EXPECT_EQ(words.CaptionColor(), 0u);
}

TEST(ButtonFaceName, RoundTripsAThemeHoldingColons) {
  const TButtonFaceRequest request{u"my:odd: theme", 2, 140, -30, 45, 7};
  const TString name = BuildButtonFaceName(request);
  EXPECT_EQ(name, u"Button: my:odd: theme:2:140:-30:45:7");
  EXPECT_EQ(ParseButtonFaceName(name), request);
  EXPECT_EQ(ParseButtonFaceName(BuildButtonFaceName({u"", 1, 2, 3, 4, 5})), (TButtonFaceRequest{u"", 1, 2, 3, 4, 5}));
}

TEST(ButtonFaceName, FieldsThatDoNotParseAreZero) {
  EXPECT_EQ(ParseButtonFaceName(u"Button: aqua:1:wide:x:2:"), (TButtonFaceRequest{u"aqua", 1, 0, 0, 2, 0}));
  EXPECT_EQ(ParseButtonFaceName(u"Button: aqua:1:80"), (TButtonFaceRequest{u"aqua", 1, 80, 0, 0, 0}));
  EXPECT_EQ(ParseButtonFaceName(u"Button: aqua"), (TButtonFaceRequest{u"aqua", 0, 0, 0, 0, 0}));
  EXPECT_EQ(ParseButtonFaceName(u"Button: "), TButtonFaceRequest{});
}

// ---------------------------------------------------------------------------
// The host

// Entries of a show held in memory; it counts how often each was opened.
class TMemorySource : public TFileSource {
 public:
  void Add(const TString& name, const std::string& text) { fEntries[name] = text; }
  std::unique_ptr<TStream> Open(TStringView name) override {
    std::lock_guard lock(fLock);
    ++fOpens[TString(name)];
    const auto found = fEntries.find(TString(name));
    if (found == fEntries.end()) return nullptr;
    auto stream = std::make_unique<TMemoryStream>();
    stream->Write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(found->second.data()), found->second.size()));
    stream->SetPosition(0);
    return stream;
  }
  int Opens(const TString& name) {
    std::lock_guard lock(fLock);
    return fOpens[name];
  }

 private:
  std::mutex fLock;
  std::map<TString, std::string> fEntries;
  std::map<TString, int> fOpens;
};

class ButtonHost : public ::testing::Test {
 protected:
  void SetUp() override {
    source->Add(u"Buttons\\aqua\\btn.ini", ThemeText());
    source->Add(u"Buttons\\aqua\\normal.png", "a picture");
    source->Add(u"Buttons\\plain\\btn.ini", ThemeText());
    bank.AddPattern(u"Buttons\\aqua\\normal.png", 0);
    bank.AddPattern(u"normal.png", 1);
    bank.AddPattern(u"hover.png", 2);
    bank.AddPattern(u"click.png", 3);
  }
  std::unique_ptr<TButtonProducerHost> MakeHost() {
    return std::make_unique<TButtonProducerHost>(&accessor, u"Buttons\\", bank.Request(),
                                                 [](TStringView) { return nullptr; });
  }
  TRef<TMemorySource> source = MakeRef<TMemorySource>();
  TFileAccessor accessor{source};
  TPictureBank bank;
};

TEST_F(ButtonHost, AMissingThemeFallsBackToAqua) {
  auto host = MakeHost();
  TButtonProducer* aqua = host->Producer(u"aqua");
  ASSERT_NE(aqua, nullptr);
  EXPECT_EQ(aqua->ThemeName(), u"aqua");
  EXPECT_EQ(host->Producer(u"silver"), aqua);
  auto face = host->MakeFace(u"Button: silver:0:30:0:0:0");
  ASSERT_NE(face, nullptr);
  EXPECT_EQ(face->Name(), u"Button: silver:0:30:0:0:0");
  EXPECT_EQ(face->Width(), 30);
  // The picture in the theme's folder is taken over the one of that name
  // elsewhere.
  EXPECT_TRUE(bank.WasAsked(u"Buttons\\aqua\\normal.png"));
  EXPECT_EQ(PixelOf(*face, 0, 0), PicturePixel(0, 0, 0));
}

TEST_F(ButtonHost, PicturesOutsideTheThemeFolderAreTakenAsWritten) {
  auto host = MakeHost();
  TButtonProducer* plain = host->Producer(u"plain");
  ASSERT_NE(plain, nullptr);
  EXPECT_NE(plain, host->Producer(u"aqua"));
  EXPECT_EQ(plain->Pieces(0)[0].PictureName, u"normal.png");
  EXPECT_EQ(host->Producer(u"aqua")->Pieces(0)[0].PictureName, u"Buttons\\aqua\\normal.png");
  EXPECT_EQ(host->Producer(u"aqua")->Pieces(1)[0].PictureName, u"hover.png");
  auto face = host->MakeFace(u"Button: plain:0:30:0:0:0");
  ASSERT_NE(face, nullptr);
  EXPECT_EQ(PixelOf(*face, 0, 0), PicturePixel(1, 0, 0));
}

TEST_F(ButtonHost, WithoutAquaThereIsNoFace) {
  auto empty = MakeRef<TMemorySource>();
  TFileAccessor emptyAccessor(empty);
  TButtonProducerHost host(&emptyAccessor, u"Buttons\\", bank.Request(), {});
  EXPECT_EQ(host.Producer(u"silver"), nullptr);
  EXPECT_EQ(host.MakeFace(u"Button: silver:0:30:0:0:0"), nullptr);
  TButtonProducerHost noAccessor(nullptr, u"Buttons\\", bank.Request(), {});
  EXPECT_EQ(noAccessor.Producer(u"aqua"), nullptr);
}

TEST_F(ButtonHost, ThreadsAskingAtOnceShareOneLoad) {
  auto host = MakeHost();
  std::vector<std::thread> threads;
  std::vector<TButtonProducer*> found(8, nullptr);
  for (size_t i = 0; i < found.size(); ++i)
    threads.emplace_back([&host, &found, i] { found[i] = host->Producer(i % 2 ? u"silver" : u"aqua"); });
  for (auto& thread : threads) thread.join();
  ASSERT_NE(found[0], nullptr);
  for (TButtonProducer* producer : found) EXPECT_EQ(producer, found[0]);
  EXPECT_EQ(source->Opens(u"Buttons\\aqua\\btn.ini"), 1);
  EXPECT_EQ(source->Opens(u"Buttons\\silver\\btn.ini"), 1);
}

}  // namespace
}  // namespace zel
