#pragma once
// The module that contains this code: veltrane.dll when loaded by the shell, the test
// program when the core library is linked into one.

#include <windows.h>

#include <string>

namespace veltrane {

// Instance handle of the module containing the code.
HINSTANCE ModuleInstance() noexcept;

// Module whose resources (bitmap, dialog templates, manifest) the code loads.
HINSTANCE ResourceInstance() noexcept;

// Full file name of ModuleInstance(), read in wide form so that any install folder works;
// empty when it cannot be read in full.
std::wstring ModuleFileNameW();
// The same in UTF-8; empty also when it has no exact UTF-8 form.
std::string ModuleFileName();

// A file beside the module (its folder joined with `name`): where the help file and the
// animation are installed. Empty when the module's name cannot be read.
std::wstring ModuleSiblingW(const wchar_t* name);

}  // namespace veltrane
