// Moves a picture toward its own luminance tinted by the vertex colour:
// RGB = pixel + degree * (2 * luma * colour - pixel); alpha is the
// pixel's times the vertex alpha.
//   pc[0].x  degree
in vec4 vColor;
in vec2 vTex0;
uniform sampler2D uTex0;
uniform vec4 pc[1];
layout(location = 0) out vec4 fragColor;

void main() {
  vec4 pixel = texture(uTex0, vTex0);
  float luma = dot(pixel.rgb, vec3(0.299, 0.587, 0.114));
  vec3 rgb = pixel.rgb + pc[0].x * (2.0 * luma * vColor.rgb - pixel.rgb);
  fragColor = vec4(clamp(rgb, 0.0, 1.0), pixel.a * vColor.a);
}
