// Appended to every vertex shader, whose own main was renamed. Vertex
// shaders write positions the way the rest of the system thinks of them:
// y up in the target, depth 0..w. Render-target textures are stored with
// their top row first, so drawing into one turns y over; and this
// platform's clip depth runs from -w to w.
uniform float uZelFlipY;

void main() {
  zel_user_main();
  gl_Position.y *= uZelFlipY;
  gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;
}
