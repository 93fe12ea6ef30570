#include "render/shader.h"

namespace zel {

TShader::TShader(T3DScreen* screen, std::string code, bool vertex)
    : fScreen(screen), fCode(std::move(code)), fVertex(vertex) {
  ZEL_ASSERT(screen != nullptr, "TShader: Screen=nil");
  if (fScreen->IsReady()) CreateDevice();
  fScreen->Register(this);
}

TShader::~TShader() {
  Release();
  if (fScreen) fScreen->Unregister(this);
}

void TShader::CreateDevice() {
  Release();
  if (!fScreen || !fScreen->IsReady()) return;
  fDevice = fScreen->Renderer()->CreateShader(fCode, fVertex);
  if (fDevice) fDevice->OnLost = [this] { Release(); };
}

void TShader::Release() { fDevice.reset(); }

void TShader::ScreenGone() { fScreen = nullptr; }

}  // namespace zel
