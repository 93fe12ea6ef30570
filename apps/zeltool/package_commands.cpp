// The subcommands that make and inspect show packages.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/streams.h"
#include "ini/ini_parser.h"
#include "package/package_writer.h"
#include "package/show_locator.h"
#include "package/zel_unpack.h"
#include "platform/disk_names.h"
#include "tool.h"

namespace zel::tool {

namespace {

namespace fs = std::filesystem;

const char* const kDefaultStoredExtensions = "jpg,jpeg,png,gif,mp3,ogg,wma,mp4,avi,wmv,mov,mkv";

struct TPackOptions {
  std::string out;
  std::string exe;
  uint8_t method = pmDeflated;
  std::set<std::string> storedExtensions;
  bool allowModify = false;
  std::optional<std::string> zelVersion;
  std::string project;
};

struct TPackFile {
  TString entryName;  // "\" between folders
  std::string diskPath;
};

std::string LowerAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::set<std::string> SplitList(const std::string& list) {
  std::set<std::string> items;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t comma = list.find(',', start);
    std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!item.empty() && item.front() == '.') item.erase(0, 1);
    if (!item.empty()) items.insert(LowerAscii(item));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return items;
}

// Every value of the document, objects included.
void EachValue(const TIniCollection& collection, const std::function<void(TStringView)>& visit) {
  for (const TCommonIniItem* item = collection.First(); item; item = item->Next()) {
    if (const auto* ident = dynamic_cast<const TIniIdent*>(item)) {
      visit(ident->ValueView());
    } else if (const auto* inner = dynamic_cast<const TIniCollection*>(item)) {
      EachValue(*inner, visit);
    }
  }
}

std::string EntryNameOf(const fs::path& relative) {
  std::string name;
  for (const auto& part : relative) {
    if (!name.empty()) name += '\\';
    name += part.string();
  }
  return name;
}

// The project's folder tree, then files the project names outside it.
std::vector<TPackFile> CollectFiles(const TPackOptions& options, const TIniFile& project) {
  std::vector<TPackFile> files;
  const fs::path projectPath = fs::absolute(options.project);
  const fs::path folder = projectPath.parent_path();
  std::set<fs::path> taken{fs::weakly_canonical(projectPath), fs::weakly_canonical(fs::absolute(options.out))};
  std::vector<fs::path> tree;
  for (const auto& entry : fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied)) {
    if (entry.is_regular_file()) tree.push_back(entry.path());
  }
  std::sort(tree.begin(), tree.end());
  for (const auto& path : tree) {
    if (!taken.insert(fs::weakly_canonical(path)).second) continue;
    files.push_back({Utf8ToString(EntryNameOf(fs::relative(path, folder))), path.string()});
  }
  EachValue(project, [&](TStringView value) {
    if (value.empty() || value.size() > 4096) return;
    TString name(value);
    const bool absolute = name.front() == u'/' || name.front() == u'\\';
    const TString onDisk = absolute ? name : Utf8ToString(folder.string()) + u"/" + name;
    if (!DiskFileExists(onDisk)) return;
    const fs::path path = DiskNameFor(onDisk);
    if (!taken.insert(fs::weakly_canonical(path)).second) return;
    files.push_back({name, path.string()});
  });
  return files;
}

bool ParsePackOptions(TArguments arguments, TPackOptions& options) {
  options.storedExtensions = SplitList(kDefaultStoredExtensions);
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    auto value = [&](std::string& target) {
      if (i + 1 >= arguments.size()) return false;
      target = arguments[++i];
      return true;
    };
    std::string text;
    if (a == "--out") {
      if (!value(options.out)) return false;
    } else if (a == "--exe") {
      if (!value(options.exe)) return false;
    } else if (a == "--method") {
      if (!value(text) || text.size() != 1 || text[0] < '0' || text[0] > '2') return false;
      options.method = static_cast<uint8_t>(text[0] - '0');
    } else if (a == "--store-ext") {
      if (!value(text)) return false;
      options.storedExtensions = SplitList(text);
    } else if (a == "--allow-modify") {
      options.allowModify = true;
    } else if (a == "--zelversion") {
      if (!value(text)) return false;
      options.zelVersion = text;
    } else if (!a.empty() && a[0] == '-') {
      return false;
    } else {
      if (!options.project.empty()) return false;
      options.project = a;
    }
  }
  return !options.out.empty() && !options.project.empty();
}

uint8_t MethodFor(const TPackOptions& options, const std::string& path) {
  std::string extension = fs::path(path).extension().string();
  if (!extension.empty()) extension.erase(0, 1);
  return options.storedExtensions.count(LowerAscii(extension)) ? static_cast<uint8_t>(pmStored) : options.method;
}

