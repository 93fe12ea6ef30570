// The sharp picture (texture 0) mixed with its blurred copy (texture 1):
// alpha 1 gives the blurred one.
//   pc[0].x  alpha
in vec4 vColor;
in vec2 vTex0;
in vec2 vTex1;
uniform sampler2D uTex0;
uniform sampler2D uTex1;
uniform vec4 pc[1];
layout(location = 0) out vec4 fragColor;

void main() { fragColor = mix(texture(uTex0, vTex0), texture(uTex1, vTex1), pc[0].x); }
