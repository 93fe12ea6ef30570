# Writes OUTPUT: a C++ source with every GLSL file of INPUTS as a raw string,
# looked up by file name without ".glsl". Run at build time, so the program
# never needs the source tree.
set(body "// Generated from src/render/shaders; do not edit.\n#include \"render/shader_sources.h\"\n\nnamespace zel {\n\nnamespace {\n\nstruct TEntry {\n  std::string_view Name;\n  std::string_view Source;\n};\n\nconst TEntry kSources[] = {\n")
foreach(input IN LISTS INPUTS)
  get_filename_component(name "${input}" NAME)
  string(REGEX REPLACE "\\.glsl$" "" name "${name}")
  file(READ "${input}" text)
  string(APPEND body "    {\"${name}\", R\"zelglsl(${text})zelglsl\"},\n")
endforeach()
string(APPEND body "};\n\n}  // namespace\n\nstd::string_view ShaderSource(std::string_view name) {\n  for (const TEntry& entry : kSources) {\n    if (entry.Name == name) return entry.Source;\n  }\n  return {};\n}\n\n}  // namespace zel\n")
file(WRITE "${OUTPUT}.tmp" "${body}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
