// installer-hold-module: keeps a DLL loaded the way Explorer keeps the extension loaded
// once it has shown a menu, so the setup test can replace and remove a DLL in use.
//
//   installer-hold-module <dll> <ready-file> <stop-file>
//
// Loads <dll>, creates <ready-file>, then waits until <stop-file> exists. Exit code 0,
// 1 for a usage error, 2 when the DLL cannot be loaded or the ready file not written.

#include <windows.h>

#include <cstdio>

#include "framework/Handles.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: installer-hold-module <dll> <ready-file> <stop-file>\n", stderr);
        return 1;
    }
    veltrane::UniqueModule module(::LoadLibraryA(argv[1]));
    if (!module) {
        std::fprintf(stderr, "cannot load %s: %lu\n", argv[1], ::GetLastError());
        return 2;
    }
    veltrane::UniqueFile ready(::CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!ready) return 2;
    ready.reset();
    // A slow poll: each look costs a wineserver round trip.
    while (::GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES) ::Sleep(100);
    return 0;
}
