// What a GLSL shader handed to CreateShader may rely on.
//
// Sources are GLSL 3.30 core; a leading "#version" line is kept, otherwise
// "#version 330 core" is put in front.
//
// Vertex shaders read the vertex list's attributes at fixed locations:
//   0 aPosition (vec3), 1 aColor (vec4, the ARGB colour as 0..1; white when
//   the list has no colour), 2..9 aTex0..aTex7 (vec2);
// the constant registers as "uniform vec4 vc[N]" (N up to 256), and write
// gl_Position the way the fixed pipeline does: y up in the target and the
// depth from 0 to w. The renderer appends its own main, which calls the
// shader's and turns the position over for render-target textures.
//
// Pixel shaders read "in vec4 vColor" and "in vec2 vTex0".."vTex7" (the
// fixed vertex stage writes them), sample "uniform sampler2D uTex0".."uTex7"
// (texture stage i is sampler i), take the constant registers as
// "uniform vec4 pc[N]" (N up to 224) and write "layout(location = 0) out
// vec4" for the colour.
#pragma once

namespace zel {

constexpr int kAttribPosition = 0;
constexpr int kAttribColor = 1;
constexpr int kAttribTex0 = 2;

constexpr int kMaxVertexRegisters = 256;
constexpr int kMaxPixelRegisters = 224;
constexpr int kMaxTextureStages = 8;

}  // namespace zel
