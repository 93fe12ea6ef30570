// What the drawer needs of a transition between two slides. The transition
// catalogue implements it; the drawer only decides, from the transition's
// time, whether the outgoing slide, the effect or the incoming slide is
// drawn.
#pragma once

namespace zel {

class TDeviceDrawer;
class TDrawItem;

class TDrawTransition {
 public:
  virtual ~TDrawTransition() = default;
  // False when the parameters describe no effect: the outgoing slide alone
  // is drawn.
  virtual bool IsEffect() const = 0;
  // Makes the effect object for this drawer when there is none yet (the
  // outgoing slide is the one it is made with) and sets its time.
  virtual void Prepare(TDeviceDrawer& drawer, TDrawItem* slideA) = 0;
  // Milliseconds since the incoming slide began, and the effect's length.
  virtual double Time() const = 0;
  virtual double Duration() const = 0;
  // Draws both slides through the effect; called while the time lies in
  // [0, duration).
  virtual void DrawEffect(TDeviceDrawer& drawer, TDrawItem* slideA, TDrawItem* slideB) = 0;
  // Called after every frame the transition was part of, also when drawing
  // failed.
  virtual void AfterDraw(TDeviceDrawer& drawer) { (void)drawer; }
};

// A transition's effect as made for one drawer by the transition catalogue.
class TTransitionEffect {
 public:
  virtual ~TTransitionEffect() = default;
  // Milliseconds since the incoming slide began, kept within 0 .. duration.
  virtual void SetTime(double time) = 0;
  // Draws the outgoing slide A and the incoming slide B through the effect.
  virtual void Draw(TDeviceDrawer& drawer, TDrawItem* slideA, TDrawItem* slideB) = 0;
  // Called after every frame the effect drew in, also when drawing failed.
  virtual void AfterDraw(TDeviceDrawer& drawer) { (void)drawer; }
};

}  // namespace zel
