// The raw-GL peer of the render benchmarks: a hidden window with its own
// context, and a program linked from two sources, with nothing of ours in
// between.
#pragma once

#include <SDL.h>
#include <epoxy/gl.h>

namespace zel::bench {

class TRawGLWindow {
 public:
  TRawGLWindow(int width, int height) {
    fWindow = SDL_CreateWindow("raw", 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    fContext = fWindow ? SDL_GL_CreateContext(fWindow) : nullptr;
    if (fContext) SDL_GL_MakeCurrent(fWindow, fContext);
  }
  ~TRawGLWindow() {
    if (fProgram) glDeleteProgram(fProgram);
    if (fContext) {
      SDL_GL_MakeCurrent(fWindow, nullptr);
      SDL_GL_DeleteContext(fContext);
    }
    if (fWindow) SDL_DestroyWindow(fWindow);
  }
  TRawGLWindow(const TRawGLWindow&) = delete;
  TRawGLWindow& operator=(const TRawGLWindow&) = delete;

  bool Ok() const { return fContext != nullptr; }
  SDL_Window* Window() const { return fWindow; }
  // Links the two sources and makes the program current; freed with the window.
  GLuint UseProgram(const char* vertex, const char* fragment) {
    fProgram = glCreateProgram();
    glAttachShader(fProgram, Compile(GL_VERTEX_SHADER, vertex));
    glAttachShader(fProgram, Compile(GL_FRAGMENT_SHADER, fragment));
    glLinkProgram(fProgram);
    glUseProgram(fProgram);
    return fProgram;
  }

 private:
  static GLuint Compile(GLenum type, const char* source) {
    GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    return shader;
  }

  SDL_Window* fWindow = nullptr;
  SDL_GLContext fContext = nullptr;
  GLuint fProgram = 0;
};

}  // namespace zel::bench
