#include "render/gl/vertex_list_gl.h"

#include <algorithm>
#include <cstring>

#include "render/engine_3d.h"
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
  // Room for many sends of the whole list, within a megabyte (and never
  // less than one list).
  constexpr size_t kRingBytes = size_t{1} << 20;
  const size_t listBytes = std::max<size_t>(fVertices.size(), 1);
  const size_t ringLists = std::clamp<size_t>(kRingBytes / listBytes, 1, 64);
  fRingVertices = static_cast<int>(ringLists) * vertexCount;
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(ringLists * listBytes), nullptr, GL_STREAM_DRAW);
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
  std::lock_guard guard(DeviceLock());
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

bool T3DVertexListGL::Bind(TGLState& state, GLint& baseVertex) {
  if (!fVertexArray) return false;
  state.BindVertexArray(fVertexArray);
  if (fDirty && fValidEnd > 0) {
    state.BindArrayBuffer(fBuffer);
    const size_t stride = static_cast<size_t>(Stride());
    if (fRingUsed + fValidEnd > fRingVertices) {
      // The ring is full: fresh storage, while the driver may still read
      // the old one.
      glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(static_cast<size_t>(fRingVertices) * stride), nullptr,
                   GL_STREAM_DRAW);
      fRingUsed = 0;
    }
    const GLintptr offset = static_cast<GLintptr>(static_cast<size_t>(fRingUsed) * stride);
    const GLsizeiptr bytes = static_cast<GLsizeiptr>(static_cast<size_t>(fValidEnd) * stride);
    // No draw has used this part since the storage was made, so there is
    // nothing to wait for.
    void* target = glMapBufferRange(GL_ARRAY_BUFFER, offset, bytes,
                                    GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_RANGE_BIT | GL_MAP_UNSYNCHRONIZED_BIT);
    if (target) {
      std::memcpy(target, fVertices.data(), static_cast<size_t>(bytes));
      glUnmapBuffer(GL_ARRAY_BUFFER);
    } else {
      glBufferSubData(GL_ARRAY_BUFFER, offset, bytes, fVertices.data());
    }
    fBase = fRingUsed;
    fRingUsed += fValidEnd;
    fDirty = false;
  }
  baseVertex = fBase;
  return true;
}

}  // namespace zel
