// Frames of a transition without a show: two generated slides, each its
// whole canvas in one colour, and the frame that draws the transition
// between them. The author's tool and the transition benchmark draw these.
#pragma once

#include "draw/device_drawer.h"
#include "draw/draw_item.h"
#include "draw/draw_transition.h"

namespace zel {

class TColourSlide : public TDrawItem {
 public:
  TColourSlide(TColor colour, int width, int height) : fColour(colour), fWidth(width), fHeight(height) {}
  void Draw(TDeviceDrawer& drawer) override {
    drawer.FillRect({0, 0}, {static_cast<float>(fWidth), static_cast<float>(fHeight)}, fColour);
  }

 private:
  TColor fColour;
  int fWidth, fHeight;
};

// Black, then the transition from A to B.
class TTransitionFrame : public TDrawItem {
 public:
  TTransitionFrame(TDrawItem& a, TDrawItem& b, TDrawTransition& transition) : fA(a), fB(b), fTransition(transition) {}
  void Draw(TDeviceDrawer& drawer) override {
    drawer.Clear(0xFF000000, true);
    drawer.DrawTransition(&fA, &fB, fTransition);
  }

 private:
  TDrawItem& fA;
  TDrawItem& fB;
  TDrawTransition& fTransition;
};

}  // namespace zel
