// What the engine draws with: the drawer on the viewer's render device, and
// the device's state as the engine polls it once per loop step.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "core/obj.h"
#include "draw/device_drawer.h"

namespace zel {

class TDrawDevice;
class TZelDrawController;

// The bits of the controller's state.
enum class TDrawState : uint32_t { Ready = 1, Lost = 2, Redraw = 4, Active = 8 };
constexpr bool HasState(uint32_t state, TDrawState bit) { return (state & static_cast<uint32_t>(bit)) != 0; }

// Sits in the device's listeners: when the device goes first, the
// controller forgets it.
class TDeviceKilledMessenger2 : public TObj {
 public:
  explicit TDeviceKilledMessenger2(TZelDrawController* controller) : fController(controller) {}
  ~TDeviceKilledMessenger2() override;
  void Detach() noexcept { fController = nullptr; }

 private:
  TZelDrawController* fController;
};

class TZelDrawController : public TObj {
 public:
  // device may be null (a drawer without a window, as tests use). The
  // drawer is the one given, or a T3DDrawer on the device made at first use.
  TZelDrawController(TDrawDevice* device, std::unique_ptr<TDeviceDrawer> drawer = nullptr);
  ~TZelDrawController() override;

  TDrawDevice* Device() const noexcept { return fDevice; }
  TDeviceDrawer& Drawer();
  bool HasDrawer() const noexcept { return fDrawer != nullptr; }
  // The calling thread gives the device up (before the engine thread takes
  // over, and when it ends).
  void LeaveThread() {
    if (fDrawer) fDrawer->LeaveThread();
  }

  // The state bits; reading them clears the lost and refreshed marks.
  uint32_t State();
  // The window changed: the next frame is drawn whatever else changed.
  void DeviceRefresh();
  // The screen released its renderer (a lost device).
  void MarkLost();

 private:
  friend class TDeviceKilledMessenger2;
  void DeviceGone() noexcept { fDevice = nullptr; }
  bool WindowMoved() const;

  TDrawDevice* fDevice;
  std::unique_ptr<TDeviceDrawer> fDrawer;
  TDeviceKilledMessenger2* fMessenger = nullptr;
  std::atomic<bool> fLost{false};
  std::atomic<bool> fLostUntilReady{false};
  std::atomic<bool> fRefreshed{false};
};

}  // namespace zel
