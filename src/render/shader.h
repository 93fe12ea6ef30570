// A shader as the system keeps it: its source, kept to make the device
// shader again whenever the screen becomes ready.
#pragma once

#include <memory>
#include <string>

#include "core/obj.h"
#include "render/device_3d.h"
#include "render/screen.h"

namespace zel {

class TShader : public TObj, public TScreenResource {
 public:
  // The screen must be given (a programming error otherwise). The device
  // shader is made at once when the screen is ready.
  TShader(T3DScreen* screen, std::string code, bool vertex);
  ~TShader() override;

  // Makes the device shader from the code (again).
  void CreateDevice();
  void Release();

  T3DShader* DeviceShader() const { return fDevice.get(); }
  const std::string& Code() const { return fCode; }
  bool IsVertex() const { return fVertex; }

  void ReleaseDevice() override { Release(); }
  void ScreenGone() override;

 private:
  T3DScreen* fScreen;
  std::string fCode;
  bool fVertex;
  std::unique_ptr<T3DShader> fDevice;
};

}  // namespace zel
