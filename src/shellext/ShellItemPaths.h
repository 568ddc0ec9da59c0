#pragma once
// The selection as the Windows 11 menu hands it over: shell items, whose paths are read in
// wide form and kept as exact UTF-8.

#include <windows.h>
#include <shobjidl.h>

#include <string>
#include <vector>

namespace veltrane {

// The exact UTF-8 form of `text`. False, with `out` empty, when there is none (an unpaired
// surrogate): such a name is refused, never approximated, because an approximation can
// name another file.
bool WideToUtf8(const wchar_t* text, std::string& out);

// A selected path as the job takes it: its exact UTF-8 form, or, when it has none, its
// shown form behind kUnreadableNameMark, for the job to refuse and report.
std::string SelectedPath(const std::wstring& path);

// The file-system paths of `items` in the shell's order. An item without a file-system
// path is an empty entry, and a path without an exact UTF-8 form a marked one: the job
// refuses both and reports them. No items (null) is an empty list.
std::vector<std::string> ShellItemPaths(IShellItemArray* items);

}  // namespace veltrane
