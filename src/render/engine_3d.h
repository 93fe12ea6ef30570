// The engine: knows the adapters (monitors) and their capabilities and
// opens renderers on draw devices. One per process, made on first use.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/sync.h"
#include "imaging/geometry.h"
#include "render/renderer_3d.h"

namespace zel {

// What GetAdapterMode reads and CreateRenderer is given.
struct TAdapterMode {
  TRect Monitor;
  int RefreshRate = 0;
  uint32_t Format = 0;
  int Adapter = 0;
};

// What an adapter calls itself.
struct TAdapterIdentity {
  std::string Description;
  std::string Vendor;
  std::string Version;
  std::string ShadingLanguage;
};

class T3DEngine : public TObj {
 public:
  // The adapter whose monitor overlaps the rectangle most; 0 when none does.
  virtual int FindAdapter(const TRect& rect) = 0;
  // A capability by name (without regard to case); 0 for an unknown name.
  virtual uint32_t GetCaps(std::string_view name, int adapter) = 0;
  virtual bool GetAdapterMode(int adapter, TAdapterMode& mode) = 0;
  // None when no renderer can be made.
  virtual std::unique_ptr<T3DRenderer> CreateRenderer(TDrawDevice& device, const TAdapterMode& mode) = 0;
  virtual bool IsReady() = 0;
  // 0, 1 or 2: which shader paths the object drawer may take.
  virtual int ShaderLevel(int adapter) = 0;
  // False when the adapter cannot be asked (yet).
  virtual bool GetAdapterIdentity(int adapter, TAdapterIdentity& identity) = 0;
  // The flags a device window must be made with for this engine.
  virtual uint32_t DeviceWindowFlags() = 0;

  uint8_t LastError() const { return fLastError; }

 protected:
  uint8_t fLastError = kResultOk;
};

// The engine, made on first use; none when the platform cannot draw. A
// failure is remembered: later calls answer none at once.
T3DEngine* Get3DEngine();
// Frees the engine (at shutdown, and between tests) and forgets a failure.
void Free3DEngine();
// Frees the engine when it goes out of scope (programs that draw once).
struct T3DEngineScope {
  T3DEngineScope() = default;
  T3DEngineScope(const T3DEngineScope&) = delete;
  T3DEngineScope& operator=(const T3DEngineScope&) = delete;
  ~T3DEngineScope() { Free3DEngine(); }
};
// Made by the backend.
std::unique_ptr<T3DEngine> CreatePlatformEngine();

// The device lock, held around every renderer, texture, surface, list and
// store operation.
TCriticalSection& DeviceLock();

// The shader level rule: Intel with pixel shaders 3.0 or above gives 2;
// otherwise a pixel-shader version below 2.0 gives 0, Intel 1 and every
// other vendor 2. The version word has the major version in bits 8 to 15.
int ShaderLevelFor(uint32_t vendorId, uint32_t pixelShaderVersion);

// The pixel-shader version word of major.minor ("high word 0xFFFF").
constexpr uint32_t PixelShaderVersion(uint32_t major, uint32_t minor) { return 0xFFFF0000u | (major << 8) | minor; }

constexpr uint32_t kVendorIntel = 0x8086;

// Raster capability bits the renderer looks at.
constexpr uint32_t kRasterAnisotropy = 0x20000;
constexpr uint32_t kRasterMipLodBias = 0x2000;

}  // namespace zel
