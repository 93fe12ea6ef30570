#include "render/gl/stage_programs.h"

#include <algorithm>
#include <optional>
#include <string>

#include "core/log.h"
#include "render/gl/gl_state.h"
#include "render/shader_interface.h"
#include "render/shader_sources.h"

namespace zel {

uint32_t FixedStageKey(int textureCount, bool modulateColor, bool modulateAlpha, const uint8_t* alphaModes) {
  uint32_t key = static_cast<uint32_t>(textureCount) & 0xF;
  key |= (modulateColor ? 1u : 0u) << 4;
  key |= (modulateAlpha ? 1u : 0u) << 5;
  for (int i = 0; i < textureCount; ++i) key |= (static_cast<uint32_t>(alphaModes[i]) & 3u) << (6 + 2 * i);
  return key;
}

std::string BuildShaderSource(std::string_view source, bool vertex, std::string_view defines) {
  std::string version = "#version 330 core\n";
  std::string_view body = source;
  // Skip blank lines before a version line of the caller's own.
  const size_t start = body.find_first_not_of(" \t\r\n");
  if (start != std::string_view::npos && body.substr(start, 8) == "#version") {
    const size_t end = body.find('\n', start);
    version = std::string(body.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start)) + "\n";
    body = end == std::string_view::npos ? std::string_view() : body.substr(end + 1);
  }
  std::string result = version;
  result += defines;
  if (vertex) {
    // The caller's main becomes a function that ours calls, so the fix-up
    // runs after whatever the shader wrote.
    result += "#define main zel_user_main\n#line 1\n";
    result += body;
    result += "\n#undef main\n";
    result += ShaderSource("target_fixup.vert");
  } else {
    result += "#line 1\n";
    result += body;
  }
  return result;
}

GLuint CompileShader(bool vertex, const std::string& source, std::string* log) {
  const GLuint shader = glCreateShader(vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER);
  if (!shader) return 0;
  const GLchar* text = source.c_str();
  const GLint length = static_cast<GLint>(source.size());
  glShaderSource(shader, 1, &text, &length);
  glCompileShader(shader);
  GLint ok = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (ok == GL_TRUE) return shader;
  GLint size = 0;
  glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &size);
  std::string text2(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) glGetShaderInfoLog(shader, size, nullptr, text2.data());
  if (log) *log = text2;
  glDeleteShader(shader);
  return 0;
}

GLuint TProgramCache::FixedVertexShader() {
  if (!fFixedVertex) {
    std::string log;
    fFixedVertex = CompileShader(true, BuildShaderSource(ShaderSource("stage.vert"), true), &log);
    if (!fFixedVertex) Log().Write("Fixed vertex stage: " + log);
  }
  return fFixedVertex;
}

GLuint TProgramCache::FixedPixelShader(uint32_t key) {
  auto it = fFixedPixel.find(key);
  if (it != fFixedPixel.end()) return it->second;
  std::string defines;
  const int count = static_cast<int>(key & 0xF);
  defines += "#define TEX_COUNT " + std::to_string(count) + "\n";
  defines += "#define MOD_COLOR " + std::to_string((key >> 4) & 1) + "\n";
  defines += "#define MOD_ALPHA " + std::to_string((key >> 5) & 1) + "\n";
  for (int i = 0; i < kMaxTextureStages; ++i) {
    const uint32_t mode = i < count ? (key >> (6 + 2 * i)) & 3 : 0;
    defines += "#define ALPHA_MODE_" + std::to_string(i) + " " + std::to_string(mode) + "\n";
  }
  std::string log;
  const GLuint shader = CompileShader(false, BuildShaderSource(ShaderSource("stage.frag"), false, defines), &log);
  if (!shader) Log().Write("Fixed texture stages: " + log);
  fFixedPixel[key] = shader;
  return shader;
}

