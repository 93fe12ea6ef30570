// What a GL test does when no GL context can be made here: it fails, since
// passing without drawing proves nothing, unless ZEL_ALLOW_NO_GL=1 says a
// machine without GL is expected, in which case it is skipped.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace zel::testing_support {

inline bool NoGlAllowed() {
  const char* allow = std::getenv("ZEL_ALLOW_NO_GL");
  return allow && std::strcmp(allow, "1") == 0;
}

inline constexpr const char* kNoGlMessage =
    "no GL context can be made here: these tests need OpenGL 3.3 through SDL's offscreen video driver and Mesa's "
    "EGL (llvmpipe will do); set ZEL_ALLOW_NO_GL=1 to skip them on a machine without GL";

}  // namespace zel::testing_support

// Ends the test: skipped when ZEL_ALLOW_NO_GL=1, failed otherwise.
#define ZEL_NO_GL_HERE()                                                                     \
  do {                                                                                       \
    if (::zel::testing_support::NoGlAllowed()) GTEST_SKIP() << ::zel::testing_support::kNoGlMessage; \
    FAIL() << ::zel::testing_support::kNoGlMessage;                                          \
  } while (0)
