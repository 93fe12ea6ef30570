// The vertex stage of the fixed pipeline: one matrix (world * view *
// projection, uploaded in the row-vector layout) and the vertex's colour
// and coordinate pairs passed through. Pixel shaders read the same names.
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec4 aColor;
layout(location = 2) in vec2 aTex0;
layout(location = 3) in vec2 aTex1;
layout(location = 4) in vec2 aTex2;
layout(location = 5) in vec2 aTex3;
layout(location = 6) in vec2 aTex4;
layout(location = 7) in vec2 aTex5;
layout(location = 8) in vec2 aTex6;
layout(location = 9) in vec2 aTex7;

uniform mat4 uMatrix;

out vec4 vColor;
out vec2 vTex0;
out vec2 vTex1;
out vec2 vTex2;
out vec2 vTex3;
out vec2 vTex4;
out vec2 vTex5;
out vec2 vTex6;
out vec2 vTex7;

void main() {
  gl_Position = uMatrix * vec4(aPosition, 1.0);
  vColor = aColor;
  vTex0 = aTex0;
  vTex1 = aTex1;
  vTex2 = aTex2;
  vTex3 = aTex3;
  vTex4 = aTex4;
  vTex5 = aTex5;
  vTex6 = aTex6;
  vTex7 = aTex7;
}
