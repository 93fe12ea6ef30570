// A vertex list on GL: a buffer and its vertex array. The list keeps a copy
// of its vertices in system memory (as a managed buffer would) and sends
// them when it is drawn: the buffer is then given fresh storage, so a
// driver that still reads the previous contents never has to be waited for.
#pragma once

#include <epoxy/gl.h>

#include <vector>

#include "render/device_3d.h"
#include "render/gl/dev_store.h"

namespace zel {

class T3DVertexListGL final : public T3DVertexList, public TGLStoreObject {
 public:
  T3DVertexListGL(TDevStore* store, int vertexCount, bool hasColor, int texCoordCount);
  ~T3DVertexListGL() override;

  bool Fill(std::span<const T3DVertex> source, int first, int count) override;
  void StoreGone() override;
  T3DDeviceObject& DeviceObject() override { return *this; }

  bool IsValid() const { return fVertexArray != 0; }
  // Binds the vertex array with the vertices sent; false when it cannot.
  bool Bind(TGLState& state);

 private:
  GLuint fBuffer = 0;
  GLuint fVertexArray = 0;
  std::vector<uint8_t> fVertices;
  // Vertices [0, fValidEnd) hold content; the buffer is behind when dirty.
  int fValidEnd = 0;
  bool fDirty = false;
};

}  // namespace zel
