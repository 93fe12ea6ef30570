// Button faces built from a theme: nine pieces per state (corners, edges
// and centre) cut from the theme's pictures and laid out for any face width,
// optionally shifted in hue, saturation and lightness. Faces are asked for
// by a "Button: " name that carries every parameter, so that the picture
// cache shares equal faces.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "core/obj.h"
#include "core/streams.h"
#include "core/strings.h"
#include "imaging/bitmap_store.h"
#include "imaging/color.h"
#include "imaging/picture_request.h"

namespace zel {

class TFileAccessor;
class TIniSection;

struct TButtonFaceRequest {
  TString Theme;
  int32_t State = 0, Width = 0, Hue = 0, Saturation = 0, Lightness = 0;
  bool operator==(const TButtonFaceRequest&) const = default;
};

inline constexpr char16_t kButtonPrefix[] = u"Button: ";

// "Button: " theme ":" state ":" width ":" hue ":" saturation ":" lightness.
TString BuildButtonFaceName(const TButtonFaceRequest& request);
// A theme name may itself hold ":": the last five fields are the numbers
// and everything before them is the theme. With fewer fields the first is
// the theme and the numbers missing are 0; fields that do not parse are 0.
TButtonFaceRequest ParseButtonFaceName(TStringView name);

// The text of an error face, rendered with the default font.
using TErrorFaceMaker = std::function<std::unique_ptr<TImage>(TStringView text)>;

enum class TButtonState : int32_t { Normal = 0, Hover = 1, Click = 2 };
inline constexpr int32_t kButtonStateCount = 3;

// The pieces of a state in the order the theme lists them.
enum class TButtonPieceKind : int32_t { LeftTop, Top, RightTop, Right, RightBottom, Bottom, LeftBottom, Left, Center };
inline constexpr int32_t kButtonPieceCount = 9;

// One piece: the picture it is cut from and its rectangle in that picture
// from (X, Y) to (Width, Height), exclusive. The rectangle is given in face
// coordinates: left and top pieces lie in the face where they lie in their
// picture, right and bottom pieces are moved so that their picture's right
// or bottom edge (Width or Height) meets the face's.
struct TButtonPiece {
  TString PictureName;
  int32_t X = 0, Y = 0, Width = 0, Height = 0;
  bool operator==(const TButtonPiece&) const = default;
};
using TButtonStatePieces = std::array<TButtonPiece, kButtonPieceCount>;

// How faces are filtered when they are drawn scaled.
enum class TButtonFiltering : uint8_t { Nearest = 0, Bilinear = 1, Default = 2 };

class TButtonProducer : public TObj {
 public:
  // Reads a theme document (sections "NormalState", "HoverState",
  // "ClickState" and "TextParams"). True when the theme can make faces:
  // the document was read and its pieces give a face height.
  bool LoadTheme(TStream& stream, const TString& name);
  // The same from the document's text.
  bool LoadTheme(std::string_view utf8Text, const TString& name);

  // Rewrites every piece's picture name (the host points them into the
  // theme's folder); the mapping is asked once per distinct name.
  void ResolvePictureNames(const std::function<TString(TStringView name)>& resolve);

  // The face of a state (0 normal, 1 hover, 2 click; others count as 0) at
  // the width, named by the face name of this theme. Null when the theme is
  // not ready or the size is refused. Safe to call from several threads
  // once the theme is loaded.
  std::unique_ptr<TImage> Face(int32_t state, int32_t width, int32_t lightness, int32_t saturation, int32_t hue);
  // The same under a given name (a theme standing in for another one still
  // names the face as it was asked for).
  std::unique_ptr<TImage> Face(int32_t state, int32_t width, int32_t lightness, int32_t saturation, int32_t hue,
                               const TString& faceName);

  void SetPictureRequest(TPictureRequest request) { fPictures = std::move(request); }
  void SetErrorFaceMaker(TErrorFaceMaker maker) { fErrorFaces = std::move(maker); }

  const TString& ThemeName() const { return fThemeName; }
  const TButtonStatePieces& Pieces(int32_t state) const { return fPieces[StateIndex(state)]; }
  TColor CaptionColor() const { return fCaptionColor; }  // 0x00RRGGBB
  double ButtonOffset() const { return fButtonOffset; }  // percent of the face height
  double MinWidth() const { return fMinWidth; }          // percent of the face height
  TButtonFiltering Filtering() const { return fFiltering; }
  int32_t FaceHeight() const { return fFaceHeight; }
  bool Ready() const { return fReady; }

 private:
  static size_t StateIndex(int32_t state);
  void Reset(const TString& name);
  void ReadState(const TIniSection* section, TButtonStatePieces& pieces);
  void ReadTextParams(const TIniSection* section);
  void ComputeFaceHeight();
  std::unique_ptr<TImage> ErrorFace(TStringView text, const TString& faceName) const;
  std::unique_ptr<TBitmap> BuildFace(const TButtonStatePieces& pieces, int32_t width, TString& failedPicture) const;

  TString fThemeName;
  std::array<TButtonStatePieces, kButtonStateCount> fPieces;
  TColor fCaptionColor = 0;
  double fButtonOffset = 0;
  double fMinWidth = 0;
  TButtonFiltering fFiltering = TButtonFiltering::Default;
  int32_t fFaceHeight = 0;
  bool fReady = false;
  TPictureRequest fPictures;
  TErrorFaceMaker fErrorFaces;
};

// The theme producers of one show, each loaded at its first request.
class TButtonProducerHost : public TObj {
 public:
  // The accessor is not owned; pathToButtons is the show's folder of themes
  // (with its trailing "\").
  TButtonProducerHost(TFileAccessor* accessor, TString pathToButtons, TPictureRequest pictures,
                      TErrorFaceMaker errors);
  ~TButtonProducerHost() override;

  // The producer of a theme, read from pathToButtons + theme + "\btn.ini";
  // when that entry is missing, the "aqua" theme's; null when neither
  // exists. A piece's picture is looked for in the theme's folder first
  // (pathToButtons + theme + "\" + name) and taken as written when it is
  // not there. Safe to call from several threads.
  TButtonProducer* Producer(const TString& theme);
  // The face a "Button: " name asks for; null without a producer.
  std::unique_ptr<TImage> MakeFace(TStringView faceName);

 private:
  TButtonProducer* FindOrLoad(const TString& theme);
  std::unique_ptr<TButtonProducer> Load(const TString& theme);
  bool EntryExists(const TString& name);

  TFileAccessor* fAccessor;
  TString fPathToButtons;
  TPictureRequest fPictures;
  TErrorFaceMaker fErrors;
  std::mutex fLock;
  std::vector<std::unique_ptr<TButtonProducer>> fLoaded;
  // Every theme asked for, with the producer that serves it (its own, the
  // fallback's, or null).
  std::map<TString, TButtonProducer*> fByTheme;
};

// Shifts every pixel of a 32-bit "A8R8G8B8" bitmap in hue (degrees),
// saturation and lightness (percent); the alpha stays.
void ShiftHsl(TBitmap& bitmap, int32_t hue, int32_t saturation, int32_t lightness);

}  // namespace zel
