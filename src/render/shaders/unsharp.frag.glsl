// Unsharp masking: each channel's difference from a 3 x 3 binomial blur
// (weights 1-2-1 both ways, sum 16) is added back, scaled by the amount,
// where it reaches the threshold. Alpha stays as it is. The blur is the
// mean of four linearly filtered samples half a texel off the centre
// diagonally, each the mean of a 2 x 2 block: together exactly the 1-2-1
// weights, in four reads instead of nine (the texture must be sampled
// linearly).
//   pc[0].xy  texel size (1 / width, 1 / height)
//   pc[1].x   threshold
//   pc[2].x   amount
in vec4 vColor;
in vec2 vTex0;
uniform sampler2D uTex0;
uniform vec4 pc[3];
layout(location = 0) out vec4 fragColor;

vec4 At(float dx, float dy) { return texture(uTex0, vTex0 + vec2(dx, dy) * pc[0].xy); }

void main() {
  vec4 pixel = texture(uTex0, vTex0);
  vec4 blur = (At(-0.5, -0.5) + At(0.5, -0.5) + At(-0.5, 0.5) + At(0.5, 0.5)) / 4.0;
  vec3 diff = pixel.rgb - blur.rgb;
  vec3 sharpened = pixel.rgb + pc[2].x * diff;
  vec3 chosen = mix(pixel.rgb, sharpened, vec3(greaterThanEqual(abs(diff), vec3(pc[1].x))));
  fragColor = vec4(clamp(chosen, 0.0, 1.0), pixel.a);
}
