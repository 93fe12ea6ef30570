// The opened show: its accessor, its project document and what the project
// says of itself; and the ways a show is opened (a package in an executable
// or show file, or a plain project file with its files beside it).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ini/ini_parser.h"
#include "package/file_accessor.h"

namespace zel {

// The name of the project entry in every package.
extern const char16_t* const kProjectEntryName;  // "Project.zel"
extern const char* const kExecutableShowOpenError;  // "Executable SlideShow Open Error"

class TZelShowLocator : public TObj {
 public:
  // Opens the project through the accessor and parses it; without it the
  // locator has no project. When the source keeps name and rotation maps,
  // they are loaded from the project's "FileMap" and "RotationState".
  TZelShowLocator(std::unique_ptr<TFileAccessor> accessor, TStringView projectName);
  // The same over an accessor somebody else owns.
  TZelShowLocator(TFileAccessor& accessor, TStringView projectName);
  ~TZelShowLocator() override;

  TFileAccessor& Accessor() const { return *fAccessor; }
  // Null when the project could not be opened or parsed.
  TIniFile* Project() const { return fProject.get(); }
  const TString& ProjectName() const { return fProjectName; }
  // "Main" / "ZelVersion" of the project.
  const TString& Version() const { return fVersion; }

 private:
  void Load();

  std::unique_ptr<TFileAccessor> fOwnedAccessor;
  TFileAccessor* fAccessor;
  std::unique_ptr<TIniFile> fProject;
  TString fProjectName;
  TString fVersion;
};

// Called with a show's accessor before its project is read from it (to
// install a load hook for the project's name).
using TAccessorPreparation = std::function<void(TFileAccessor& accessor, TStringView projectName)>;

// The show in a package file (an executable with a show behind it, or a
// show file). On failure: null, and the message says why (it may be empty:
// the caller then uses its own text).
std::unique_ptr<TZelShowLocator> OpenExecutableShow(TStringView fileName, std::string& errorMessage,
                                                    const TAccessorPreparation& prepare = {});
// The show of a plain project file; null when it cannot be opened.
std::unique_ptr<TZelShowLocator> OpenProjectFile(TStringView fileName, const TAccessorPreparation& prepare = {});

// The show file to open for a name: NAME/Contents/Resources/slideshow.dat
// for an ".app" bundle that has one, else the name unchanged.
TString ChooseShowFile(TStringView name);

// The folder part of a name, with a trailing separator ("" when none).
TString FolderOf(TStringView name);

}  // namespace zel
