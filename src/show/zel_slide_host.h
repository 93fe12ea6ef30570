// What the objects of a show share: the viewer's eye position and camera,
// the optional hit filter, the show they belong to and the pictures they
// ask for by name.
#pragma once

#include <functional>
#include <memory>

#include "draw/geometry.h"
#include "show/zel_object.h"

namespace zel {

class TButtonProducer;
class TImage;
class TSlidePictureMaker;
class TVectorText;
class TZelSource;

class TZelSlideHost : public TObj {
 public:
  explicit TZelSlideHost(TZelSource* source = nullptr);
  ~TZelSlideHost() override;

  // Null when the host was made without a show.
  TZelSource* Source() const noexcept { return fSource; }

  // The screen area the show is drawn in. The viewer's eye sits in front
  // of its centre at a distance of its height.
  void SetViewBounds(double width, double height) noexcept {
    fViewWidth = width;
    fViewHeight = height;
  }
  double ViewWidth() const noexcept { return fViewWidth; }
  double ViewHeight() const noexcept { return fViewHeight; }

  virtual T3DVector EyePosition() const { return {fViewWidth / 2, fViewHeight / 2, -fViewHeight}; }
  // The ray from the eye through a screen point (on the plane z = 0).
  virtual TCameraRay RayThrough(double x, double y) const {
    const T3DVector eye = EyePosition();
    return {eye, T3DVector{x, y, 0} - eye};
  }

  // The picture a name stands for: a file of the show, or one made for
  // the name ("Text: ", "Mask: ", ...); none when the name gives none.
  // The show area's size is the view size.
  virtual std::unique_ptr<TImage> RequestPicture(TStringView name);
  // The vector text a "Text: " name renders (the show's cached text when
  // it has one), for measuring; null when no font gives one.
  virtual std::unique_ptr<TVectorText> OpenVectorText(TStringView textPictureName);
  // The producer of a button theme's faces: the theme's, else the "aqua"
  // theme's, else null. It lives as long as the host.
  virtual TButtonProducer* ButtonProducer(const TString& theme);

  // Lets objects with a flat frame take part in hit testing.
  const TZelObject::THitFilter& HitFilter() const noexcept { return fHitFilter; }
  void SetHitFilter(TZelObject::THitFilter filter) { fHitFilter = std::move(filter); }

 private:
  TZelSource* fSource;
  double fViewWidth = 800, fViewHeight = 600;
  TZelObject::THitFilter fHitFilter;
  TSlidePictureMaker& Pictures();

  std::unique_ptr<TSlidePictureMaker> fPictures;  // made at the first request
};

}  // namespace zel
