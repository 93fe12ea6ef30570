#include "render/engine_3d.h"

#include <mutex>

#include "core/log.h"
#include "render/draw_device.h"

namespace zel {

namespace {

std::mutex& EngineLock() {
  static std::mutex lock;
  return lock;
}

std::unique_ptr<T3DEngine>& EngineSlot() {
  static std::unique_ptr<T3DEngine> engine;
  return engine;
}

// Set when making the engine failed: it is not tried again (which would
// start the video system and make a hidden window on every call) until
// Free3DEngine.
bool& EngineFailed() {
  static bool failed = false;
  return failed;
}

}  // namespace

T3DEngine* Get3DEngine() {
  std::lock_guard guard(EngineLock());
  auto& engine = EngineSlot();
  if (!engine && !EngineFailed()) {
    engine = CreatePlatformEngine();
    EngineFailed() = engine == nullptr;
  }
  return engine.get();
}

void Free3DEngine() {
  std::unique_ptr<T3DEngine> engine;
  {
    std::lock_guard guard(EngineLock());
    engine = std::move(EngineSlot());
    EngineFailed() = false;
  }
}

TCriticalSection& DeviceLock() {
  static TCriticalSection lock;
  return lock;
}

int ShaderLevelFor(uint32_t vendorId, uint32_t pixelShaderVersion) {
  const uint32_t major = (pixelShaderVersion >> 8) & 0xFF;
  if (vendorId == kVendorIntel && major >= 3) return 2;
  if (major < 2) return 0;
  return vendorId == kVendorIntel ? 1 : 2;
}

// ---------------------------------------------------------------------------

T3DMatrix T3DMatrix::Identity() {
  T3DMatrix m;
  for (int i = 0; i < 4; ++i) m.M[i][i] = 1.0f;
  return m;
}

T3DMatrix T3DMatrix::operator*(const T3DMatrix& other) const {
  T3DMatrix r;
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 4; ++col) {
      float sum = 0.0f;
      for (int k = 0; k < 4; ++k) sum += M[row][k] * other.M[k][col];
      r.M[row][col] = sum;
    }
  }
  return r;
}

void T3DMatrix::Transform(float x, float y, float z, float out[4]) const {
  for (int col = 0; col < 4; ++col) out[col] = x * M[0][col] + y * M[1][col] + z * M[2][col] + M[3][col];
}

int PrimitiveVertexCount(uint8_t primitiveType, int primitiveCount) {
  if (primitiveCount <= 0) return 0;
  switch (primitiveType) {
    case kPrimPointList: return primitiveCount;
    case kPrimLineList: return primitiveCount * 2;
    case kPrimLineStrip: return primitiveCount + 1;
    case kPrimTriangleList: return primitiveCount * 3;
    case kPrimTriangleStrip:
    case kPrimTriangleFan: return primitiveCount + 2;
    default: break;
  }
  AssertionFailed("Unknown primitive type " + std::to_string(primitiveType), __FILE__, __LINE__);
}

// ---------------------------------------------------------------------------

T3DRenderer::T3DRenderer(TDrawDevice* device) : fDevice(device) {
  if (fDevice) fDevice->SetRenderer(this);
}

T3DRenderer::~T3DRenderer() {
  std::lock_guard guard(DeviceLock());
  if (fDevice && fDevice->Renderer() == this) fDevice->SetRenderer(nullptr);
}

void T3DRenderer::SetResult(uint8_t category, bool lost) {
  fLastError = category;
  if (lost) fLostState = kLostDevice;
  if (category != kResultOk) Log().WriteInt("Dx Error = ", category);
}

}  // namespace zel
