// One vertical pass of the separable 7-tap blur: the weighted sum of the
// samples at offsets -3..3 steps, all four channels. Coordinates are held
// inside the rectangle the source's content covers, so the texels beyond
// it (never cleared) are not read.
//   pc[0]  weights for the offsets 3, 2, 1 and 0
//   pc[1].x  the step in texture coordinates
//   pc[2]  the content rectangle in texture coordinates (left, top, right, bottom)
in vec4 vColor;
in vec2 vTex0;
uniform sampler2D uTex0;
uniform vec4 pc[3];
layout(location = 0) out vec4 fragColor;

vec4 At(float k) { return texture(uTex0, clamp(vTex0 + k * vec2(0.0, pc[1].x), pc[2].xy, pc[2].zw)); }

void main() {
  vec4 sum = pc[0].w * At(0.0);
  sum += pc[0].z * (At(-1.0) + At(1.0));
  sum += pc[0].y * (At(-2.0) + At(2.0));
  sum += pc[0].x * (At(-3.0) + At(3.0));
  fragColor = sum;
}
