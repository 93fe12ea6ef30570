#include "player/draw_controller.h"

#include "core/log.h"
#include "render/draw_device.h"
#include "render/drawer_3d.h"
#include "render/screen.h"

namespace zel {

TDeviceKilledMessenger2::~TDeviceKilledMessenger2() {
  if (fController) fController->DeviceGone();
}

TZelDrawController::TZelDrawController(TDrawDevice* device, std::unique_ptr<TDeviceDrawer> drawer)
    : fDevice(device), fDrawer(std::move(drawer)) {
  if (fDevice) {
    fMessenger = new TDeviceKilledMessenger2(this);
    fDevice->AddListener(fMessenger);
  }
}

TZelDrawController::~TZelDrawController() {
  fDrawer.reset();
  if (fDevice && fMessenger && fDevice->RemoveListener(fMessenger)) {
    fMessenger->Detach();
    delete fMessenger;
  }
}

TDeviceDrawer& TZelDrawController::Drawer() {
  if (!fDrawer) {
    auto drawer = std::make_unique<T3DDrawer>();
    drawer->Init(fDevice);
    drawer->Screen().OnRelease = [this] { MarkLost(); };
    fDrawer = std::move(drawer);
  }
  return *fDrawer;
}

void TZelDrawController::MarkLost() {
  Log().Write("TZelDrawController.RndLost");
  fLost.store(true);
  fLostUntilReady.store(true);
}

void TZelDrawController::DeviceRefresh() {
  Log().Write("TZelDrawController.DeviceRefresh: DrawDevice Refresh!");
  fRefreshed.store(true);
}

bool TZelDrawController::WindowMoved() const {
  auto* drawer = dynamic_cast<T3DDrawer*>(fDrawer.get());
  if (!drawer || !fDevice || !drawer->Screen().IsReady()) return false;
  return drawer->Screen().Bounds() != fDevice->Bounds();
}

uint32_t TZelDrawController::State() {
  uint32_t state = 0;
  if (fDrawer && fDrawer->IsReady()) {
    state |= static_cast<uint32_t>(TDrawState::Ready);
    if (fLostUntilReady.exchange(false)) Log().Write("TZelDrawController.GetState: Inited, not Reinited");
  }
  if (fLost.exchange(false)) state |= static_cast<uint32_t>(TDrawState::Lost);
  if (fRefreshed.exchange(false) || WindowMoved()) state |= static_cast<uint32_t>(TDrawState::Redraw);
  if (!fDevice || fDevice->IsActive()) state |= static_cast<uint32_t>(TDrawState::Active);
  return state;
}

}  // namespace zel
