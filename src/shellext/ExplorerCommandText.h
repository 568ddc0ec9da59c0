#pragma once
// Texts the Windows 11 menu asks its commands for, as task-allocated wide strings (the
// caller frees them with CoTaskMemFree).

#include <windows.h>

#include <string>

namespace veltrane {

// `text` (UTF-8) copied into a new task-allocated wide string in *out. E_POINTER for a
// null out; E_OUTOFMEMORY, or E_INVALIDARG for text that is not UTF-8, with *out null.
HRESULT CoTaskText(const char* text, LPWSTR* out) noexcept;
HRESULT CoTaskText(const std::wstring& text, LPWSTR* out) noexcept;

// Where the shell finds the menu's icon: "<module path>,-<IDI_MENU_ICON>"; empty when
// the module's path cannot be read.
std::wstring MenuIconLocation();

}  // namespace veltrane
