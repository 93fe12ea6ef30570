// A vertex list on GL: a buffer and its vertex array. The list keeps a copy
// of its vertices in system memory (as a managed buffer would) and sends
// them when it is drawn. The buffer is a ring several lists long: each send
// goes to a part no draw has used yet (mapped without waiting for the
// driver), and only a full ring gets fresh storage. So neither is a driver
// that still reads earlier contents waited for, nor is storage made anew
// for every draw.
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
  // Vertex i of the list is vertex baseVertex + i of the bound arrays.
  bool Bind(TGLState& state, GLint& baseVertex);

 private:
  GLuint fBuffer = 0;
  GLuint fVertexArray = 0;
  std::vector<uint8_t> fVertices;
  // Vertices [0, fValidEnd) hold content; the buffer is behind when dirty.
  int fValidEnd = 0;
  bool fDirty = false;
  // The ring, in vertices: its size, the part used since its storage was
  // made, and where the last send went.
  int fRingVertices = 0;
  int fRingUsed = 0;
  int fBase = 0;
};

}  // namespace zel
