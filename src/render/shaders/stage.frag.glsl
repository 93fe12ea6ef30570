// The texture stages of the fixed pipeline. The program builder defines
// TEX_COUNT (0..8), MOD_COLOR and MOD_ALPHA (0 or 1, for the draw without
// textures) and ALPHA_MODE_i for each stage:
//   0  alpha = texture alpha
//   1  alpha = texture alpha * current alpha
//   2  alpha = current alpha (textures without alpha of their own)
// Each stage i takes the texture's colour, times the current colour when
// MOD_COLOR is set; "current" is the vertex colour on stage 0 and the
// previous stage's result after that.
in vec4 vColor;
in vec2 vTex0;
in vec2 vTex1;
in vec2 vTex2;
in vec2 vTex3;
in vec2 vTex4;
in vec2 vTex5;
in vec2 vTex6;
in vec2 vTex7;

uniform sampler2D uTex0;
uniform sampler2D uTex1;
uniform sampler2D uTex2;
uniform sampler2D uTex3;
uniform sampler2D uTex4;
uniform sampler2D uTex5;
uniform sampler2D uTex6;
uniform sampler2D uTex7;

layout(location = 0) out vec4 fragColor;

vec4 Stage(vec4 current, vec4 texel, const int alphaMode) {
  vec4 result;
  result.rgb = MOD_COLOR != 0 ? texel.rgb * current.rgb : texel.rgb;
  if (alphaMode == 0) {
    result.a = texel.a;
  } else if (alphaMode == 1) {
    result.a = texel.a * current.a;
  } else {
    result.a = current.a;
  }
  return result;
}

void main() {
  vec4 current = vColor;
#if TEX_COUNT == 0
  current = vec4(MOD_COLOR != 0 ? vColor.rgb : vec3(1.0), MOD_ALPHA != 0 ? vColor.a : 1.0);
#endif
#if TEX_COUNT > 0
  current = Stage(current, texture(uTex0, vTex0), ALPHA_MODE_0);
#endif
#if TEX_COUNT > 1
  current = Stage(current, texture(uTex1, vTex1), ALPHA_MODE_1);
#endif
#if TEX_COUNT > 2
  current = Stage(current, texture(uTex2, vTex2), ALPHA_MODE_2);
#endif
#if TEX_COUNT > 3
  current = Stage(current, texture(uTex3, vTex3), ALPHA_MODE_3);
#endif
#if TEX_COUNT > 4
  current = Stage(current, texture(uTex4, vTex4), ALPHA_MODE_4);
#endif
#if TEX_COUNT > 5
  current = Stage(current, texture(uTex5, vTex5), ALPHA_MODE_5);
#endif
#if TEX_COUNT > 6
  current = Stage(current, texture(uTex6, vTex6), ALPHA_MODE_6);
#endif
#if TEX_COUNT > 7
  current = Stage(current, texture(uTex7, vTex7), ALPHA_MODE_7);
#endif
  fragColor = current;
}
