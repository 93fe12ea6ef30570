#include "render/gl/shader_gl.h"

#include <atomic>

#include "render/gl/renderer_gl.h"
#include "render/gl/stage_programs.h"

namespace zel {

namespace {

uint32_t NextShaderId() {
  // 0 stands for the fixed stage in the program cache.
  static std::atomic<uint32_t> counter{0};
  return ++counter;
}

}  // namespace

T3DShaderGL::T3DShaderGL(TDevStore* store, const std::string& source, bool vertex)
    : T3DShader(vertex), TGLStoreObject(store), fId(NextShaderId()) {
  fName = CompileShader(vertex, BuildShaderSource(source, vertex), &fError);
}

T3DShaderGL::~T3DShaderGL() {
  std::lock_guard guard(DeviceLock());
  if (!fStore) return;
  for (T3DRendererGL* renderer : fStore->Renderers()) renderer->ShaderGone(this);
  std::vector<GLuint> programs;
  fStore->Programs().Purge(fId, programs);
  for (GLuint program : programs) fStore->Delete(TGLName::Program, program);
  fStore->Delete(TGLName::Shader, fName);
}

void T3DShaderGL::StoreGone() {
  TGLStoreObject::StoreGone();
  fName = 0;
}

}  // namespace zel
