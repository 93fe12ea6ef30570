#include "imaging/button_producer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/exceptions.h"
#include "imaging/image_loader.h"
#include "imaging/pixel_format.h"
#include "ini/ini_document.h"
#include "ini/ini_parser.h"
#include "package/file_accessor.h"

namespace zel {

namespace {

constexpr size_t kButtonPrefixLength = std::size(kButtonPrefix) - 1;
constexpr int32_t kNumberFields = 5;  // state, width, hue, saturation, lightness
constexpr char16_t kFallbackTheme[] = u"aqua";
constexpr char16_t kThemeDocument[] = u"btn.ini";

constexpr const char16_t* kStateSections[kButtonStateCount] = {u"NormalState", u"HoverState", u"ClickState"};
constexpr const char16_t* kPieceKeys[kButtonPieceCount] = {u"LeftTop",    u"Top",        u"RightTop",
                                                           u"Right",      u"RightBottom", u"Bottom",
                                                           u"LeftBottom", u"Left",        u"Center"};

TStringView TrimBlanks(TStringView text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  return text;
}

int32_t NumberOrZero(TStringView text) {
  int32_t value;
  return IniTextToInt(TrimBlanks(text), value) ? value : 0;
}

int32_t NameNumber(TStringView field) {
  const auto value = TryStrToInt(field);
  return value && *value >= INT32_MIN && *value <= INT32_MAX ? static_cast<int32_t>(*value) : 0;
}

std::vector<TStringView> SplitColons(TStringView text) {
  std::vector<TStringView> fields;
  for (;;) {
    const size_t colon = text.find(u':');
    fields.push_back(text.substr(0, colon));
    if (colon == TStringView::npos) return fields;
    text.remove_prefix(colon + 1);
  }
}

// "picture name, x, y, width, height"; a missing or bad number is 0.
TButtonPiece ParsePiece(TStringView value) {
  const std::vector<TString> items = IniSplitList(value);
  TButtonPiece piece;
  const auto item = [&items](size_t i) { return i < items.size() ? TStringView(items[i]) : TStringView(); };
  piece.PictureName = TString(TrimBlanks(item(0)));
  piece.X = NumberOrZero(item(1));
  piece.Y = NumberOrZero(item(2));
  piece.Width = NumberOrZero(item(3));
  piece.Height = NumberOrZero(item(4));
  return piece;
}

const TButtonPiece& PieceOf(const TButtonStatePieces& pieces, TButtonPieceKind kind) {
  return pieces[static_cast<size_t>(kind)];
}

std::unique_ptr<TImage> WrapFace(const TString& name, std::unique_ptr<TBitmap> bitmap) {
  return std::make_unique<TImage>(MakeRef<TWrapperBitmapStore>(name, std::move(bitmap)));
}

// ---------------------------------------------------------------------------
// Laying the pieces out

uint32_t LoadPixel(const TBitmap& bitmap, int32_t x, int32_t y) {
  uint32_t pixel;
  std::memcpy(&pixel, bitmap.ScanLine(y) + static_cast<size_t>(x) * 4, 4);
  return pixel;
}

void StorePixel(TBitmap& bitmap, int32_t x, int32_t y, uint32_t pixel) {
  std::memcpy(bitmap.ScanLine(y) + static_cast<size_t>(x) * 4, &pixel, 4);
}

// The pictures of a face's pieces, each loaded once, as 32-bit bitmaps.
class TPiecePictures {
 public:
  // False (with the name) when a picture cannot be loaded.
  bool Load(const TButtonStatePieces& pieces, const TPictureRequest& request, TString& failed) {
    for (const TButtonPiece& piece : pieces) {
      if (piece.PictureName.empty() || fBitmaps.contains(piece.PictureName)) continue;
      std::unique_ptr<TImage> image = request(piece.PictureName);
      TBitmap* bitmap = image ? image->GetMipLevel(0, FormatA8R8G8B8()) : nullptr;
      if (!bitmap) {
        failed = piece.PictureName;
        return false;
      }
      fBitmaps.emplace(piece.PictureName, bitmap);
      fImages.push_back(std::move(image));
    }
    return true;
  }
  // Null for a piece without a picture.
  const TBitmap* Of(const TButtonPiece& piece) const {
    const auto found = fBitmaps.find(piece.PictureName);
    return found == fBitmaps.end() ? nullptr : found->second;
  }

