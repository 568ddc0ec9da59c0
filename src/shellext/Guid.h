#pragma once
// The module's class identifiers.

#include <windows.h>

// The classic context-menu handler (IShellExtInit, IContextMenu).
extern const CLSID CLSID_ShellExt;
// The Windows 11 context-menu command (IExplorerCommand), registered by the package.
extern const CLSID CLSID_ExplorerCommand;
