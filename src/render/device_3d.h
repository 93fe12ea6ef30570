// The resources a renderer creates: surfaces, textures, vertex lists and
// shaders, with the plain types they are described by. Everything above
// the backend sees only these abstract classes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "core/obj.h"
#include "imaging/bitmap.h"
#include "imaging/color.h"
#include "imaging/geometry.h"

namespace zel {

struct T3DSize {
  int Width = 0;
  int Height = 0;
  bool operator==(const T3DSize&) const = default;
  bool IsEmpty() const { return Width <= 0 || Height <= 0; }
};

// A 4 x 4 matrix in the row-vector convention: a point p becomes p * M,
// with M[row][column].
struct T3DMatrix {
  float M[4][4] = {};

  static T3DMatrix Identity();
  T3DMatrix operator*(const T3DMatrix& other) const;
  bool operator==(const T3DMatrix&) const = default;
  // (x, y, z, 1) * M.
  void Transform(float x, float y, float z, float out[4]) const;
};

// A vertex as the batcher keeps it. A vertex list's Fill copies the parts
// its own layout has (position, colour, its coordinate pairs) and ignores
// the rest.
struct T3DVertex {
  float X = 0, Y = 0, Z = 0;
  float Tex[8][2] = {};
  TColor Color = 0;
  uint32_t Spare[3] = {};
};

// Texture kinds, the first argument of CreateTexture.
constexpr uint8_t kTexKindPicture = 0;        // 32-bit A8R8G8B8
constexpr uint8_t kTexKindTargetNoAlpha = 1;  // 32-bit X8R8G8B8 render target
constexpr uint8_t kTexKindTarget = 2;         // 32-bit A8R8G8B8 render target
constexpr uint8_t kTexKindLuminance = 3;      // 8-bit luminance, sampled as grey
constexpr uint8_t kTexKindRgb565 = 4;         // 16-bit R5G6B5
constexpr uint8_t kTexKindLast = 4;

inline bool IsRenderTargetKind(uint8_t kind) { return kind == kTexKindTargetNoAlpha || kind == kTexKindTarget; }

// Texture addressing and filtering.
constexpr uint8_t kAddressWrap = 0;
constexpr uint8_t kAddressClamp = 1;
constexpr uint8_t kAddressMirror = 2;
constexpr uint8_t kFilterNearest = 0;
constexpr uint8_t kFilterLinear = 1;

// Primitive types of a vertex list.
constexpr uint8_t kPrimPointList = 0;
constexpr uint8_t kPrimLineList = 1;
constexpr uint8_t kPrimLineStrip = 2;
constexpr uint8_t kPrimTriangleList = 3;
constexpr uint8_t kPrimTriangleStrip = 4;
constexpr uint8_t kPrimTriangleFan = 5;

// DrawPrimitives flags.
constexpr uint32_t kDrawTextured = 1;
constexpr uint32_t kDrawModulateColor = 2;
constexpr uint32_t kDrawModulateAlpha = 4;
constexpr uint32_t kDrawLighting = 8;

// Something a device store keeps track of: it is told when the store (and
// with it the device) goes away, after which it is an empty shell.
class T3DDeviceObject {
 public:
  virtual ~T3DDeviceObject() = default;
  // Called once when the device that made this object is gone.
  std::function<void()> OnLost;
};

class T3DSurface : public TObj {
 public:
  // Draws the surface's content into the bitmap at its origin; false when
  // the content cannot be read.
  virtual bool CopyToBitmap(TBitmap& target) = 0;
  // Empty when the surface cannot be described.
  virtual T3DSize GetSize() = 0;
  virtual TCommonPixelFormat* GetPixelFormat() = 0;
  // A bitmap over the locked rectangle, or none when the lock fails. A
  // writable lock sends what was written to the surface at Unlock.
  virtual std::unique_ptr<TBitmap> Lock(const TRect& rect, bool readOnly) = 0;
  // Unlocks and frees the bitmap; false when the unlock failed.
  virtual bool Unlock(std::unique_ptr<TBitmap> bitmap) = 0;
  // Render targets and the back buffer: what SetRenderTarget and
  // StretchRects accept.
  virtual bool IsDeviceSurface() const = 0;
};

class T3DTexture : public TObj, public T3DDeviceObject {
 public:
  explicit T3DTexture(uint8_t kind) : fKind(kind) {}

  uint8_t Kind() const { return fKind; }
  bool Premultiplied() const { return fPremultiplied; }
  void SetPremultiplied(bool value) { fPremultiplied = value; }

  // The level's surface, created once and kept.
  virtual T3DSurface* GetSurface(int level) = 0;
  virtual int LevelCount() = 0;
  // Asks the device to take the texture's content into video memory now.
  virtual void PreLoad() = 0;

  virtual void SetAddressMode(uint8_t u, uint8_t v) {
    fAddressU = u;
    fAddressV = v;
  }
  virtual void GetAddressMode(uint8_t& u, uint8_t& v) const {
    u = fAddressU;
    v = fAddressV;
  }
  virtual void SetFilter(uint8_t filter) { fFilter = filter; }
  virtual uint8_t GetFilter() const { return fFilter; }
  virtual void SetMipmapped(bool value) { fMipmapped = value; }
  virtual void SetLodBias(float bias) { fLodBias = bias; }

  bool Mipmapped() const { return fMipmapped; }
  float LodBias() const { return fLodBias; }

 protected:
  const uint8_t fKind;
  bool fPremultiplied = false;
  uint8_t fAddressU = kAddressWrap;
  uint8_t fAddressV = kAddressWrap;
  uint8_t fFilter = kFilterLinear;
  bool fMipmapped = false;
  float fLodBias = 0.0f;
};

// A vertex buffer. Layout per vertex: position (three floats), the colour
// (32-bit ARGB) when the list has one, then the coordinate pairs.
class T3DVertexList : public TObj, public T3DDeviceObject {
 public:
  T3DVertexList(int vertexCount, bool hasColor, int texCoordCount)
      : fVertexCount(vertexCount), fHasColor(hasColor), fTexCoordCount(texCoordCount) {}

  int VertexCount() const { return fVertexCount; }
  bool HasColor() const { return fHasColor; }
  int TexCoordCount() const { return fTexCoordCount; }
  int Stride() const { return 12 + (fHasColor ? 4 : 0) + 8 * fTexCoordCount; }

  virtual void SetPrimitive(int firstVertex, int primitiveCount, uint8_t primitiveType) {
    fFirstVertex = firstVertex;
    fPrimitiveCount = primitiveCount;
    fPrimitiveType = primitiveType;
  }
  // Writes the source vertices into the list from vertex `first` on;
  // false when the list cannot take them.
  virtual bool Fill(std::span<const T3DVertex> source, int first, int count) = 0;

  int FirstVertex() const { return fFirstVertex; }
  int PrimitiveCount() const { return fPrimitiveCount; }
  uint8_t PrimitiveType() const { return fPrimitiveType; }

 protected:
  const int fVertexCount;
  const bool fHasColor;
  const int fTexCoordCount;
  int fFirstVertex = 0;
  int fPrimitiveCount = 0;
  uint8_t fPrimitiveType = kPrimTriangleList;
};

// How many vertices a primitive of this type and count uses; a programming
// error for an unknown type.
int PrimitiveVertexCount(uint8_t primitiveType, int primitiveCount);

// A compiled vertex or pixel shader.
class T3DShader : public TObj, public T3DDeviceObject {
 public:
  explicit T3DShader(bool vertex) : fVertex(vertex) {}
  bool IsVertex() const { return fVertex; }

 private:
  const bool fVertex;
};

}  // namespace zel
