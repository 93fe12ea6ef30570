// The triangle batcher: triangles in screen pixels that share a texture
// set are collected and sent in one draw call.
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "core/obj.h"
#include "imaging/color.h"
#include "render/device_3d.h"
#include "render/screen.h"

namespace zel {

class TCustomTexture;

struct TScreenPoint {
  float X = 0;
  float Y = 0;
  float Z = 0;
};

// One texture's coordinates for the three corners, in content pixels.
struct TTriangleCoords {
  TFloatPoint P[3];
};

class TVertexBuffer : public TObj, public TScreenResource {
 public:
  static constexpr int kDefaultCapacity = 1024;
  static constexpr int kMaxTextures = 7;

  // The screen must be given (a programming error otherwise).
  explicit TVertexBuffer(T3DScreen* screen);
  ~TVertexBuffer() override;

  // Flushes and makes a device list for this many triangles with the
  // colour and this many coordinate sets (none while no renderer is ready).
  void SetCapacity(int triangles, int texCoordSets);
  // Starts a batch with the first `count` of the textures.
  void Begin(std::span<TCustomTexture* const> textures, int count);
  void Begin(std::span<TCustomTexture* const> textures) { Begin(textures, static_cast<int>(textures.size())); }
  void AddTriangle(const TScreenPoint (&points)[3], const TColor (&colors)[3], std::span<const TTriangleCoords> coords);
  void Flush();

  int Capacity() const { return fCapacity; }
  int TexCoordSets() const { return fCoordSets; }
  int TriangleCount() const { return fTriangles; }
  int TextureCount() const { return fTextureCount; }
  bool HasDeviceList() const { return fList != nullptr; }
  // The DrawPrimitives flags of the last batch drawn.
  uint32_t LastFlags() const { return fLastFlags; }

  // Set when one texture with an opacity below 255 starts a batch.
  bool ModulateAlpha = true;
  // Colour and alpha are always modulated by the vertex colour.
  bool FullModulation = false;

  void ReleaseDevice() override;
  void ScreenGone() override;

 private:
  void MakeList();

  T3DScreen* fScreen;
  std::unique_ptr<T3DVertexList> fList;
  int fCapacity = 0;
  int fCoordSets = 0;
  std::vector<T3DVertex> fVertices;
  TCustomTexture* fTextures[kMaxTextures] = {};
  int fTextureCount = 0;
  int fTriangles = 0;
  uint32_t fLastFlags = 0;
};

}  // namespace zel
