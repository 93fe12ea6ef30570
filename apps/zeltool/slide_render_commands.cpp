// render-slide: one slide of a show drawn once through the object drawer on
// the offscreen device, as the player would draw it at a show time.
#include <cstdio>
#include <cstdlib>

#include "core/streams.h"
#include "imaging/bitmap.h"
#include "imaging/image_lib_store.h"
#include "imaging/pixel_format.h"
#include "render/draw_device.h"
#include "render/drawer_3d.h"
#include "render/engine_3d.h"
#include "show/object_kinds.h"
#include "show/zel_slide.h"
#include "tool.h"

namespace zel::tool {

namespace {

constexpr const char* kName = "render-slide";

// The frame: black, then the slide.
class TSlideFrame : public TDrawItem {
 public:
  explicit TSlideFrame(TZelSlide& slide) : fSlide(slide) {}
  void Draw(TDeviceDrawer& drawer) override {
    drawer.Clear(0xFF000000, true);
    drawer.Draw(fSlide);
  }

 private:
  TZelSlide& fSlide;
};

// NAME LEVEL WIDTH HEIGHT for every picture object with a picture, depth
// first in project order: the level it is drawn from and the size of the
// picture decoded at that level.
void PrintPictures(const TZelObject& object) {
  if (const auto* image = dynamic_cast<const TZelImage*>(&object); image && image->Picture()) {
    TImage& picture = *image->Picture();
    const TBitmap* level = picture.GetMipLevel(image->Level());
    std::printf("%s %d %d %d\n", WordText(image->LoadedName()).c_str(), image->Level(), level ? level->Width() : 0,
                level ? level->Height() : 0);
  }
  for (const TZelObject* child : object.Children()) PrintPictures(*child);
}

int SaveFrame(const TBitmap& frame, const std::string& path) {
  std::unique_ptr<TFileStream> out;
  try {
    out = TFileStream::CreateWrite(path);
  } catch (const EFileError&) {
    return Fail(kName, "cannot write " + path);
  }
  SavePng(frame, *out);
  return 0;
}

}  // namespace

int RunRenderSlide(TArguments arguments) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  TToolSlide slide;
  if (const int code = OpenToolSlide(arguments, kName, 3, slide)) return code;
  if (slide.width > 8192 || slide.height > 8192) return Fail(kName, "the frame is larger than 8192 pixels");
  try {
    T3DEngineScope engineScope;
    auto window = TDeviceWindow::Create(slide.width, slide.height, false, "zeltool render-slide");
    if (!window) return Fail(kName, "cannot open a device window");
    TDirectBitmap frame(slide.width, slide.height, FormatA8R8G8B8());
    bool copied = false;
    {
      T3DDrawer drawer;
      drawer.Init(&window->Device());
      drawer.SetFrameNotification([&](TDeviceDrawer& d, TDrawItem*, TFrameStage stage) {
        if (stage == TFrameStage::FrameEnd) copied = d.CopyScreen(frame);
      });
      slide.slide->PreparePictures(drawer);
      TSlideFrame root(*slide.slide);
      drawer.Draw(root);
      slide.slide->ReleaseResources(drawer);
    }
    if (!copied) return Fail(kName, "the device cannot draw");
    if (const int code = SaveFrame(frame, slide.positionals[2])) return code;
    PrintPictures(*slide.slide);
    return 0;
  } catch (const std::exception& e) {
    return Fail(kName, e.what());
  }
}

}  // namespace zel::tool
