#pragma once
// The built veltrane.dll loaded the way the shell loads it, and extension objects from it.

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "framework/Handles.h"

namespace menutest {

// The DLL's Windows path (beside it lie veltrane.chm and pencil.avi).
std::string DllPath();

// A fresh extension object from the DLL's class factory, as the shell gets it.
struct Extension {
    Extension();
    veltrane::ComPtr<IShellExtInit> init;
    veltrane::ComPtr<IContextMenu> menu;
};

// InvokeCommand with a command offset, as the shell calls it for a picked menu item.
HRESULT InvokeOffset(IContextMenu* menu, UINT offset, HWND owner = nullptr);

}  // namespace menutest