 private:
  std::vector<std::unique_ptr<TImage>> fImages;  // keep the bitmaps alive
  std::map<TString, const TBitmap*> fBitmaps;
};

// Where a piece lands: face pixel (x + dx, y + dy) takes picture pixel (x, y).
struct TPlacement {
  int32_t Dx = 0, Dy = 0;
};

class TFaceLayout {
 public:
  TFaceLayout(TBitmap& face, const TButtonStatePieces& pieces, const TPiecePictures& pictures)
      : fFace(face), fPieces(pieces), fPictures(pictures), fW(face.Width()), fH(face.Height()) {
    fBandLeft = Piece(TButtonPieceKind::Left).Width;
    const TButtonPiece& right = Piece(TButtonPieceKind::Right);
    fBandRight = fW - (right.Width - right.X);
    fBandTop = Piece(TButtonPieceKind::Top).Height;
    const TButtonPiece& bottom = Piece(TButtonPieceKind::Bottom);
    fBandBottom = fH - (bottom.Height - bottom.Y);
  }

  // The stretched band first, so that the sides and then the corners lie
  // on top wherever a theme's pieces overlap.
  void Draw() {
    const TButtonPiece& top = Piece(TButtonPieceKind::Top);
    const TButtonPiece& bottom = Piece(TButtonPieceKind::Bottom);
    StretchColumn(TButtonPieceKind::Center, fBandTop, fBandBottom, 0);
    StretchColumn(TButtonPieceKind::Top, top.Y, top.Height, 0);
    const int32_t bottomShift = fH - bottom.Height;
    StretchColumn(TButtonPieceKind::Bottom, bottom.Y + bottomShift, bottom.Height + bottomShift, bottomShift);
    for (TButtonPieceKind kind : {TButtonPieceKind::Left, TButtonPieceKind::Right, TButtonPieceKind::LeftTop,
                                  TButtonPieceKind::RightTop, TButtonPieceKind::LeftBottom,
                                  TButtonPieceKind::RightBottom})
      CopyPiece(kind, PlacementOf(kind));
  }

 private:
  const TButtonPiece& Piece(TButtonPieceKind kind) const { return PieceOf(fPieces, kind); }

  // Left and top pieces stay where they are; right pieces move so that
  // their right edge meets the face's, bottom pieces likewise downwards.
  TPlacement PlacementOf(TButtonPieceKind kind) const {
    const TButtonPiece& piece = Piece(kind);
    const bool right = kind == TButtonPieceKind::Right || kind == TButtonPieceKind::RightTop ||
                       kind == TButtonPieceKind::RightBottom;
    const bool bottom = kind == TButtonPieceKind::LeftBottom || kind == TButtonPieceKind::RightBottom;
    return {right ? fW - piece.Width : 0, bottom ? fH - piece.Height : 0};
  }

  // Copies the piece's rectangle of its picture, clipped to the picture and
  // to the face.
  void CopyPiece(TButtonPieceKind kind, TPlacement at) {
    const TButtonPiece& piece = Piece(kind);
    const TBitmap* picture = fPictures.Of(piece);
    if (!picture) return;
    const int32_t x0 = std::max({piece.X, 0, -at.Dx});
    const int32_t x1 = std::min({piece.Width, picture->Width(), fW - at.Dx});
    const int32_t y0 = std::max({piece.Y, 0, -at.Dy});
    const int32_t y1 = std::min({piece.Height, picture->Height(), fH - at.Dy});
    if (x0 >= x1) return;
    for (int32_t y = y0; y < y1; ++y)
      std::memcpy(fFace.ScanLine(y + at.Dy) + static_cast<size_t>(x0 + at.Dx) * 4,
                  picture->ScanLine(y) + static_cast<size_t>(x0) * 4, static_cast<size_t>(x1 - x0) * 4);
  }

  // Fills face rows [faceTop, faceBottom) of the band's columns with the
  // piece's single column X; face row y takes picture row y - rowShift.
  void StretchColumn(TButtonPieceKind kind, int32_t faceTop, int32_t faceBottom, int32_t rowShift) {
    const TButtonPiece& piece = Piece(kind);
    const TBitmap* picture = fPictures.Of(piece);
    if (!picture || piece.X < 0 || piece.X >= picture->Width()) return;
    const int32_t x0 = std::max(fBandLeft, 0), x1 = std::min(fBandRight, fW);
    const int32_t y0 = std::max({faceTop, 0, rowShift}), y1 = std::min({faceBottom, fH, picture->Height() + rowShift});
    for (int32_t y = y0; y < y1; ++y) {
      const uint32_t pixel = LoadPixel(*picture, piece.X, y - rowShift);
      for (int32_t x = x0; x < x1; ++x) StorePixel(fFace, x, y, pixel);
    }
  }

