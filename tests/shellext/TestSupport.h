#pragma once
// Small helpers shared by the shell extension's tests.

#include <windows.h>

#include <algorithm>
#include <string>

#include "framework/Handles.h"
#include "support/WinTestSupport.h"

namespace testsupport {

using veltrane::test::WindowsPath;

#ifdef VELTRANE_DLL_PATH
inline std::string DllPath() {
    return WindowsPath(VELTRANE_DLL_PATH);
}
#endif

// An export of `module` as a function pointer of its real type.
template <class Function>
Function Export(HMODULE module, const char* name) {
    // Through the generic function type: FARPROC's own signature is a placeholder.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

struct ProcessResult {
    bool started = false;
    DWORD exitCode = 0;
    std::string output;  // standard output and standard error together, line ends as "\n"
};

// Runs a command line to its end and collects what it writes.
inline ProcessResult RunProcess(const std::string& commandLine) {
    ProcessResult result;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    veltrane::UniqueHandle readEnd;
    veltrane::UniqueHandle writeEnd;
    if (!::CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) return result;
    ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    PROCESS_INFORMATION info = {};
    std::string mutableLine = commandLine;
    if (!::CreateProcessA(nullptr, &mutableLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &info)) {
        return result;
    }
    veltrane::UniqueHandle process(info.hProcess);
    veltrane::UniqueHandle thread(info.hThread);
    writeEnd.reset();  // so the read below ends when the child's copies close
    result.started = true;

    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(readEnd.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        result.output.append(buffer, got);
    }
    result.output.erase(std::remove(result.output.begin(), result.output.end(), '\r'),
                        result.output.end());
    ::WaitForSingleObject(process.get(), INFINITE);
    ::GetExitCodeProcess(process.get(), &result.exitCode);
    return result;
}

// A REG_SZ value; `exists` false when the key or value is missing or of another type.
// `size` is the stored size in bytes.
struct RegString {
    bool exists = false;
    std::string text;
    DWORD size = 0;
};

inline RegString ReadRegString(HKEY root, const std::string& key, const char* valueName) {
    RegString value;
    veltrane::UniqueHKey opened;
    if (::RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, opened.put()) != ERROR_SUCCESS) {
        return value;
    }
    char data[1024] = "";
    DWORD type = 0;
    DWORD size = sizeof(data) - 1;
    if (::RegQueryValueExA(opened.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(data),
                           &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return value;
    }
    data[size] = '\0';
    value.exists = true;
    value.text = data;
    value.size = size;
    return value;
}

inline bool KeyExists(HKEY root, const std::string& key) {
    veltrane::UniqueHKey opened;
    return ::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, opened.put()) == ERROR_SUCCESS;
}

}  // namespace testsupport
