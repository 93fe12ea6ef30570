#include "package/show_locator.h"

#include <mutex>

#include "package/zel_unpack.h"
#include "platform/disk_names.h"

namespace zel {

const char16_t* const kProjectEntryName = u"Project.zel";
const char* const kExecutableShowOpenError = "Executable SlideShow Open Error";

namespace {

// The executable a plain project describes ("opt_exefn"), remembered with
// the project file itself: opening that executable opens the project again.
std::mutex gProjectLock;
TString gProjectExecutable;
TString gProjectFile;

}  // namespace

TString FolderOf(TStringView name) {
  const size_t separator = name.find_last_of(u"\\/");
  if (separator == TStringView::npos) return {};
  return TString(name.substr(0, separator + 1));
}

TZelShowLocator::TZelShowLocator(std::unique_ptr<TFileAccessor> accessor, TStringView projectName)
    : fOwnedAccessor(std::move(accessor)), fAccessor(fOwnedAccessor.get()), fProjectName(projectName) {
  Load();
}

TZelShowLocator::TZelShowLocator(TFileAccessor& accessor, TStringView projectName)
    : fAccessor(&accessor), fProjectName(projectName) {
  Load();
}

TZelShowLocator::~TZelShowLocator() = default;

void TZelShowLocator::Load() {
  auto stream = fAccessor->OpenStream(fProjectName);
  if (!stream) return;
  auto project = std::make_unique<TIniFile>();
  try {
    if (!project->LoadFromStream(*stream)) return;
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception&) {
    return;  // no project document
  }
  fProject = std::move(project);
  fVersion = fProject->ReadString(u"Main", u"ZelVersion", u"");
  if (auto* mapped = dynamic_cast<TMappedFileSource*>(&fAccessor->Source())) mapped->LoadMaps(*fProject);
}

std::unique_ptr<TZelShowLocator> OpenExecutableShow(TStringView fileName, std::string& errorMessage,
                                                    const TAccessorPreparation& prepare) {
  errorMessage.clear();
  {
    std::unique_lock lock(gProjectLock);
    if (!gProjectExecutable.empty() && SameText(fileName, gProjectExecutable)) {
      const TString project = gProjectFile;
      lock.unlock();
      return OpenProjectFile(project, prepare);
    }
  }
  auto package = std::make_unique<TZelUnpack>(DiskNameFor(fileName));
  if (!package->Ready()) {
    errorMessage = package->ErrorMessage();
    return nullptr;
  }
  auto accessor = std::make_unique<TFileAccessor>(MakeRef<TPackedFileSource>(std::move(package)));
  accessor->SetBaseFolder(FolderOf(fileName));
  if (prepare) prepare(*accessor, kProjectEntryName);
  auto locator = std::make_unique<TZelShowLocator>(std::move(accessor), kProjectEntryName);
  if (!locator->Project()) {
    errorMessage = kExecutableShowOpenError;
    return nullptr;
  }
  return locator;
}

std::unique_ptr<TZelShowLocator> OpenProjectFile(TStringView fileName, const TAccessorPreparation& prepare) {
  auto source = MakeRef<TMappedFileSource>();
  source->SetFolder(FolderOf(fileName));
  auto accessor = std::make_unique<TFileAccessor>(source);
  TFileAccessor* raw = accessor.get();
  if (prepare) prepare(*accessor, fileName);
  auto locator = std::make_unique<TZelShowLocator>(std::move(accessor), fileName);
  if (!locator->Project()) return nullptr;
  const TString executable = locator->Project()->ReadString(u"Main", u"opt_exefn", u"");
  // Relative names resolve where the described executable lives; without
  // one, beside the project.
  raw->SetBaseFolder(executable.empty() ? FolderOf(fileName) : FolderOf(executable));
  {
    std::lock_guard lock(gProjectLock);
    gProjectExecutable = executable;
    gProjectFile.assign(fileName);
  }
  return locator;
}

TString ChooseShowFile(TStringView name) {
  {
    std::lock_guard lock(gProjectLock);
    if (!gProjectExecutable.empty() && SameText(name, gProjectExecutable)) return TString(name);
  }
  if (name.size() > 4 && SameText(name.substr(name.size() - 4), u".app")) {
    const TString inside = TString(name) + u"/Contents/Resources/slideshow.dat";
    if (DiskFileExists(inside)) return inside;
  }
  return TString(name);
}

}  // namespace zel
