#include "player/show_opening.h"

#include <filesystem>

#include "platform/paths.h"

namespace zel {

const char* const kCannotLoadShow = "Can`t Load Show";
const char* const kCannotLoadProject = "Can`t Load .zel File";

namespace {

std::string Quoted(TStringView name) { return "\"" + StringToUtf8(name) + "\""; }

}  // namespace

TShowRequest ShowRequestFrom(TCommandsStorage& commands, const std::string& playerPath) {
  const TString folder = Utf8ToString(ExtractFileDir(playerPath));
  TShowRequest request;
  if (const auto project = commands.Value(u"filename")) {
    request.isProject = true;
    request.fileName = AbsoluteName(*project, folder);
  } else if (const auto show = commands.Value(u"exename")) {
    request.fileName = AbsoluteName(*show, folder);
  } else {
    request.fileName = Utf8ToString(playerPath);
  }
  return request;
}

TString ReplaceExtension(TStringView name, TStringView extension) {
  const size_t folderEnd = name.find_last_of(u"/\\");
  const size_t dot = name.rfind(u'.');
  const bool hasExtension = dot != TStringView::npos && (folderEnd == TStringView::npos || dot > folderEnd);
  return TString(hasExtension ? name.substr(0, dot) : name) + TString(extension);
}

std::unique_ptr<TZelShowLocator> OpenShowFile(TStringView name, bool isProject, std::string& message,
                                              const TAccessorPreparation& prepare) {
  message.clear();
  if (isProject) {
    auto show = OpenProjectFile(name, prepare);
    if (!show) message = std::string(kCannotLoadProject) + "\r" + Quoted(name);
    return show;
  }
  const TString first = ChooseShowFile(name);
  std::string error;
  if (auto show = OpenExecutableShow(first, error, prepare)) return show;
  const TString second = ReplaceExtension(first, u".ZlShow");
  // The first name's reason tells most: it is the file the user named.
  std::string secondError;
  if (auto show = OpenExecutableShow(second, secondError, prepare)) return show;
  std::error_code ignored;
  if (error.empty() && !std::filesystem::exists(StringToUtf8(first), ignored)) error = secondError;
  message = (error.empty() ? std::string(kCannotLoadShow) : error) + "\r" + Quoted(first) + " or " + Quoted(second);
  return nullptr;
}

}  // namespace zel
