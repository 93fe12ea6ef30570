#include "show/slide_pictures.h"

#include <vector>

#include "core/exceptions.h"
#include "core/log.h"
#include "imaging/button_producer.h"
#include "imaging/image_loader.h"
#include "imaging/mask_generator.h"
#include "imaging/picture_loading.h"
#include "imaging/pixel_converter.h"
#include "imaging/pixel_format.h"
#include "imaging/shadow_generator.h"
#include "textout/text_host.h"
#include "textout/text_picture.h"
#include "textout/text_params.h"
#include "textout/text_producer.h"
#include "textout/simple_vector_text.h"
#include "textout/text_with_size.h"

namespace zel {

namespace {

constexpr TStringView kMaskPrefix = u"Mask: ";
constexpr TStringView kEffectBufferPrefix = u"SlideEffectBuffer";

// The brightness of a colour, with the usual weights of the eye's
// sensitivity to red, green and blue.
uint8_t Luminance(uint32_t argb) {
  return static_cast<uint8_t>((77 * RedOf(argb) + 150 * GreenOf(argb) + 29 * BlueOf(argb) + 128) >> 8);
}

// The 8-bit alpha mask of a bitmap. Formats with an alpha channel give it;
// grey formats count as alpha here, so a grey picture's levels become the
// mask as they are. Colour pictures without alpha (palettes are already
// mapped to colours by the decoders) give their brightness instead, so
// that a black-and-white drawing works as a mask too.
std::unique_ptr<TBitmap> MaskOf(const TBitmap& source, const TBitmapProgress& progress) {
  const int width = source.Width(), height = source.Height();
  std::unique_ptr<TBitmap> mask = CreateBitmap(width, height, FormatA8(), progress);
  if (source.Format()->HasAlpha()) {
    const TConvertOperator* toAlpha = GetConverter(source.Format(), FormatA8());
    for (int y = 0; y < height; ++y) toAlpha->ConvertRun(mask->ScanLine(y), source.ScanLine(y), width);
    return mask;
  }
  const TConvertOperator* toColour = GetConverter(source.Format(), FormatA8R8G8B8());
  std::vector<uint32_t> row(static_cast<size_t>(width));
  for (int y = 0; y < height; ++y) {
    toColour->ConvertRun(reinterpret_cast<uint8_t*>(row.data()), source.ScanLine(y), width);
    uint8_t* out = mask->ScanLine(y);
    for (int x = 0; x < width; ++x) out[x] = Luminance(row[static_cast<size_t>(x)]);
  }
  return mask;
}

// A mask over another picture: each level is made from the same level of
// the source when it is first asked for, so a mask shown small never
// converts the full-size picture. The store keeps the source alive.
class TMaskBitmapStore : public TSysBitmapStore {
 public:
  TMaskBitmapStore(TString name, std::unique_ptr<TImage> source)
      : TSysBitmapStore(std::move(name), source->Width(), source->Height(), FormatA8()), fSource(std::move(source)) {}

 protected:
  std::unique_ptr<TBitmap> ReadNativeLevel(int level) override {
    return MaskOf(*fSource->GetMipLevel(level), Progress());
  }