  TBitmap& fFace;
  const TButtonStatePieces& fPieces;
  const TPiecePictures& fPictures;
  int32_t fW, fH;
  int32_t fBandLeft = 0, fBandRight = 0, fBandTop = 0, fBandBottom = 0;
};

// ---------------------------------------------------------------------------
// Hue, saturation and lightness on 0..255; the hue circle is 255 wide (42.5
// per sixth) but wraps at 256, so that a shift of 360 degrees gives the
// colour back.

struct THsl {
  double H, S, L;
};

constexpr double kHueSixth = 42.5;

THsl ToHsl(double r, double g, double b) {
  const double high = std::max({r, g, b}), low = std::min({r, g, b});
  const double l = (high + low) / 2;
  if (high == low) return {0, 0, l};
  const double d = high - low;
  const double s = 255 * (l < 127.5 ? d / (high + low) : d / (510 - high - low));
  double sixth;
  if (high == r)
    sixth = (g - b) / d + (g < b ? 6 : 0);
  else if (high == g)
    sixth = (b - r) / d + 2;
  else
    sixth = (r - g) / d + 4;
  return {sixth * kHueSixth, s, l};
}

uint32_t FromHsl(const THsl& hsl, uint32_t alpha) {
  double sixth = hsl.H / kHueSixth;
  if (sixth >= 6) sixth -= 6;
  const double s = hsl.S / 255, l = hsl.L / 255;
  const double chroma = (1 - std::fabs(2 * l - 1)) * s;
  const double second = chroma * (1 - std::fabs(std::fmod(sixth, 2.0) - 1));
  const double base = l - chroma / 2;
  double rgb[3] = {0, 0, 0};
  static constexpr int kChromaChannel[6] = {0, 1, 1, 2, 2, 0};
  static constexpr int kSecondChannel[6] = {1, 0, 2, 1, 0, 2};
  const int sector = std::clamp(static_cast<int>(sixth), 0, 5);
  rgb[kChromaChannel[sector]] = chroma;
  rgb[kSecondChannel[sector]] = second;
  const auto byte = [base](double v) {
    return static_cast<uint32_t>(std::clamp(std::lround((v + base) * 255), 0L, 255L));
  };
  return MakeColor(byte(rgb[0]), byte(rgb[1]), byte(rgb[2]), alpha);
}

}  // namespace

void ShiftHsl(TBitmap& bitmap, int32_t hue, int32_t saturation, int32_t lightness) {
  ZEL_ASSERT(bitmap.Format() == FormatA8R8G8B8(), "ShiftHsl - the bitmap must be A8R8G8B8");
  const double hueShift = hue * 256.0 / 360, saturationShift = saturation * 256.0 / 100,
               lightnessShift = lightness * 256.0 / 100;
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    for (int32_t x = 0; x < bitmap.Width(); ++x) {
      const uint32_t pixel = LoadPixel(bitmap, x, y);
      THsl hsl = ToHsl(RedOf(pixel), GreenOf(pixel), BlueOf(pixel));
      hsl.H = std::fmod(hsl.H + hueShift, 256.0);
      if (hsl.H < 0) hsl.H += 256;
      hsl.S = std::clamp(hsl.S + saturationShift, 0.0, 255.0);
      hsl.L = std::clamp(hsl.L + lightnessShift, 0.0, 255.0);
      StorePixel(bitmap, x, y, FromHsl(hsl, AlphaOf(pixel)));
    }
  }
}

// ---------------------------------------------------------------------------
// Face names

TString BuildButtonFaceName(const TButtonFaceRequest& request) {
  return TString(kButtonPrefix) + request.Theme + u":" + IntToStr(request.State) + u":" + IntToStr(request.Width) +
         u":" + IntToStr(request.Hue) + u":" + IntToStr(request.Saturation) + u":" + IntToStr(request.Lightness);
}

