// The GLSL sources of src/render/shaders, built into the library.
#pragma once

#include <string_view>

namespace zel {

// The source of "stage.vert", "stage.frag", ...; empty for an unknown name.
std::string_view ShaderSource(std::string_view name);

}  // namespace zel
