// The pictures a slide's objects ask for by name: files of the show and the
// pictures made for special names ("Text: ", "TextWithSize:", "Mask: ",
// "Shadow: ", "PresetedMask:", "Button: ", "SlideEffectBuffer0".."9").
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "core/obj.h"
#include "core/strings.h"
#include "imaging/bitmap.h"
#include "imaging/bitmap_store.h"
#include "package/file_accessor.h"

namespace zel {

class TButtonProducer;
class TButtonProducerHost;
class TMaskGenerator;
class TShadowGenerator;
class TTextPictureHost;
class TTextProducer;
class TVectorText;

// Makes the pictures slide objects ask for by name.
class TSlidePictureMaker : public TObj {
 public:
  // The accessor is not owned and may be null (then only generated names give pictures).
  explicit TSlidePictureMaker(TFileAccessor* accessor);
  ~TSlidePictureMaker() override;
  // The show area's size in pixels ("SlideEffectBuffer" pictures are this large).
  void SetShowArea(int32_t width, int32_t height);
  // The slide effect buffers: the bitmap of buffer `number`, or null when there is none.
  using TEffectBufferSource = std::function<TBitmap*(int number)>;
  void SetEffectBufferSource(TEffectBufferSource source);
  // The package folder of the button themes ("PathToButtons").
  void SetPathToButtons(TString path) { fPathToButtons = std::move(path); }
  // The picture for the name, or null when the name gives none.
  std::unique_ptr<TImage> Make(TStringView name);
  // The vector text behind a "Text: " name, for measuring.
  std::unique_ptr<TVectorText> OpenVectorText(TStringView textName);
  // A theme's face producer (see TButtonProducerHost).
  TButtonProducer* ButtonProducer(const TString& theme);

 private:
  std::unique_ptr<TImage> MakeByName(TStringView name);
  std::unique_ptr<TImage> MakeText(TStringView name);
  std::unique_ptr<TImage> MakeMask(TStringView name);
  std::unique_ptr<TImage> MakeEffectBufferPicture(TStringView name, int number);
  // Shadows, generated masks and button faces, shared through the picture
  // cache so that equal names make one picture.
  using TGeneratorMethod = std::unique_ptr<TImage> (TSlidePictureMaker::*)(TStringView name);
  // The maker of a generated name, or null for any other name.
  static TGeneratorMethod GeneratorFor(TStringView name);
  std::unique_ptr<TImage> MakeGenerated(TStringView name, TGeneratorMethod make);
  std::unique_ptr<TImage> MakeShadow(TStringView name);
  std::unique_ptr<TImage> MakePresetedMask(TStringView name);
  std::unique_ptr<TImage> MakeButtonFace(TStringView name);
  std::unique_ptr<TImage> MakeErrorFace(TStringView text);
  TButtonProducerHost& Buttons();

  TFileAccessor* fAccessor;
  int32_t fAreaWidth = 0;
  int32_t fAreaHeight = 0;
  TEffectBufferSource fEffectBuffers;
  // The text host (or, without an accessor, a bare producer) is made at the
  // first "Text: " name and used by one caller at a time.
  std::mutex fTextLock;
  std::unique_ptr<TTextPictureHost> fTextHost;
  std::unique_ptr<TTextProducer> fTextProducer;
  TString fPathToButtons;
  std::mutex fButtonsLock;
  std::unique_ptr<TButtonProducerHost> fButtons;
};

}  // namespace zel
