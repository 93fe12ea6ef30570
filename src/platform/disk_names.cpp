#include "platform/disk_names.h"

#include <dirent.h>
#include <sys/stat.h>

#include <vector>

namespace zel {

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 || ::stat(path.c_str(), &st) == 0;
}

// The entry of folder whose name equals component without regard to case.
std::optional<std::string> MatchInFolder(const std::string& folder, std::string_view component) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return std::nullopt;
  const TString wanted = Utf8ToString(component);
  std::optional<std::string> found;
  while (dirent* entry = ::readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (name == "." || name == "..") continue;
    if (SameText(Utf8ToString(name), wanted)) {
      found = std::string(name);
      break;
    }
  }
  ::closedir(dir);
  return found;
}

std::vector<std::string_view> SplitComponents(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t i = 0;
  while (i <= path.size()) {
    const size_t slash = path.find('/', i);
    const size_t end = slash == std::string_view::npos ? path.size() : slash;
    if (end > i) parts.push_back(path.substr(i, end - i));
    if (slash == std::string_view::npos) break;
    i = slash + 1;
  }
  return parts;
}

}  // namespace

std::string SlashedName(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

std::optional<std::string> FindDiskName(std::string_view name) {
  const std::string slashed = SlashedName(name);
  if (slashed.empty()) return std::nullopt;
  if (Exists(slashed)) return slashed;
  const bool absolute = slashed.front() == '/';
  std::string path = absolute ? "/" : "";
  for (const std::string_view component : SplitComponents(slashed)) {
    std::string next = path;
    if (!next.empty() && next.back() != '/') next += '/';
    if (component == "." || component == "..") {
      next += component;
    } else {
      const std::string exact = next + std::string(component);
      if (Exists(exact)) {
        next = exact;
      } else if (const auto match = MatchInFolder(path, component)) {
        next += *match;
      } else {
        return std::nullopt;
      }
    }
    path = std::move(next);
  }
  return path;
}

std::string DiskNameFor(TStringView name) {
  const std::string utf8 = StringToUtf8(name);
  if (auto found = FindDiskName(utf8)) return *found;
  return SlashedName(utf8);
}

bool DiskFileExists(TStringView name) {
  const auto found = FindDiskName(StringToUtf8(name));
  if (!found) return false;
  struct stat st {};
  return ::stat(found->c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace zel