TButtonFaceRequest ParseButtonFaceName(TStringView name) {
  if (name.starts_with(kButtonPrefix)) name.remove_prefix(kButtonPrefixLength);
  const std::vector<TStringView> fields = SplitColons(name);
  // The theme is everything before the numbers; a short name keeps its
  // first field as the theme and lacks numbers at the end.
  const size_t themeFields = fields.size() > kNumberFields ? fields.size() - kNumberFields : 1;
  TButtonFaceRequest request;
  const size_t themeEnd = static_cast<size_t>(fields[themeFields - 1].data() + fields[themeFields - 1].size() -
                                              name.data());
  request.Theme = TString(name.substr(0, themeEnd));
  int32_t* numbers[kNumberFields] = {&request.State, &request.Width, &request.Hue, &request.Saturation,
                                     &request.Lightness};
  for (size_t i = 0; i < kNumberFields && themeFields + i < fields.size(); ++i)
    *numbers[i] = NameNumber(fields[themeFields + i]);
  return request;
}

// ---------------------------------------------------------------------------
// TButtonProducer

size_t TButtonProducer::StateIndex(int32_t state) {
  return state >= 0 && state < kButtonStateCount ? static_cast<size_t>(state) : 0;
}

void TButtonProducer::Reset(const TString& name) {
  fThemeName = name;
  fPieces = {};
  fCaptionColor = 0;
  fButtonOffset = 0;
  fMinWidth = 0;
  fFiltering = TButtonFiltering::Default;
  fFaceHeight = 0;
  fReady = false;
}

bool TButtonProducer::LoadTheme(TStream& stream, const TString& name) {
  Reset(name);
  TIniStorage document;
  try {
    IniParseStream(document, stream);
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception&) {
    return false;
  }
  for (int32_t state = 0; state < kButtonStateCount; ++state)
    ReadState(document.FindSection(kStateSections[state]), fPieces[static_cast<size_t>(state)]);
  ReadTextParams(document.FindSection(u"TextParams"));
  ComputeFaceHeight();
  fReady = fFaceHeight > 0;
  return fReady;
}

bool TButtonProducer::LoadTheme(std::string_view utf8Text, const TString& name) {
  TMemoryStream stream;
  static constexpr uint8_t kUtf8Mark[] = {0xEF, 0xBB, 0xBF};
  stream.Write(std::span<const uint8_t>(kUtf8Mark));
  stream.Write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(utf8Text.data()), utf8Text.size()));
  stream.SetPosition(0);
  return LoadTheme(stream, name);
}

void TButtonProducer::ReadState(const TIniSection* section, TButtonStatePieces& pieces) {
  for (size_t i = 0; i < kButtonPieceCount; ++i)
    pieces[i] = section ? ParsePiece(section->ReadString(kPieceKeys[i], u"")) : TButtonPiece{};
}

void TButtonProducer::ReadTextParams(const TIniSection* section) {
  if (!section) return;
  static const TString kFilteringWords[] = {u"Nearest", u"Bilinear", u"Default"};
  fCaptionColor = section->ReadColor(u"Color", 0);
  fButtonOffset = section->ReadFloat(u"BtnOffset", 0);
  fMinWidth = section->ReadFloat(u"BtnMinWidth", 0);
  fFiltering = static_cast<TButtonFiltering>(
      section->ReadIndexFolded(u"Filtering", kFilteringWords, static_cast<int32_t>(TButtonFiltering::Default)));
}

// Every piece lies in face coordinates, so the face reaches down to the
// lowest piece edge. The three states share that height (the largest over
// all of them), so that a button keeps its size whatever its state.
void TButtonProducer::ComputeFaceHeight() {
  fFaceHeight = 0;
  for (const TButtonStatePieces& pieces : fPieces)
    for (const TButtonPiece& piece : pieces)
      if (!piece.PictureName.empty()) fFaceHeight = std::max(fFaceHeight, piece.Height);
}

void TButtonProducer::ResolvePictureNames(const std::function<TString(TStringView name)>& resolve) {
  std::map<TString, TString> resolved;
  for (TButtonStatePieces& pieces : fPieces)
    for (TButtonPiece& piece : pieces) {
      if (piece.PictureName.empty()) continue;
      auto found = resolved.find(piece.PictureName);
      if (found == resolved.end()) found = resolved.emplace(piece.PictureName, resolve(piece.PictureName)).first;
      piece.PictureName = found->second;
    }
}

std::unique_ptr<TImage> TButtonProducer::Face(int32_t state, int32_t width, int32_t lightness, int32_t saturation,
                                              int32_t hue) {
  return Face(state, width, lightness, saturation, hue,
              BuildButtonFaceName({fThemeName, state, width, hue, saturation, lightness}));
}