 private:
  std::unique_ptr<TImage> fSource;
};

// The source bitmap scaled to the size by picking the nearest pixel, as
// 32-bit colour with alpha.
std::unique_ptr<TBitmap> ScaleToSize(const TBitmap& source, int width, int height) {
  std::unique_ptr<TBitmap> result = CreateBitmap(width, height, FormatA8R8G8B8());
  const int sourceWidth = source.Width(), sourceHeight = source.Height();
  const TConvertOperator* toColour = GetConverter(source.Format(), FormatA8R8G8B8());
  std::vector<uint32_t> row(static_cast<size_t>(sourceWidth));
  int convertedRow = -1;
  for (int y = 0; y < height; ++y) {
    const int sourceY = static_cast<int>(static_cast<int64_t>(y) * sourceHeight / height);
    if (sourceY != convertedRow) {
      toColour->ConvertRun(reinterpret_cast<uint8_t*>(row.data()), source.ScanLine(sourceY), sourceWidth);
      convertedRow = sourceY;
    }
    auto* out = reinterpret_cast<uint32_t*>(result->ScanLine(y));
    for (int x = 0; x < width; ++x)
      out[x] = row[static_cast<size_t>(static_cast<int64_t>(x) * sourceWidth / width)];
  }
  return result;
}

std::unique_ptr<TImage> ImageOf(TRef<TBitmapStore> store) {
  if (!store) return nullptr;
  return std::make_unique<TImage>(std::move(store));
}

// The buffer number of a "SlideEffectBuffer" name (one digit), or -1.
int EffectBufferNumber(TStringView name) {
  if (name.size() != kEffectBufferPrefix.size() + 1 || !name.starts_with(kEffectBufferPrefix)) return -1;
  const char16_t digit = name.back();
  return digit >= u'0' && digit <= u'9' ? digit - u'0' : -1;
}

}  // namespace

TSlidePictureMaker::TSlidePictureMaker(TFileAccessor* accessor) : fAccessor(accessor) {}

TSlidePictureMaker::~TSlidePictureMaker() = default;

void TSlidePictureMaker::SetShowArea(int32_t width, int32_t height) {
  fAreaWidth = width;
  fAreaHeight = height;
}

void TSlidePictureMaker::SetEffectBufferSource(TEffectBufferSource source) { fEffectBuffers = std::move(source); }

std::unique_ptr<TImage> TSlidePictureMaker::Make(TStringView name) {
  if (name.empty()) return nullptr;
  try {
    return MakeByName(name);
  } catch (const EAbort&) {
    throw;  // a loading thread being stopped, not a broken picture
  } catch (const std::exception& e) {
    // A picture that cannot be made is left out of the slide.
    Log().Write("Picture " + StringToUtf8(name) + " not made: " + ExceptionClassName(e) + ": " + e.what());
    return nullptr;
  }
}

std::unique_ptr<TImage> TSlidePictureMaker::MakeByName(TStringView name) {
  if (IsTextPictureName(name)) return MakeText(name);
  if (IsTextWithSizeName(name)) return ImageOf(MakeTextWithSizePicture(name));
  if (name.starts_with(kMaskPrefix)) return MakeMask(name);
  if (const int number = EffectBufferNumber(name); number >= 0) return MakeEffectBufferPicture(name, number);
  // A generated name that gives nothing is never a file of the show.
  if (const TGeneratorMethod make = GeneratorFor(name)) return MakeGenerated(name, make);
  if (!fAccessor) return nullptr;
  return LoadAccessorPicture(*fAccessor, name);
}

std::unique_ptr<TImage> TSlidePictureMaker::MakeText(TStringView name) {
  std::lock_guard guard(fTextLock);
  if (fAccessor) {
    // The host takes the show's font cache owner key from the package, so
    // it is made only when a show really has texts.
    if (!fTextHost) fTextHost = std::make_unique<TTextPictureHost>(*fAccessor);
    return fTextHost->Produce(name);
  }
  // Without a show there are no cached texts: the installed fonts draw it.
  if (!fTextProducer) fTextProducer = std::make_unique<TTextProducer>();
  return ProduceTextPicture(*fTextProducer, name);
}

std::unique_ptr<TImage> TSlidePictureMaker::MakeMask(TStringView name) {
  // A mask of a mask is the same mask: the repeated prefixes go at once.
  TStringView sourceName = name;
  while (sourceName.starts_with(kMaskPrefix)) sourceName.remove_prefix(kMaskPrefix.size());
  std::unique_ptr<TImage> source = Make(sourceName);
  if (!source) return nullptr;
  return ImageOf(MakeRef<TMaskBitmapStore>(TString(name), std::move(source)));
}

std::unique_ptr<TImage> TSlidePictureMaker::MakeEffectBufferPicture(TStringView name, int number) {
  if (fAreaWidth <= 0 || fAreaHeight <= 0 || !PictureSizeAllowed(fAreaWidth, fAreaHeight)) return nullptr;
  const TBitmap* buffer = fEffectBuffers ? fEffectBuffers(number) : nullptr;
  std::unique_ptr<TBitmap> picture;
  if (buffer && buffer->Width() > 0 && buffer->Height() > 0) {
    picture = ScaleToSize(*buffer, fAreaWidth, fAreaHeight);
  } else {
    // No buffer yet: the effect sees a transparent picture of the right size.
    picture = CreateBitmap(fAreaWidth, fAreaHeight, FormatA8R8G8B8());
    picture->Fill(picture->BoundsRect(), MakeColor(0, 0, 0, 0));
  }
  return ImageOf(MakeRef<TWrapperBitmapStore>(TString(name), std::move(picture)));
}

TSlidePictureMaker::TGeneratorMethod TSlidePictureMaker::GeneratorFor(TStringView name) {
  if (name.starts_with(kShadowPrefix)) return &TSlidePictureMaker::MakeShadow;
  if (name.starts_with(kPresetedMaskPrefix)) return &TSlidePictureMaker::MakePresetedMask;
  if (name.starts_with(kButtonPrefix)) return &TSlidePictureMaker::MakeButtonFace;
  return nullptr;
}

std::unique_ptr<TImage> TSlidePictureMaker::MakeGenerated(TStringView name, TGeneratorMethod make) {
  const uint32_t serial = fAccessor ? fAccessor->Source().Serial() : 0;
  return CachedGeneratedPicture(name, serial, [&] { return (this->*make)(name); });
}

std::unique_ptr<TImage> TSlidePictureMaker::MakeShadow(TStringView name) {
  TShadowGenerator generator;
  return generator.Make(ParseShadowName(name), [this](TStringView source) { return Make(source); });
}

std::unique_ptr<TImage> TSlidePictureMaker::MakePresetedMask(TStringView name) {
  TMaskGenerator generator;
  return generator.Make(ParseMaskName(name), TString(name));
}

std::unique_ptr<TImage> TSlidePictureMaker::MakeButtonFace(TStringView name) { return Buttons().MakeFace(name); }

std::unique_ptr<TImage> TSlidePictureMaker::MakeErrorFace(TStringView text) {
  TTextParams params;
  params.FontName = u"Arial";
  params.Colour = MakeColor(0, 0, 0);
  return MakeText(BuildTextPictureName(params, {TString(text)}));
}

TButtonProducerHost& TSlidePictureMaker::Buttons() {
  std::lock_guard guard(fButtonsLock);
  if (!fButtons) {
    fButtons = std::make_unique<TButtonProducerHost>(
        fAccessor, fPathToButtons, [this](TStringView name) { return Make(name); },
        [this](TStringView text) { return MakeErrorFace(text); });
  }
  return *fButtons;
}

TButtonProducer* TSlidePictureMaker::ButtonProducer(const TString& theme) { return Buttons().Producer(theme); }

std::unique_ptr<TVectorText> TSlidePictureMaker::OpenVectorText(TStringView textName) {
  std::lock_guard guard(fTextLock);
  if (fAccessor) {
    if (!fTextHost) fTextHost = std::make_unique<TTextPictureHost>(*fAccessor);
    if (std::unique_ptr<TVectorText> text = fTextHost->OpenCachedText(CachedVectorTextKey(textName))) return text;
  }
  const TParsedTextName parsed = ParseTextPictureName(textName);
  TFontParams font;
  font.FontName = parsed.Params.FontName;
  font.Style = parsed.Params.Style;
  return std::make_unique<TSimpleVectorText>(font, parsed.Lines);
}

}  // namespace zel
