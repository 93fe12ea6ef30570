// How names from a show reach the disk. Shows are authored on Windows: their
// names use "\" between folders and may differ in letter case from the files
// on disk. This layer turns "\" into "/" and matches a component that does
// not exist with its exact case against its folder without regard to case.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/strings.h"

namespace zel {

// "\" becomes "/"; nothing else changes.
std::string SlashedName(std::string_view name);

// The name as it exists on disk, matching each missing component without
// regard to case (the first match in folder order wins); nothing when some
// component cannot be found. An exact match is always preferred.
std::optional<std::string> FindDiskName(std::string_view name);

// The UTF-16 show name as a UTF-8 disk name: slashed, and case-matched when
// the exact name is missing (returned slashed but unmatched when nothing
// matches, so that the caller's open fails with the expected name).
std::string DiskNameFor(TStringView name);

// The name exists as a regular file (after the disk-name rules).
bool DiskFileExists(TStringView name);

}  // namespace zel
