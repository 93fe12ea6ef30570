#include "show/slide_click.h"

#include "show/object_kinds.h"
#include "show/zel_object.h"

namespace zel {

namespace {

bool ChangesLook(const TZelObject& object) {
  return dynamic_cast<const TZelText*>(&object) || dynamic_cast<const TZelButton*>(&object);
}

template <typename TVisit>
void ForEachObject(TZelObject& root, const TVisit& visit) {
  for (TZelObject* child : root.Children()) {
    visit(*child);
    ForEachObject(*child, visit);
  }
}

void ResetLooks(TZelObject& slide) {
  ForEachObject(slide, [](TZelObject& object) {
    if (ChangesLook(object) && object.ClickLook() != TClickLook::Normal) object.SetClickLook(TClickLook::Normal);
  });
}

void ClearPressedMarks(TZelObject& slide) {
  ForEachObject(slide, [](TZelObject& object) { object.SetPressedMark(false); });
}

}  // namespace

TClickResult ClickOnSlide(TZelObject& slide, const TClickInput& input, bool actionsAllowed) {
  ResetLooks(slide);
  TClickResult result;
  const bool release = input.event == TClickEvent::Up;
  if (!actionsAllowed || (input.buttonsHeld & kOtherButtonsHeld) != 0) {
    if (release) ClearPressedMarks(slide);
    return result;
  }
  TZelObject* hit =
      slide.HitTest(input.x, input.y, [](const TZelObject& object) { return !object.TransparentForClick(); });
  result.hit = hit;
  if (!hit) {
    if (release) ClearPressedMarks(slide);
    return result;
  }
  const TZelActionInfo action = ParseAction(hit->Action());
  const bool looks = ChangesLook(*hit) && !action.Empty();
  const bool mainButton = input.button == kMainButton;
  switch (input.event) {
    case TClickEvent::Move:
      if (looks) {
        hit->SetClickLook((input.buttonsHeld & kMainButtonHeld) != 0 ? TClickLook::Pressed : TClickLook::Hover);
      }
      break;
    case TClickEvent::Down:
      if (!mainButton) break;
      if (looks) hit->SetClickLook(TClickLook::Pressed);
      hit->SetPressedMark(true);
      break;
    case TClickEvent::Up:
      if (mainButton) {
        if (looks) hit->SetClickLook(TClickLook::Hover);
        if (hit->PressedMark()) {
          result.carriedOut = true;
          result.actionText = hit->Action();
          result.action = action;
        }
      }
      ClearPressedMarks(slide);
      break;
  }
  return result;
}

void ResetClickState(TZelObject& slide) {
  ResetLooks(slide);
  ClearPressedMarks(slide);
}

}  // namespace zel
