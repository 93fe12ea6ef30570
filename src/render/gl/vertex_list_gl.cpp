#include "render/gl/vertex_list_gl.h"

#include <algorithm>
#include <cstring>

#include "render/shader_interface.h"

namespace zel {

T3DVertexListGL::T3DVertexListGL(TDevStore* store, int vertexCount, bool hasColor, int texCoordCount)
    : T3DVertexList(vertexCount, hasColor, texCoordCount),
      TGLStoreObject(store),
      fVertices(static_cast<size_t>(vertexCount) * static_cast<size_t>(Stride())) {
  TGLState& state = fStore->State();
  glGenVertexArrays(1, &fVertexArray);
  glGenBuffers(1, &fBuffer);
  state.BindVertexArray(fVertexArray);
  state.BindArrayBuffer(fBuffer);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(fVertices.size()), nullptr, GL_STREAM_DRAW);
  const GLsizei stride = Stride();
  glEnableVertexAttribArray(kAttribPosition);
  glVertexAttribPointer(kAttribPosition, 3, GL_FLOAT, GL_FALSE, stride, nullptr);
  size_t offset = 12;
  if (hasColor) {
    // The 32-bit ARGB colour lies in memory as blue, green, red, alpha.
    glEnableVertexAttribArray(kAttribColor);
    glVertexAttribPointer(kAttribColor, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride, reinterpret_cast<const void*>(offset));
    offset += 4;
  }
  for (int i = 0; i < texCoordCount; ++i) {
    const GLuint attrib = static_cast<GLuint>(kAttribTex0 + i);
    glEnableVertexAttribArray(attrib);
    glVertexAttribPointer(attrib, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(offset));
    offset += 8;
  }
  state.BindVertexArray(0);
}

T3DVertexListGL::~T3DVertexListGL() {
  if (fStore) {
    fStore->Delete(TGLName::VertexArray, fVertexArray);
    fStore->Delete(TGLName::Buffer, fBuffer);
  }
}

void T3DVertexListGL::StoreGone() {
  TGLStoreObject::StoreGone();
  fVertexArray = 0;
  fBuffer = 0;
}

bool T3DVertexListGL::Fill(std::span<const T3DVertex> source, int first, int count) {
  if (first < 0 || count < 0 || first + count > fVertexCount || static_cast<size_t>(count) > source.size()) return false;
  const size_t stride = static_cast<size_t>(Stride());
  uint8_t* out = fVertices.data() + static_cast<size_t>(first) * stride;
  for (int i = 0; i < count; ++i) {
    const T3DVertex& v = source[static_cast<size_t>(i)];
    uint8_t* p = out;
    std::memcpy(p, &v.X, 12);
    p += 12;
    if (fHasColor) {
      std::memcpy(p, &v.Color, 4);
      p += 4;
    }
    std::memcpy(p, v.Tex, 8 * static_cast<size_t>(fTexCoordCount));
    out += stride;
  }
  fValidEnd = std::max(fValidEnd, first + count);
  fDirty = true;
  return true;
}

bool T3DVertexListGL::Bind(TGLState& state) {
  if (!fVertexArray) return false;
  state.BindVertexArray(fVertexArray);
  if (fDirty) {
    state.BindArrayBuffer(fBuffer);
    const size_t bytes = static_cast<size_t>(fValidEnd) * static_cast<size_t>(Stride());
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(fVertices.size()), nullptr, GL_STREAM_DRAW);
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(bytes), fVertices.data());
    fDirty = false;
  }
  return true;
}

}  // namespace zel
