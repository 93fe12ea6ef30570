// Runs one of our programs and collects what it printed; tells whether a
// program the tests compare with (ffmpeg, mpg123...) is installed.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace zel::testing_support {

struct TRunResult {
  int exitCode = -1;
  std::string output;  // stdout and stderr together
};

inline TRunResult RunProgram(const std::string& commandLine) {
  TRunResult result;
  FILE* pipe = ::popen((commandLine + " 2>&1").c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// Whether the program is on the PATH (tests that need it skip without it).
inline bool HaveProgram(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace zel::testing_support
