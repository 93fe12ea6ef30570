#include <cstdio>
#include <string>
#include <vector>

#include "tool.h"
#include "video/ffmpeg/media_audio.h"

int main(int argc, char** argv) {
  using zel::tool::ToolCommands;
  const std::string name = argc > 1 ? argv[1] : "help";
  const std::vector<std::string> arguments(argv + (argc > 1 ? 2 : 1), argv + argc);
  const std::string lookup = (name == "--help" || name == "-h") ? "help" : name;
  // Sound commands read every kind the player reads.
  zel::RegisterMediaLibraryAudio();
  for (const auto& command : ToolCommands()) {
    if (command.name == lookup) return command.run(arguments);
  }
  std::fprintf(stderr, "zeltool: unknown subcommand '%s' (zeltool help lists them)\n", name.c_str());
  return 2;
}
