// What one GL context has bound and enabled, kept on our side so that a
// draw call only sends the state that changed. Every GL state change of the
// backend goes through here; nothing else touches these parts of the
// context.
#pragma once

#include <epoxy/gl.h>

#include <cstdint>

namespace zel {

struct TBlendState {
  GLenum SourceColor = GL_SRC_ALPHA;
  GLenum DestColor = GL_ONE_MINUS_SRC_ALPHA;
  GLenum SourceAlpha = GL_SRC_ALPHA;
  GLenum DestAlpha = GL_ONE_MINUS_SRC_ALPHA;
  GLenum EquationColor = GL_FUNC_ADD;
  GLenum EquationAlpha = GL_FUNC_ADD;
  bool operator==(const TBlendState&) const = default;
};

class TGLState {
 public:
  static constexpr int kUnits = 8;

  // The context is new: its state is GL's defaults, and a few of ours are
  // set once (blending on, pixel transfer alignment 1).
  void Reset();

  void UseProgram(GLuint program);
  void BindVertexArray(GLuint vao);
  void BindArrayBuffer(GLuint buffer);
  void BindFramebuffer(GLuint fbo);
  void BindTexture(int unit, GLuint texture);
  // Binds on a unit for changing the texture's parameters (the last unit,
  // which drawing uses least).
  void BindForEdit(GLuint texture);
  // Takes the texture off every unit (before it is drawn into or deleted).
  void Unbind(GLuint texture);
  void SetBlend(const TBlendState& blend);
  void SetCull(bool enabled, GLenum frontFace);
  void SetViewport(GLint x, GLint y, GLsizei w, GLsizei h);
  void SetScissor(bool enabled);
  // Forgets a deleted object so that a new one with the same name is bound.
  void Forget(GLuint program, GLuint vao, GLuint buffer);

  // Makes the unit active, for parameter calls on the texture bound there.
  void SelectUnit(int unit);

  GLuint Program() const { return fProgram; }
  GLuint Framebuffer() const { return fFramebuffer; }

 private:
  GLuint fProgram = 0;
  GLuint fVertexArray = 0;
  GLuint fArrayBuffer = 0;
  GLuint fFramebuffer = 0;
  int fActiveUnit = 0;
  GLuint fTextures[kUnits] = {};
  TBlendState fBlend;
  bool fCullEnabled = false;
  GLenum fFrontFace = GL_CCW;
  GLint fViewport[4] = {-1, -1, -1, -1};
  bool fScissor = false;
};

}  // namespace zel
