// x_pixel_wait: how long a program takes to put a given colour on the X
// screen. It starts the program, watches one pixel of the root window and
// prints the milliseconds from just before the program was started to the
// first look that found the colour there; then it ends the program.
//
//   x_pixel_wait --x X --y Y --rgb RRGGBB [--tolerance N] [--timeout-ms MS]
//                [--verbose] -- COMMAND ARGS...
//   x_pixel_wait --x X --y Y --rgb RRGGBB --gone [--tolerance N] [--timeout-ms MS]
//
// The second form starts nothing: it waits until the pixel no longer shows
// the colour (the start-up benchmark uses it to know that the screen is
// clear before the next program starts).
//
// The display ($DISPLAY) is opened before the clock starts, so the figure
// holds the program's own start-up and nothing of ours. The command's output
// goes to /dev/null, or with --verbose to our stderr. The root window's
// image holds every mapped window drawn over it, as the screen shows them.
// Exit status: 0 when the colour came (or went, with --gone), 1 on a time-out
// or when the program ended first, 2 on bad arguments or no display.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kPollInterval = std::chrono::milliseconds(2);
constexpr auto kTermGrace = std::chrono::seconds(2);

struct Options {
  int x = -1, y = -1;
  unsigned rgb = 0;
  bool haveRgb = false;
  int tolerance = 24;
  long timeoutMs = 30000;
  bool verbose = false;
  bool gone = false;
  std::vector<char*> command;  // null-terminated for execvp
};

[[noreturn]] void Usage(const char* why) {
  std::fprintf(stderr,
               "x_pixel_wait: %s\n"
               "usage: x_pixel_wait --x X --y Y --rgb RRGGBB [--tolerance N] [--timeout-ms MS] [--verbose]"
               " -- COMMAND ARGS...\n"
               "       x_pixel_wait --x X --y Y --rgb RRGGBB --gone [--tolerance N] [--timeout-ms MS]\n",
               why);
  std::exit(2);
}

long ParseNumber(const char* text, const char* what, int base = 10) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, base);
  if (errno != 0 || end == text || *end != '\0' || value < 0) {
    std::string why = std::string("bad ") + what + ": " + text;
    Usage(why.c_str());
  }
  return value;
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  int i = 1;
  auto value = [&](const char* name) -> const char* {
    if (i + 1 >= argc) {
      std::string why = std::string(name) + " needs a value";
      Usage(why.c_str());
    }
    return argv[++i];
  };
  for (; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--") {
      ++i;
      break;
    } else if (a == "--x") {
      o.x = static_cast<int>(ParseNumber(value("--x"), "--x"));
    } else if (a == "--y") {
      o.y = static_cast<int>(ParseNumber(value("--y"), "--y"));
    } else if (a == "--rgb") {
      std::string_view text = value("--rgb");
      if (!text.empty() && text.front() == '#') text.remove_prefix(1);
      if (text.size() != 6) Usage("--rgb wants six hexadecimal digits, RRGGBB");
      o.rgb = static_cast<unsigned>(ParseNumber(std::string(text).c_str(), "--rgb", 16));
      o.haveRgb = true;
    } else if (a == "--tolerance") {
      o.tolerance = static_cast<int>(ParseNumber(value("--tolerance"), "--tolerance"));
    } else if (a == "--timeout-ms") {
      o.timeoutMs = ParseNumber(value("--timeout-ms"), "--timeout-ms");
    } else if (a == "--verbose") {
      o.verbose = true;
    } else if (a == "--gone") {
      o.gone = true;
    } else {
      std::string why = "unknown argument: " + std::string(a);
      Usage(why.c_str());
    }
  }
  for (; i < argc; ++i) o.command.push_back(argv[i]);
  o.command.push_back(nullptr);
  if (o.x < 0 || o.y < 0) Usage("--x and --y are needed");
  if (!o.haveRgb) Usage("--rgb is needed");
  if (o.gone && o.command.size() > 1) Usage("--gone starts no command");
  if (!o.gone && o.command.size() < 2) Usage("no command after --");
  return o;
}

// One channel of a pixel value, scaled to 0..255 whatever the visual's mask.
int Channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1) == 0) ++shift;
  const unsigned long top = mask >> shift;
  const unsigned long v = (pixel & mask) >> shift;
  return static_cast<int>(v * 255 / top);
}

class PixelProbe {
 public:
  PixelProbe(Display* display, int x, int y)
      : fDisplay(display), fRoot(DefaultRootWindow(display)), fX(x), fY(y) {}

  // The pixel's colour as 0xRRGGBB, or -1 when the server gave no image.
  long Read() const {
    XImage* image = XGetImage(fDisplay, fRoot, fX, fY, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) return -1;
    const unsigned long pixel = XGetPixel(image, 0, 0);
    const long rgb = (Channel(pixel, image->red_mask) << 16) | (Channel(pixel, image->green_mask) << 8) |
                     Channel(pixel, image->blue_mask);
    XDestroyImage(image);
    return rgb;
  }