std::unique_ptr<TImage> TButtonProducer::Face(int32_t state, int32_t width, int32_t lightness, int32_t saturation,
                                              int32_t hue, const TString& faceName) {
  if (!fReady || !PictureSizeAllowed(width, fFaceHeight)) return nullptr;
  if (!fPictures) return ErrorFace(u"FileOpenError", faceName);
  TString failed;
  std::unique_ptr<TBitmap> face = BuildFace(fPieces[StateIndex(state)], width, failed);
  if (!face) return ErrorFace(u"Incorrect Image: " + failed, faceName);
  if (hue != 0 || saturation != 0 || lightness != 0) ShiftHsl(*face, hue, saturation, lightness);
  return WrapFace(faceName, std::move(face));
}

std::unique_ptr<TBitmap> TButtonProducer::BuildFace(const TButtonStatePieces& pieces, int32_t width,
                                                    TString& failedPicture) const {
  TPiecePictures pictures;
  if (!pictures.Load(pieces, fPictures, failedPicture)) return nullptr;
  std::unique_ptr<TBitmap> face = CreateBitmap(width, fFaceHeight, FormatA8R8G8B8());
  face->Fill(face->BoundsRect(), MakeColor(0, 0, 0, 0));
  TFaceLayout(*face, pieces, pictures).Draw();
  return face;
}

// The maker's picture under the face's name, so that the cache finds it
// where it asked.
std::unique_ptr<TImage> TButtonProducer::ErrorFace(TStringView text, const TString& faceName) const {
  if (!fErrorFaces) return nullptr;
  std::unique_ptr<TImage> made = fErrorFaces(text);
  TBitmap* bitmap = made ? made->GetMipLevel(0) : nullptr;
  return bitmap ? WrapFace(faceName, bitmap->Clone()) : nullptr;
}

// ---------------------------------------------------------------------------
// TButtonProducerHost

TButtonProducerHost::TButtonProducerHost(TFileAccessor* accessor, TString pathToButtons, TPictureRequest pictures,
                                         TErrorFaceMaker errors)
    : fAccessor(accessor),
      fPathToButtons(std::move(pathToButtons)),
      fPictures(std::move(pictures)),
      fErrors(std::move(errors)) {}

TButtonProducerHost::~TButtonProducerHost() = default;

TButtonProducer* TButtonProducerHost::Producer(const TString& theme) {
  std::lock_guard lock(fLock);
  return FindOrLoad(theme);
}

TButtonProducer* TButtonProducerHost::FindOrLoad(const TString& theme) {
  if (const auto found = fByTheme.find(theme); found != fByTheme.end()) return found->second;
  TButtonProducer* producer = nullptr;
  if (std::unique_ptr<TButtonProducer> loaded = Load(theme)) {
    producer = loaded.get();
    fLoaded.push_back(std::move(loaded));
  } else if (theme != kFallbackTheme) {
    producer = FindOrLoad(kFallbackTheme);
  }
  fByTheme.emplace(theme, producer);
  return producer;
}

std::unique_ptr<TButtonProducer> TButtonProducerHost::Load(const TString& theme) {
  if (!fAccessor) return nullptr;
  const TString folder = fPathToButtons + theme + u"\\";
  std::unique_ptr<TStream> stream = fAccessor->OpenStream(folder + kThemeDocument);
  if (!stream) return nullptr;
  auto producer = std::make_unique<TButtonProducer>();
  producer->SetPictureRequest(fPictures);
  producer->SetErrorFaceMaker(fErrors);
  // A theme whose document does not read stays without faces; it is still
  // the theme asked for, so it does not fall back.
  producer->LoadTheme(*stream, theme);
  producer->ResolvePictureNames([this, &folder](TStringView name) {
    TString inFolder = folder + TString(name);
    return EntryExists(inFolder) ? inFolder : TString(name);
  });
  return producer;
}

bool TButtonProducerHost::EntryExists(const TString& name) { return fAccessor->OpenStream(name) != nullptr; }

std::unique_ptr<TImage> TButtonProducerHost::MakeFace(TStringView faceName) {
  const TButtonFaceRequest request = ParseButtonFaceName(faceName);
  TButtonProducer* producer = Producer(request.Theme);
  if (!producer) return nullptr;
  return producer->Face(request.State, request.Width, request.Lightness, request.Saturation, request.Hue,
                        TString(faceName));
}

}  // namespace zel
