// How a file name given relative to a folder becomes a path, with Windows path syntax: '\' and
// '/' both separate folders, and "X:" names a drive.
#pragma once

#include "npl/wide_string.h"

/// The drive part of `folder`: its characters up to and including its first ':' when that
/// ':' comes before any '\' or '/'; empty otherwise (null counts as empty).
[[nodiscard]] EWideString GetDrivePrefix(const char16_t* folder);

/// `name` taken relative to `folder` (null counts as empty for both):
/// - an empty name gives the folder;
/// - a name that starts with '\' or '/' is rooted: the folder's drive prefix, then the name;
/// - a name with a ':' before any '\' or '/' is complete by itself ("D:y.bin");
/// - any other name follows the folder, with a '\' between them unless the folder is empty or
///   already ends with '\' or '/'.
/// Empty when the heap yields no block for the result.
[[nodiscard]] EWideString CombinePath(const char16_t* folder, const char16_t* name);
