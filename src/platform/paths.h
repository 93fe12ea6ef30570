// The player's own file and plain name helpers for POSIX paths.
#pragma once

#include <string>
#include <string_view>

namespace zel {

// The full path of the running executable (UTF-8).
std::string PlayerExecutablePath();

// The folder of a path without its trailing separator ("/a/b/c" -> "/a/b").
std::string ExtractFileDir(std::string_view path);
// The last component ("/a/b/c.txt" -> "c.txt").
std::string ExtractFileName(std::string_view path);
// Joins a folder and a relative name with one "/".
std::string JoinPath(std::string_view folder, std::string_view name);

bool FileExists(const std::string& path);

}  // namespace zel
