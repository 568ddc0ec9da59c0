// veltrane_shell_bench: what wipe commands of the real veltrane.dll cost under Wine, for
// bench/shell-bench.sh, which makes the table. The DLL is loaded by its path and driven
// the way Explorer drives it: a class factory, an extension object, Initialize with a
// drop list, QueryContextMenu, InvokeCommand. A command's time is that of InvokeCommand.
//
//   veltrane_shell_bench DLL plain FILE REPETITIONS
//       Plain write + flush passes over FILE (it exists, its size is kept), then the same
//       number of deletes of fresh copies of it: the median of each, in ms.
//   veltrane_shell_bench DLL wipe OFFSET PATH...
//       One command (menu offset 0-5) on the paths, after one command on a 1 KiB file
//       beside the first path, so that the figure is that of a later command.
//   veltrane_shell_bench DLL small FOLDER LATER [--warm PART]...
//       The first command of this process on a 1 KiB file in FOLDER, then LATER more,
//       each on a fresh 1 KiB file. With --warm, PART is used once before the first
//       command (comctl32, font, avi, thread, dialog), to show what its first use costs.
//
// Output: key=value lines, written once at the end (console output is slow under Wine).

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/Handles.h"
#include "support/WinTestSupport.h"

namespace {

using veltrane::ComPtr;

double NowMs() {
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string g_out;

void Put(const std::string& key, double value) {
    char text[128];
    std::snprintf(text, sizeof text, "%s=%.2f\n", key.c_str(), value);
    g_out += text;
}

// A drop list of the given paths, all a data object has to serve for the extension.
using DropList = veltrane::test::FakeDataObject;

// {CCF51AE6-B015-489C-BEE6-095BB5EF9BCF}
const CLSID kExtensionClass = {
    0xccf51ae6, 0xb015, 0x489c, {0xbe, 0xe6, 0x09, 0x5b, 0xb5, 0xef, 0x9b, 0xcf}};

class Extension {
public:
    explicit Extension(const char* dllPath) : m_dll(::LoadLibraryA(dllPath)) {
        if (!m_dll) return;
        using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
        const auto get = reinterpret_cast<GetClassObject>(
            reinterpret_cast<void*>(::GetProcAddress(m_dll, "DllGetClassObject")));
        if (get) get(kExtensionClass, IID_IClassFactory, m_factory.PutVoid());
    }
    bool Loaded() const { return m_factory.Get() != nullptr; }
    HMODULE Module() const { return m_dll; }

    // One command as Explorer runs it; returns the time InvokeCommand took, or -1.
    double Command(UINT offset, const std::vector<std::string>& paths) {
        ComPtr<IShellExtInit> init;
        ComPtr<IContextMenu> menu;
        if (FAILED(m_factory->CreateInstance(nullptr, IID_IShellExtInit, init.PutVoid())) ||
            FAILED(init->QueryInterface(IID_IContextMenu, menu.PutVoid()))) {
            return -1;
        }
        DropList drop(paths);
        if (FAILED(init->Initialize(nullptr, &drop, nullptr))) return -1;
        veltrane::UniqueMenu popup(::CreatePopupMenu());
        menu->QueryContextMenu(popup.get(), 0, 1, 0x7FFF, CMF_NORMAL);
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof info;
        info.lpVerb = MAKEINTRESOURCEA(offset);
        const double start = NowMs();
        const HRESULT result = menu->InvokeCommand(&info);
        const double took = NowMs() - start;
        return SUCCEEDED(result) ? took : -1;
    }

private:
    HMODULE m_dll;  // stays loaded: the process ends soon
    ComPtr<IClassFactory> m_factory;
};

bool WriteBytes(const std::string& path, std::uint64_t size, char fill, bool flush) {
    veltrane::UniqueFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    const std::vector<char> chunk(std::size_t{256} << 10, fill);
    for (std::uint64_t done = 0; done < size;) {
        const DWORD n = static_cast<DWORD>(std::min<std::uint64_t>(chunk.size(), size - done));
        DWORD written = 0;
        if (!::WriteFile(file.get(), chunk.data(), n, &written, nullptr) || written != n)
            return false;
        done += n;
    }
    return !flush || ::FlushFileBuffers(file.get());
}

std::uint64_t SizeOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

// The engine's pass without the engine: the file opened, overwritten in 256 KiB chunks
// of one byte value, flushed, closed.
double PlainPass(const std::string& path, std::uint64_t size) {
    const double start = NowMs();
    veltrane::UniqueFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return -1;
    const std::vector<char> chunk(std::size_t{256} << 10, '\xFF');
    for (std::uint64_t done = 0; done < size;) {
        const DWORD n = static_cast<DWORD>(std::min<std::uint64_t>(chunk.size(), size - done));
        DWORD written = 0;
        if (!::WriteFile(file.get(), chunk.data(), n, &written, nullptr)) return -1;
        done += n;
    }
    ::FlushFileBuffers(file.get());
    file.reset();
    return NowMs() - start;
}

int Plain(const std::string& path, int repetitions) {
    const std::uint64_t size = SizeOf(path);
    if (size == 0) return 2;
    std::vector<double> passes, deletes;
    for (int i = 0; i < repetitions; ++i) passes.push_back(PlainPass(path, size));
    const std::string copy = path + ".delete";
    for (int i = 0; i < repetitions; ++i) {
        if (!WriteBytes(copy, size, 'x', true)) return 2;
        const double start = NowMs();
        ::DeleteFileA(copy.c_str());
        deletes.push_back(NowMs() - start);
    }
    Put("plain_pass_ms", Median(passes));
    Put("plain_pass_best_ms", *std::min_element(passes.begin(), passes.end()));
    Put("delete_ms", Median(deletes));
    return 0;
}

std::string Folder(const std::string& path) {
    const std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

int Wipe(Extension& extension, UINT offset, const std::vector<std::string>& paths) {
    const std::string warm = Folder(paths.front()) + "\\warm-up.txt";
    if (!WriteBytes(warm, 1024, 'w', true) || extension.Command(0, {warm}) < 0) return 2;
    const double took = extension.Command(offset, paths);
    if (took < 0) return 2;
    Put("command_ms", took);
    return 0;
}

// The common controls, loaded on first use as the DLL loads them (this program does not
// import them, so that their first use is not paid for before the first command).
void InitCommonControls(DWORD classes) {
    using Init = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const HMODULE comctl32 = ::LoadLibraryA("comctl32.dll");
    const auto init = reinterpret_cast<Init>(
        reinterpret_cast<void*>(::GetProcAddress(comctl32, "InitCommonControlsEx")));
    const INITCOMMONCONTROLSEX what{sizeof what, classes};
    if (init) init(&what);
}

DWORD WINAPI DoNothing(void*) {
    return 0;
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

// First uses that the first command pays for, done beforehand one by one.
double Warm(const std::string& part, HMODULE dll) {
    const double start = NowMs();
    if (part == "comctl32") {
        InitCommonControls(ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS);
    } else if (part == "font") {
        HDC dc = ::GetDC(nullptr);
        HFONT font = ::CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0,
                                   0, 0, 0, "Verdana");
        HGDIOBJ old = ::SelectObject(dc, font);
        TEXTMETRICA metrics;
        ::GetTextMetricsA(dc, &metrics);
        SIZE extent;
        ::GetTextExtentPoint32A(dc, "Processing", 10, &extent);
        ::SelectObject(dc, old);
        ::DeleteObject(font);
        ::ReleaseDC(nullptr, dc);
    } else if (part == "avi") {
        InitCommonControls(ICC_ANIMATE_CLASS);
        char path[MAX_PATH];
        const DWORD n = ::GetModuleFileNameA(dll, path, MAX_PATH);
        std::string avi = Folder(std::string(path, n)) + "\\pencil.avi";
        HWND animation = ::CreateWindowA(ANIMATE_CLASSA, "", WS_POPUP, 0, 0, 60, 60, nullptr,
                                         nullptr, nullptr, nullptr);
        ::SendMessageA(animation, ACM_OPENA, 0, reinterpret_cast<LPARAM>(avi.c_str()));
        ::SendMessageA(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELONG(0, 0xFFFF));
        ::DestroyWindow(animation);
    } else if (part == "thread") {
        HANDLE thread = ::CreateThread(nullptr, 0, &DoNothing, nullptr, 0, nullptr);
        ::WaitForSingleObject(thread, INFINITE);
        ::CloseHandle(thread);
    } else if (part == "dialog") {
        // The progress dialog's own template, shown and hidden once.
        HWND dialog =
            ::CreateDialogParamA(dll, MAKEINTRESOURCEA(130), nullptr, &PlainDialogProc, 0);
        ::ShowWindow(dialog, SW_SHOW);
        ::ShowWindow(dialog, SW_HIDE);
        ::DestroyWindow(dialog);
    } else {
        return -1;
    }
    return NowMs() - start;
}

int Small(Extension& extension, const std::string& folder, int later,
          const std::vector<std::string>& warm) {
    for (const std::string& part : warm) {
        const double took = Warm(part, extension.Module());
        if (took < 0) return 1;
        Put("warm_" + part + "_ms", took);
    }
    std::vector<double> times;
    for (int i = 0; i <= later; ++i) {
        const std::string path = folder + "\\small-" + std::to_string(i) + ".txt";
        if (!WriteBytes(path, 1024, 's', true)) return 2;
        const double took = extension.Command(0, {path});
        if (took < 0) return 2;
        times.push_back(took);
    }
    Put("first_ms", times.front());
    times.erase(times.begin());
    if (!times.empty()) {
        Put("later_ms", Median(times));
        Put("later_best_ms", *std::min_element(times.begin(), times.end()));
        Put("later_worst_ms", *std::max_element(times.begin(), times.end()));
    }
    return 0;
}

int Usage() {
    std::fputs(
        "usage: veltrane_shell_bench DLL plain FILE REPETITIONS\n"
        "       veltrane_shell_bench DLL wipe OFFSET PATH...\n"
        "       veltrane_shell_bench DLL small FOLDER LATER [--warm "
        "comctl32|font|avi|thread|dialog]...\n",
        stderr);
    return 1;
}

int Main(int argc, char** argv) {
    if (argc < 4) return Usage();
    const std::string mode = argv[2];
    if (mode == "plain") {
        return argc == 5 ? Plain(argv[3], std::atoi(argv[4])) : Usage();
    }
    const double loadStart = NowMs();
    Extension extension(argv[1]);
    if (!extension.Loaded()) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 2;
    }
    Put("load_ms", NowMs() - loadStart);
    if (mode == "wipe") {
        if (argc < 5) return Usage();
        return Wipe(extension, static_cast<UINT>(std::atoi(argv[3])),
                    std::vector<std::string>(argv + 4, argv + argc));
    }
    if (mode == "small") {
        if (argc < 5) return Usage();
        std::vector<std::string> warm;
        for (int i = 5; i + 1 < argc; i += 2) {
            if (std::strcmp(argv[i], "--warm") != 0) return Usage();
            warm.push_back(argv[i + 1]);
        }
        return Small(extension, argv[3], std::atoi(argv[4]), warm);
    }
    return Usage();
}

}  // namespace

int main(int argc, char** argv) {
    // An apartment, as on Explorer's threads.
    ::OleInitialize(nullptr);
    const int code = Main(argc, argv);
    std::fputs(g_out.c_str(), stdout);
    std::fflush(stdout);
    ::OleUninitialize();
    return code;
}
