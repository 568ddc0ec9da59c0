#pragma once
// The extension's class identifier.

#include <windows.h>

extern const CLSID CLSID_ShellExt;
