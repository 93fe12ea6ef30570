// GL errors as the result categories every device call is mapped to.
#pragma once

#include <epoxy/gl.h>

#include <cstdint>

#include "render/renderer_3d.h"

namespace zel {

struct TGLResult {
  uint8_t Category = kResultOk;
  bool Lost = false;
};

// Takes every pending error flag; the first one decides the category.
inline TGLResult TakeGLResult() {
  TGLResult result;
  for (int guard = 0; guard < 16; ++guard) {
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR) break;
    if (result.Category != kResultOk) continue;
    switch (error) {
      case GL_INVALID_ENUM:
      case GL_INVALID_VALUE:
      case GL_INVALID_OPERATION:
      case GL_INVALID_FRAMEBUFFER_OPERATION: result.Category = kResultInvalidCall; break;
      case GL_OUT_OF_MEMORY: result.Category = kResultOutOfVideoMemory; break;
      case GL_CONTEXT_LOST:
        result.Category = kResultFailed;
        result.Lost = true;
        // A lost context keeps answering GL_CONTEXT_LOST.
        return result;
      default: result.Category = kResultFailed; break;
    }
  }
  return result;
}

}  // namespace zel
