// Slides for the transition tests that draw nothing but write their name
// into a shared list, so a test sees which slides were drawn in what order.
#pragma once

#include <vector>

#include "draw/device_drawer.h"
#include "draw/draw_item.h"

namespace zel::testing_support {

class TRecordingSlide : public TDrawItem {
 public:
  TRecordingSlide(std::vector<char>& drawn, char name) : fDrawn(drawn), fName(name) {}
  void Draw(TDeviceDrawer&) override { fDrawn.push_back(fName); }

 private:
  std::vector<char>& fDrawn;
  char fName;
};

}  // namespace zel::testing_support