// Reports every two seconds on large shows, so a long pack shows progress.
class TPackProgress {
 public:
  explicit TPackProgress(size_t total) : fTotal(total), fLast(std::chrono::steady_clock::now()) {}
  void Step(int64_t bytes) {
    ++fDone;
    fBytes += bytes;
    const auto now = std::chrono::steady_clock::now();
    if (now - fLast < std::chrono::seconds(2)) return;
    fLast = now;
    std::fprintf(stderr, "zeltool pack: %zu of %zu files, %.1f MB\n", fDone, fTotal, static_cast<double>(fBytes) / 1e6);
  }

 private:
  size_t fTotal;
  size_t fDone = 0;
  int64_t fBytes = 0;
  std::chrono::steady_clock::time_point fLast;
};

std::unique_ptr<TZelUnpack> OpenReadyPackage(const std::string& file, std::string_view command) {
  auto package = std::make_unique<TZelUnpack>(file);
  if (package->Ready()) return package;
  Fail(command, package->ErrorMessage().empty() ? "not a show package" : package->ErrorMessage());
  return nullptr;
}

}  // namespace

int RunPack(TArguments arguments) {
  TPackOptions options;
  if (!ParsePackOptions(arguments, options)) return UsageError("pack");
  TIniFile project;
  if (!project.LoadFromFile(options.project)) return Fail("pack", "cannot load the project '" + options.project + "'");
  try {
    const auto files = CollectFiles(options, project);
    TFileStream out(options.out, TFileCreation::CreateAlways, fsRead, faReadWrite);
    if (!options.exe.empty()) {
      auto player = TFileStream::OpenRead(options.exe);
      out.CopyFrom(*player, player->GetSize());
    }
    TZelPackWriter writer(out);
    {
      auto text = TFileStream::OpenRead(options.project);
      writer.AddEntry(kProjectEntryName, *text, options.method);
    }
    TPackProgress progress(files.size());
    for (const auto& file : files) {
      auto content = TFileStream::OpenRead(file.diskPath);
      const int64_t size = content->GetSize();
      writer.AddEntry(file.entryName, *content, MethodFor(options, file.diskPath));
      progress.Step(size);
    }
    const TString version = options.zelVersion ? Utf8ToString(*options.zelVersion)
                                               : project.ReadString(u"Main", u"ZelVersion", AsciiToString(ZEL_VERSION));
    writer.Finish(!options.exe.empty(), options.allowModify, version);
    const int64_t size = out.GetSize();
    out.Close();
    if (!options.exe.empty()) ::chmod(options.out.c_str(), 0755);
    std::printf("packed %d entries into %s (%lld bytes)\n", writer.EntryCount(), options.out.c_str(),
                static_cast<long long>(size));
    return 0;
  } catch (const EFileError& e) {
    return Fail("pack", "cannot open " + e.Message());
  } catch (const std::exception& e) {
    return Fail("pack", e.what());
  }
}

int RunList(TArguments arguments) {
  if (arguments.size() != 1) return UsageError("list");
  const auto package = OpenReadyPackage(arguments[0], "list");
  if (!package) return 1;
  for (const TString& name : package->EntryNames()) {
    const auto entry = package->FindEntry(name);
    std::printf("%s %lld %lld %d\n", StringToUtf8(name).c_str(), static_cast<long long>(entry->position),
                static_cast<long long>(entry->size), entry->method);
  }
  return 0;
}

int RunCheck(TArguments arguments) {
  if (arguments.size() != 1) return UsageError("check");
  const auto package = OpenReadyPackage(arguments[0], "check");
  if (!package) return 1;
  std::printf("ready %s\n", StringToUtf8(package->Version()).c_str());
  return 0;
}

int RunCat(TArguments arguments) {
  if (arguments.size() != 2) return UsageError("cat");
  std::string message;
  auto show = OpenExecutableShow(Utf8ToString(arguments[0]), message);
  if (!show) return Fail("cat", message.empty() ? "not a show package" : message);
  try {
    auto stream = show->Accessor().OpenStream(Utf8ToString(arguments[1]));
    if (!stream) return Fail("cat", "no such entry: " + arguments[1]);
    std::vector<uint8_t> buffer(65536);
    int32_t n;
    while ((n = stream->Read(buffer)) > 0) {
      if (std::fwrite(buffer.data(), 1, static_cast<size_t>(n), stdout) != static_cast<size_t>(n))
        return Fail("cat", "cannot write to stdout");
    }
    return 0;
  } catch (const std::exception& e) {
    return Fail("cat", e.what());
  }
}

}  // namespace zel::tool
