#include "textout/text_with_size.h"

#include <algorithm>
#include <cmath>

#include "imaging/image_loader.h"
#include "imaging/pixel_format.h"
#include "textout/simple_vector_text.h"
#include "textout/text_producer.h"

namespace zel {

namespace {

constexpr TColor kOuter = MakeColor(170, 170, 170);
constexpr TColor kInner = MakeColor(100, 100, 100);

}  // namespace

bool IsTextWithSizeName(TStringView name) {
  const TStringView prefix(kTextWithSizePrefix);
  return name.size() >= prefix.size() && name.substr(0, prefix.size()) == prefix;
}

TRef<TBitmapStore> MakeTextWithSizePicture(TStringView name) {
  if (!IsTextWithSizeName(name)) return nullptr;
  TStringView rest = name.substr(TStringView(kTextWithSizePrefix).size());
  const size_t first = rest.find(u':');
  const size_t second = first == TStringView::npos ? TStringView::npos : rest.find(u':', first + 1);
  if (second == TStringView::npos) return nullptr;
  const auto width = TryStrToInt(rest.substr(0, first));
  const auto height = TryStrToInt(rest.substr(first + 1, second - first - 1));
  if (!width || !height || *width <= 0 || *height <= 0 || !PictureSizeAllowed(*width, *height)) return nullptr;
  const int w = static_cast<int>(*width);
  const int h = static_cast<int>(*height);
  const TString text(rest.substr(second + 1));

  auto bitmap = CreateBitmap(w, h, PixelFormat("A8R8G8B8"));
  bitmap->Fill(bitmap->BoundsRect(), kOuter);
  const int inset = static_cast<int>(std::lround(h * 0.02));
  const TRect inner{inset, inset, w - inset, h - inset};
  bitmap->Fill(inner, kInner);

  if (!text.empty()) {
    TTextProducer producer;
    producer.SetVectorText(std::make_unique<TSimpleVectorText>(TFontParams{}, std::vector<TString>{text}));
    const TPoint natural = TTextProducer::TextSize(*producer.VectorText(), producer.LineSpacing);
    if (natural.X > 0 && natural.Y > 0) {
      const float scale = static_cast<float>(std::min(0.9 * w / natural.X, 0.2 * h / natural.Y));
      // Drawn over the inner colour, so the copy below needs no blending.
      const auto picture = producer.Produce(kOuter, kInner, scale);
      const TBitmap* glyphs = picture->GetMipLevel(0, PixelFormat("A8R8G8B8"));
      const int left = (w - glyphs->Width()) / 2;
      const int top = (h - glyphs->Height()) / 2;
      bitmap->Draw(TRect::FromSize(left, top, glyphs->Width(), glyphs->Height()).Intersect(inner), *glyphs, false,
                   {std::max(0, inner.Left - left), std::max(0, inner.Top - top)});
    }
  }
  return MakeRef<TWrapperBitmapStore>(TString(name), std::move(bitmap));
}

}  // namespace zel