 private:
  Display* fDisplay;
  Window fRoot;
  int fX, fY;
};

bool Matches(long rgb, unsigned want, int tolerance) {
  if (rgb < 0) return false;
  for (int shift : {16, 8, 0}) {
    const int have = static_cast<int>((rgb >> shift) & 0xFF);
    const int need = static_cast<int>((want >> shift) & 0xFF);
    if (std::abs(have - need) > tolerance) return false;
  }
  return true;
}

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Starts the command in a process group of its own, so that ending it also
// ends whatever it started (a wrapper script's children, for instance).
pid_t Start(const Options& o) {
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("x_pixel_wait: fork");
    std::exit(2);
  }
  if (pid == 0) {
    setpgid(0, 0);
    // Our own stderr, kept for the one message below after the command's
    // output has gone to /dev/null; closed by a successful exec.
    const int report = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      // With --verbose the command's output joins our stderr, so that our
      // stdout holds the figure alone.
      dup2(o.verbose ? STDERR_FILENO : null, STDOUT_FILENO);
      if (!o.verbose) dup2(null, STDERR_FILENO);
      if (null > STDERR_FILENO) close(null);
    }
    execvp(o.command[0], o.command.data());
    const std::string why = std::string("x_pixel_wait: cannot run ") + o.command[0] + ": " + std::strerror(errno) + "\n";
    if (report >= 0 && write(report, why.data(), why.size()) < 0) _exit(127);
    _exit(127);
  }
  setpgid(pid, pid);  // also from here, so that the group exists whichever side runs first
  return pid;
}

// SIGTERM to the command's group; SIGKILL if it is still there 2 s later.
void Stop(pid_t pid) {
  kill(-pid, SIGTERM);
  const auto deadline = Clock::now() + kTermGrace;
  while (Clock::now() < deadline) {
    const pid_t r = waitpid(pid, nullptr, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) {
      kill(-pid, SIGKILL);  // anything left behind in its group
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(-pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

std::string Describe(int status) {
  if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return std::string("was killed by signal ") + strsignal(WTERMSIG(status));
  return "ended";
}

int WaitGone(Display* display, const Options& o) {
  const PixelProbe probe(display, o.x, o.y);
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::milliseconds(o.timeoutMs);
  for (;;) {
    if (!Matches(probe.Read(), o.rgb, o.tolerance)) return 0;
    if (Clock::now() >= deadline) {
      std::fprintf(stderr, "x_pixel_wait: the pixel at %d,%d still shows %06X after %ld ms\n", o.x, o.y, o.rgb,
                   o.timeoutMs);
      return 1;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
}

int WaitShown(Display* display, const Options& o) {
  const PixelProbe probe(display, o.x, o.y);
  const auto start = Clock::now();
  const pid_t pid = Start(o);
  const auto deadline = start + std::chrono::milliseconds(o.timeoutMs);
  long last = -1;
  for (;;) {
    last = probe.Read();
    if (Matches(last, o.rgb, o.tolerance)) {
      const double elapsed = MsSince(start);
      std::printf("%.1f\n", elapsed);
      std::fflush(stdout);
      Stop(pid);
      return 0;
    }
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      kill(-pid, SIGKILL);
      std::fprintf(stderr, "x_pixel_wait: %s %s after %.0f ms before %06X showed at %d,%d (last seen %06lX)\n",
                   o.command[0], Describe(status).c_str(), MsSince(start), o.rgb, o.x, o.y, last < 0 ? 0 : last);
      return 1;
    }
    if (Clock::now() >= deadline) {
      std::fprintf(stderr, "x_pixel_wait: %06X did not show at %d,%d within %ld ms (last seen %06lX)\n", o.rgb, o.x,
                   o.y, o.timeoutMs, last < 0 ? 0 : last);
      Stop(pid);
      return 1;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = ParseOptions(argc, argv);
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    const char* name = std::getenv("DISPLAY");
    std::fprintf(stderr, "x_pixel_wait: cannot open the X display %s\n", name ? name : "(DISPLAY is not set)");
    return 2;
  }
  const int width = DisplayWidth(display, DefaultScreen(display));
  const int height = DisplayHeight(display, DefaultScreen(display));
  if (o.x >= width || o.y >= height) {
    std::fprintf(stderr, "x_pixel_wait: %d,%d is outside the %dx%d screen\n", o.x, o.y, width, height);
    XCloseDisplay(display);
    return 2;
  }
  const int result = o.gone ? WaitGone(display, o) : WaitShown(display, o);
  XCloseDisplay(display);
  return result;
}
