// window: the slides the slide loader keeps built around a show time, once
// it has nothing more to build.
#include <cstdio>
#include <string>

#include "imaging/picture_loading.h"
#include "player/slide_loader.h"
#include "show/zel_source.h"
#include "tool.h"

namespace zel::tool {

namespace {

constexpr const char* kName = "window";
// More steps than the window has slides: each step builds at most one.
constexpr int kMaxSteps = 64;

std::string Milliseconds(double time) { return std::to_string(static_cast<int64_t>(time)); }

}  // namespace

int RunWindow(TArguments arguments) {
  std::string path, timeText;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--time" && i + 1 < arguments.size()) {
      timeText = arguments[++i];
    } else if (path.empty() && arguments[i].rfind("--", 0) != 0) {
      path = arguments[i];
    } else {
      return UsageError(kName);
    }
  }
  double time = 0;
  if (path.empty() || !ParseShowTime(timeText, time)) return UsageError(kName);
  InstallPictureLoading();
  TToolShow show;
  if (const int code = OpenToolShow(path, kName, show)) return code;
  try {
    auto timing = MakeRef<TTiming>();
    timing->SetCurrentTime(time);
    TZelSlideLoader loader(show.source.get(), 3, false, timing, nullptr, {});
    for (int step = 0; step < kMaxSteps && loader.Step(); ++step) {
    }
    bool ready = loader.WindowComplete();
    for (const auto& container : loader.Cache().Containers()) {
      const TSlideInfo& record = container->Record();
      std::printf("%lld %s %s\n", static_cast<long long>(container->Number()), Milliseconds(record.start).c_str(),
                  Milliseconds(record.outEnd).c_str());
      ready = ready && container->Slide() != nullptr;
    }
    std::printf("READY %d\n", ready ? 1 : 0);
  } catch (const std::exception& e) {
    return Fail(kName, e.what());
  }
  return 0;
}

}  // namespace zel::tool
