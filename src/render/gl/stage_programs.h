// GL programs: the fixed pipeline (the texture stages of DrawPrimitives as
// a family of small fragment programs, one per stage set-up, made on first
// use) and the pairs with shaders made by CreateShader. One cache per
// context; the context must be current while it is used.
#pragma once

#include <epoxy/gl.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace zel {

class TGLState;

struct TGLProgram {
  GLuint Name = 0;
  GLint Matrix = -1;
  GLint Flip = -1;
  GLint VertexRegisters = -1;
  GLint PixelRegisters = -1;
  int VertexRegisterCount = 0;
  int PixelRegisterCount = 0;
  // What was last sent, so that uniforms only go when they changed.
  uint64_t MatrixSerial = 0;
  float FlipValue = 0.0f;
  uint64_t VertexSerial = 0;
  uint64_t PixelSerial = 0;
};

// Alpha of one texture stage (see stage.frag.glsl).
constexpr uint8_t kStageAlphaTexture = 0;
constexpr uint8_t kStageAlphaModulate = 1;
constexpr uint8_t kStageAlphaCurrent = 2;

// The key of one set-up of the fixed fragment stages.
uint32_t FixedStageKey(int textureCount, bool modulateColor, bool modulateAlpha, const uint8_t* alphaModes);

// Puts the version line first; vertex sources get the target fix-up.
std::string BuildShaderSource(std::string_view source, bool vertex, std::string_view defines = {});
// A compiled shader object, or 0 (the compiler's log in *log).
GLuint CompileShader(bool vertex, const std::string& source, std::string* log);

class TProgramCache {
 public:
  // The program for a vertex and a pixel shader object, each 0 for the
  // fixed stage (the pixel stage then by its key); none when it cannot be
  // built. Shader ids tell shader objects apart across deletions.
  TGLProgram* Get(TGLState& state, uint32_t vertexId, GLuint vertexShader, uint32_t pixelId, GLuint pixelShader,
                  uint32_t fixedKey);
  // Programs that use a shader that is going away; their names are handed
  // back for deletion.
  void Purge(uint32_t shaderId, std::vector<GLuint>& programs);
  // Deletes everything (with the context current), or only forgets it
  // (when the context is gone).
  void Clear(bool deleteObjects);

 private:
  GLuint FixedVertexShader();
  GLuint FixedPixelShader(uint32_t key);
  std::optional<TGLProgram> Link(TGLState& state, GLuint vertexShader, GLuint pixelShader);

  using TKey = std::tuple<uint32_t, uint32_t, uint32_t>;
  std::map<TKey, TGLProgram> fPrograms;
  // Programs that failed to link are remembered so they are not tried per draw.
  std::map<TKey, bool> fFailed;
  GLuint fFixedVertex = 0;
  std::map<uint32_t, GLuint> fFixedPixel;
  TKey fLastKey{~0u, ~0u, ~0u};
  TGLProgram* fLast = nullptr;
};

}  // namespace zel
