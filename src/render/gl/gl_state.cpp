#include "render/gl/gl_state.h"

namespace zel {

void TGLState::Reset() {
  *this = TGLState();
  glEnable(GL_BLEND);
  glBlendFuncSeparate(fBlend.SourceColor, fBlend.DestColor, fBlend.SourceAlpha, fBlend.DestAlpha);
  glBlendEquationSeparate(fBlend.EquationColor, fBlend.EquationAlpha);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glFrontFace(GL_CCW);
  glDisable(GL_SCISSOR_TEST);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  // Lists without a colour of their own draw in white, as the fixed
  // pipeline does without a diffuse colour.
  glVertexAttrib4f(1, 1.0f, 1.0f, 1.0f, 1.0f);
  glActiveTexture(GL_TEXTURE0);
}

void TGLState::UseProgram(GLuint program) {
  if (program == fProgram) return;
  glUseProgram(program);
  fProgram = program;
}

void TGLState::BindVertexArray(GLuint vao) {
  if (vao == fVertexArray) return;
  glBindVertexArray(vao);
  fVertexArray = vao;
}

void TGLState::BindArrayBuffer(GLuint buffer) {
  if (buffer == fArrayBuffer) return;
  glBindBuffer(GL_ARRAY_BUFFER, buffer);
  fArrayBuffer = buffer;
}

void TGLState::BindFramebuffer(GLuint fbo) {
  if (fbo == fFramebuffer) return;
  glBindFramebuffer(GL_FRAMEBUFFER, fbo);
  fFramebuffer = fbo;
}

void TGLState::SelectUnit(int unit) {
  if (unit == fActiveUnit) return;
  glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
  fActiveUnit = unit;
}

void TGLState::BindTexture(int unit, GLuint texture) {
  if (fTextures[unit] == texture) return;
  SelectUnit(unit);
  glBindTexture(GL_TEXTURE_2D, texture);
  fTextures[unit] = texture;
}

void TGLState::BindForEdit(GLuint texture) {
  // Parameter calls act on the active unit's texture.
  SelectUnit(kUnits - 1);
  BindTexture(kUnits - 1, texture);
}

void TGLState::Unbind(GLuint texture) {
  for (int unit = 0; unit < kUnits; ++unit) {
    if (fTextures[unit] == texture) BindTexture(unit, 0);
  }
}

void TGLState::SetBlend(const TBlendState& blend) {
  if (blend == fBlend) return;
  if (blend.SourceColor != fBlend.SourceColor || blend.DestColor != fBlend.DestColor ||
      blend.SourceAlpha != fBlend.SourceAlpha || blend.DestAlpha != fBlend.DestAlpha) {
    glBlendFuncSeparate(blend.SourceColor, blend.DestColor, blend.SourceAlpha, blend.DestAlpha);
  }
  if (blend.EquationColor != fBlend.EquationColor || blend.EquationAlpha != fBlend.EquationAlpha) {
    glBlendEquationSeparate(blend.EquationColor, blend.EquationAlpha);
  }
  fBlend = blend;
}

void TGLState::SetCull(bool enabled, GLenum frontFace) {
  if (enabled != fCullEnabled) {
    if (enabled) {
      glEnable(GL_CULL_FACE);
    } else {
      glDisable(GL_CULL_FACE);
    }
    fCullEnabled = enabled;
  }
  if (enabled && frontFace != fFrontFace) {
    glFrontFace(frontFace);
    fFrontFace = frontFace;
  }
}

void TGLState::SetViewport(GLint x, GLint y, GLsizei w, GLsizei h) {
  if (fViewport[0] == x && fViewport[1] == y && fViewport[2] == w && fViewport[3] == h) return;
  glViewport(x, y, w, h);
  fViewport[0] = x;
  fViewport[1] = y;
  fViewport[2] = w;
  fViewport[3] = h;
}

void TGLState::SetScissor(bool enabled) {
  if (enabled == fScissor) return;
  if (enabled) {
    glEnable(GL_SCISSOR_TEST);
  } else {
    glDisable(GL_SCISSOR_TEST);
  }
  fScissor = enabled;
}

void TGLState::Forget(GLuint program, GLuint vao, GLuint buffer) {
  if (program && program == fProgram) fProgram = 0;
  if (vao && vao == fVertexArray) fVertexArray = 0;
  if (buffer && buffer == fArrayBuffer) fArrayBuffer = 0;
}

}  // namespace zel