std::optional<TGLProgram> TProgramCache::Link(TGLState& state, GLuint vertexShader, GLuint pixelShader) {
  const GLuint program = glCreateProgram();
  if (!program) return std::nullopt;
  glAttachShader(program, vertexShader);
  glAttachShader(program, pixelShader);
  glLinkProgram(program);
  glDetachShader(program, vertexShader);
  glDetachShader(program, pixelShader);
  GLint ok = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (ok != GL_TRUE) {
    GLint size = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &size);
    std::string text(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) glGetProgramInfoLog(program, size, nullptr, text.data());
    Log().Write("Shader link: " + text);
    glDeleteProgram(program);
    return std::nullopt;
  }
  TGLProgram result;
  result.Name = program;
  result.Matrix = glGetUniformLocation(program, "uMatrix");
  result.Flip = glGetUniformLocation(program, "uZelFlipY");
  result.VertexRegisters = glGetUniformLocation(program, "vc");
  result.PixelRegisters = glGetUniformLocation(program, "pc");
  // The register arrays are as long as the shader declares them.
  GLint uniforms = 0;
  glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &uniforms);
  for (GLint i = 0; i < uniforms; ++i) {
    char name[64];
    GLint size = 0;
    GLenum type = 0;
    glGetActiveUniform(program, static_cast<GLuint>(i), sizeof(name), nullptr, &size, &type, name);
    const std::string_view n(name);
    if (n == "vc" || n == "vc[0]") result.VertexRegisterCount = std::min(size, kMaxVertexRegisters);
    if (n == "pc" || n == "pc[0]") result.PixelRegisterCount = std::min(size, kMaxPixelRegisters);
  }
  state.UseProgram(program);
  for (int i = 0; i < kMaxTextureStages; ++i) {
    const std::string sampler = "uTex" + std::to_string(i);
    const GLint location = glGetUniformLocation(program, sampler.c_str());
    if (location >= 0) glUniform1i(location, i);
  }
  if (result.Flip >= 0) {
    glUniform1f(result.Flip, 1.0f);
    result.FlipValue = 1.0f;
  }
  return result;
}

TGLProgram* TProgramCache::Get(TGLState& state, uint32_t vertexId, GLuint vertexShader, uint32_t pixelId,
                               GLuint pixelShader, uint32_t fixedKey) {
  const TKey key{vertexId, pixelId, pixelId ? 0u : fixedKey};
  if (fLast && key == fLastKey) return fLast;
  auto it = fPrograms.find(key);
  if (it == fPrograms.end()) {
    if (fFailed.count(key)) return nullptr;
    const GLuint vs = vertexShader ? vertexShader : FixedVertexShader();
    const GLuint ps = pixelShader ? pixelShader : FixedPixelShader(fixedKey);
    std::optional<TGLProgram> linked;
    if (vs && ps) linked = Link(state, vs, ps);
    if (!linked) {
      fFailed[key] = true;
      return nullptr;
    }
    it = fPrograms.emplace(key, *linked).first;
  }
  fLastKey = key;
  fLast = &it->second;
  return fLast;
}

void TProgramCache::Purge(uint32_t shaderId, std::vector<GLuint>& programs) {
  for (auto it = fPrograms.begin(); it != fPrograms.end();) {
    if (std::get<0>(it->first) == shaderId || std::get<1>(it->first) == shaderId) {
      programs.push_back(it->second.Name);
      it = fPrograms.erase(it);
    } else {
      ++it;
    }
  }
  for (auto it = fFailed.begin(); it != fFailed.end();) {
    if (std::get<0>(it->first) == shaderId || std::get<1>(it->first) == shaderId) {
      it = fFailed.erase(it);
    } else {
      ++it;
    }
  }
  fLast = nullptr;
}

void TProgramCache::Clear(bool deleteObjects) {
  if (deleteObjects) {
    for (auto& [key, program] : fPrograms) glDeleteProgram(program.Name);
    if (fFixedVertex) glDeleteShader(fFixedVertex);
    for (auto& [key, shader] : fFixedPixel) {
      if (shader) glDeleteShader(shader);
    }
  }
  fPrograms.clear();
  fFailed.clear();
  fFixedPixel.clear();
  fFixedVertex = 0;
  fLast = nullptr;
}

}  // namespace zel
