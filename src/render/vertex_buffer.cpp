#include "render/vertex_buffer.h"

#include <algorithm>
#include <cmath>

#include "render/custom_texture.h"
#include "render/projection.h"
#include "render/renderer_3d.h"

namespace zel {

namespace {

TColor Premultiply(TColor color) {
  const uint32_t a = AlphaOf(color);
  auto channel = [a](uint32_t c) { return static_cast<uint32_t>(std::lround(c * a / 255.0)); };
  return MakeColor(channel(RedOf(color)), channel(GreenOf(color)), channel(BlueOf(color)), a);
}

}  // namespace

TVertexBuffer::TVertexBuffer(T3DScreen* screen) : fScreen(screen) {
  ZEL_ASSERT(screen != nullptr, "TVertexBuffer: Screen=nil");
  fScreen->Register(this);
}

TVertexBuffer::~TVertexBuffer() {
  fList.reset();
  if (fScreen) fScreen->Unregister(this);
}

void TVertexBuffer::ReleaseDevice() {
  fList.reset();
  fVertices.clear();
  fTriangles = 0;
  fTextureCount = 0;
}

void TVertexBuffer::ScreenGone() {
  ReleaseDevice();
  fScreen = nullptr;
}

void TVertexBuffer::MakeList() {
  fList.reset();
  if (!fScreen || !fScreen->IsReady()) return;
  fList = fScreen->Renderer()->CreateVertexList(3 * fCapacity, true, fCoordSets);
  if (fList) fList->OnLost = [this] { fList.reset(); };
}

void TVertexBuffer::SetCapacity(int triangles, int texCoordSets) {
  Flush();
  // The screen sets its batcher at every frame; an unchanged list is kept.
  if (fList && triangles == fCapacity && texCoordSets == fCoordSets) return;
  fCapacity = std::max(1, triangles);
  fCoordSets = std::clamp(texCoordSets, 0, 8);
  fVertices.reserve(static_cast<size_t>(3 * fCapacity));
  MakeList();
}

void TVertexBuffer::Begin(std::span<TCustomTexture* const> textures, int count) {
  ZEL_ASSERT(count >= 0 && static_cast<size_t>(count) <= textures.size(), "TVertexBuffer.Begin: more textures than given");
  ZEL_ASSERT(count <= kMaxTextures, "TVertexBuffer.Begin: too many textures");
  if (!fList) {
    SetCapacity(fCapacity ? fCapacity : kDefaultCapacity, count);
  } else {
    Flush();
    // A list made for fewer coordinate sets would drop the later textures'
    // coordinates.
    if (fCoordSets < count) SetCapacity(fCapacity, count);
  }
  if (count == 1 && textures[0]->Opacity() < 255) ModulateAlpha = true;
  fTextureCount = count;
  for (int i = 0; i < count; ++i) fTextures[i] = textures[static_cast<size_t>(i)];
}

void TVertexBuffer::AddTriangle(const TScreenPoint (&points)[3], const TColor (&colors)[3],
                                std::span<const TTriangleCoords> coords) {
  const int used = static_cast<int>(coords.size());
  ZEL_ASSERT(used <= kMaxTextures, "TVertexBuffer.AddTriangle: too many textures");
  ZEL_ASSERT(used <= fTextureCount, "TVertexBuffer.AddTriangle: more coordinates than textures");
  for (int i = 1; i < fTextureCount; ++i) {
    ZEL_ASSERT(fTextures[i]->Premultiplied() == fTextures[0]->Premultiplied(),
               "TVertexBuffer.AddTriangle: mixed premultiplied textures");
  }
  if (fTriangles >= fCapacity) {
    // A full batch is drawn and the next one starts with the same textures.
    TCustomTexture* textures[kMaxTextures];
    const int count = fTextureCount;
    std::copy(fTextures, fTextures + count, textures);
    Flush();
    fTextureCount = count;
    std::copy(textures, textures + count, fTextures);
  }
  if (!fScreen) return;
  const T3DSize space = fScreen->PixelSpaceSize();
  const float width = static_cast<float>(space.Width);
  const float height = static_cast<float>(space.Height);
  const bool premultiplied = fTextureCount > 0 && fTextures[0]->Premultiplied();
  for (int k = 0; k < 3; ++k) {
    T3DVertex v;
    float device[3];
    ScreenToDevice(points[k].X, points[k].Y, points[k].Z, width, height, device);
    v.X = device[0];
    v.Y = device[1];
    v.Z = device[2];
    v.Color = premultiplied ? Premultiply(colors[k]) : colors[k];
    for (int t = 0; t < used; ++t) {
      v.Tex[t][0] = static_cast<float>(coords[static_cast<size_t>(t)].P[k].x * fTextures[t]->ScaleX());
      v.Tex[t][1] = static_cast<float>(coords[static_cast<size_t>(t)].P[k].y * fTextures[t]->ScaleY());
    }
    fVertices.push_back(v);
  }
  ++fTriangles;
}

void TVertexBuffer::Flush() {
  if (fList && fScreen && fScreen->IsReady() && fTriangles > 0) {
    T3DTexture* devices[kMaxTextures] = {};
    bool complete = true;
    // Making one texture may release others for video memory (a render
    // target released picture textures), so the set is asked for twice and
    // only the second, stable answers are used.
    for (int pass = 0; pass < 2 && complete; ++pass) {
      for (int i = 0; i < fTextureCount; ++i) {
        devices[i] = fTextures[i]->GetTexture();
        if (!devices[i]) complete = false;
      }
    }
    if (complete) {
      bool anyPremultiplied = false;
      for (int i = 0; i < fTextureCount; ++i) {
        T3DTexture* device = devices[i];
        device->SetAddressMode(kAddressClamp, kAddressClamp);
        device->SetFilter(fTextures[i]->Nearest() ? kFilterNearest : kFilterLinear);
        device->SetMipmapped((fTextures[i]->MipFlags() & kMipChain) != 0);
        device->SetLodBias(fTextures[i]->LodBias());
        anyPremultiplied = anyPremultiplied || device->Premultiplied();
      }
      uint32_t flags;
      if (fTextureCount == 0) {
        flags = kDrawModulateColor | kDrawModulateAlpha;
      } else if (FullModulation || anyPremultiplied) {
        flags = kDrawTextured | kDrawModulateColor | kDrawModulateAlpha;
      } else if (fTextureCount == 1 && ModulateAlpha) {
        flags = kDrawTextured | kDrawModulateAlpha;
      } else {
        flags = kDrawTextured;
      }
      fList->Fill(fVertices, 0, 3 * fTriangles);
      fList->SetPrimitive(0, fTriangles, kPrimTriangleList);
      fScreen->Renderer()->DrawPrimitives(std::span<T3DTexture* const>(devices, static_cast<size_t>(fTextureCount)), flags,
                                          *fList);
      fLastFlags = flags;
    }
  }
  fVertices.clear();
  fTriangles = 0;
  fTextureCount = 0;
}

}  // namespace zel
