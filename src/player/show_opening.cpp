#include "player/show_opening.h"

#include "platform/paths.h"

namespace zel {

namespace {

const char* const kNoShow = "Slideshow File not Found";

}  // namespace

TShowRequest ShowRequestFrom(TCommandsStorage& commands, const std::string& playerPath) {
  const TString folder = Utf8ToString(ExtractFileDir(playerPath));
  TShowRequest request;
  if (const auto project = commands.Value(u"filename")) {
    request.isProject = true;
    request.fileName = AbsoluteName(*project, folder);
  } else if (const auto show = commands.Value(u"exename")) {
    request.fileName = ChooseShowFile(AbsoluteName(*show, folder));
  } else {
    request.fileName = Utf8ToString(playerPath);
  }
  return request;
}

std::unique_ptr<TZelShowLocator> OpenRequestedShow(const TShowRequest& request, std::string& errorMessage) {
  errorMessage.clear();
  std::unique_ptr<TZelShowLocator> show;
  if (request.isProject) {
    show = OpenProjectFile(request.fileName);
    if (!show) errorMessage = kExecutableShowOpenError;
  } else {
    show = OpenExecutableShow(request.fileName, errorMessage);
    if (!show && errorMessage.empty()) errorMessage = kNoShow;
  }
  return show;
}

}  // namespace zel
