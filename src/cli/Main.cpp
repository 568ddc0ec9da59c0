// veltrane.exe: wipes the files and folders named on its command line with the engine and
// the walk of the shell extension.

#include <windows.h>

#include <atomic>
#include <exception>
#include <string>
#include <vector>

#include "cli/CliProgram.h"
#include "cli/CommandLine.h"
#include "cli/ConsoleOutput.h"
#include "job/PendingStore.h"
#include "job/RecycleBinShell.h"
#include "job/WipeConfirmation.h"
#include "wipe/WipeMethod.h"
#include "wipe/Paths.h"
#include "wipe/Unicode.h"

namespace {

std::atomic<veltrane::CliProgram*> g_program{nullptr};
std::atomic<bool> g_finished{false};

// Ctrl+C, Ctrl+Break and closing the console all cancel, as the dialog's Cancel does.
BOOL WINAPI OnConsoleControl(DWORD event) {
    veltrane::CliProgram* program = g_program.load();
    if (program == nullptr) return FALSE;
    program->Cancel();
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The process ends when this returns: give the current file time to stop at its
        // next check (Windows allows about five seconds).
        for (int i = 0; i < 450 && !g_finished.load(); ++i) ::Sleep(10);
    }
    return TRUE;
}

// The full path of a folder name such as "." or "C:" (the current folder of drive C).
bool FullPath(const wchar_t* name, std::string& utf8) {
    const DWORD size = ::GetFullPathNameW(name, 0, nullptr, nullptr);
    if (size == 0) return false;
    std::wstring buffer(size, L'\0');
    const DWORD length = ::GetFullPathNameW(name, size, &buffer[0], nullptr);
    if (length == 0 || length >= size) return false;
    buffer.resize(length);
    return veltrane::Utf16ToUtf8(std::u16string(buffer.begin(), buffer.end()), utf8);
}

// A relative argument made absolute so that the walk sees (and refuses) roots. Only the
// base folder comes from the system: the name itself is kept exactly, with the trailing
// dots and spaces that GetFullPathNameW would strip.
std::string Absolute(const std::string& path) {
    std::string base;
    switch (veltrane::ClassifyPath(path)) {
        case veltrane::PathKind::Relative:
        case veltrane::PathKind::Rooted:
            if (!FullPath(L".", base)) return path;
            break;
        case veltrane::PathKind::DriveRelative: {
            const wchar_t drive[] = {static_cast<wchar_t>(path[0]), L':', L'\0'};
            if (!FullPath(drive, base)) return path;
            break;
        }
        default:
            return path;
    }
    return veltrane::ResolveAgainst(base, path);
}

// The root of the volume that holds `path` ("D:" and "D:\\any\\folder" alike give "D:\\"),
// or the path itself when the system cannot say: the wipe then refuses it.
std::string VolumeRoot(const std::string& path) {
    std::u16string wide;
    if (!veltrane::Utf8ToUtf16(path, wide)) return path;
    std::wstring name(wide.begin(), wide.end());
    // "D:" alone names drive D's current folder; its volume is the same.
    if (name.size() == 2 && name[1] == L':') name += L'\\';
    wchar_t root[MAX_PATH + 1] = {};
    if (!::GetVolumePathNameW(name.c_str(), root, MAX_PATH)) return path;
    const std::wstring rootText(root);
    std::string utf8;
    if (!veltrane::Utf16ToUtf8(std::u16string(rootText.begin(), rootText.end()), utf8)) {
        return path;
    }
    return utf8;
}

// --recycle-bin: the items of the user's bin become the paths, each data entry with its
// record; a deleted folder is wiped with everything in it.
bool ListRecycleBin(veltrane::CliOptions& options, veltrane::ConsoleOutput& output) {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    veltrane::RecycleBinContents bin;
    const bool listed = veltrane::ReadRecycleBin(bin);
    if (SUCCEEDED(com)) ::CoUninitialize();
    if (!listed) {
        output.Err("veltrane: the Recycle Bin could not be read to its end; nothing was wiped\n");
        return false;
    }
    options.paths = veltrane::RecycledItemPaths(bin.items);
    options.recursive = true;
    return true;
}

// --pending [--clear]: what the next sign-in will wipe, one line a file.
int ShowPending(bool clear, veltrane::ConsoleOutput& output) {
    std::vector<veltrane::PendingWipe> queue;
    if (!veltrane::LoadPendingQueue(queue)) {
        output.Err("veltrane: the queue for the next sign-in cannot be read\n");
        if (!clear) return veltrane::kExitNotAllWiped;
    }
    if (clear) {
        if (!veltrane::SavePendingQueue({})) {
            output.Err("veltrane: the queue for the next sign-in could not be emptied\n");
            return veltrane::kExitNotAllWiped;
        }
        output.Out(std::to_string(queue.size()) +
                   " removed from the queue for your next sign-in\n");
        return veltrane::kExitAllWiped;
    }
    for (const veltrane::PendingWipe& entry : queue) {
        output.Out(entry.path + " (" + veltrane::MethodInfo(entry.method).description + ")\n");
    }
    output.Out(std::to_string(queue.size()) + " queued for your next sign-in\n");
    return veltrane::kExitAllWiped;
}

// --at-next-sign-in PATH...: each file queued with its identity now.
int QueuePaths(const veltrane::CliOptions& options, veltrane::ConsoleOutput& output) {
    veltrane::WipeFailures refused;
    if (!veltrane::QueueForNextSignIn(options.paths, options.method, refused)) {
        output.Err("veltrane: the queue for the next sign-in could not be written\n");
        return veltrane::kExitNotAllWiped;
    }
    for (const veltrane::WipeFailure& failure : refused) {
        output.Err("veltrane: " + veltrane::DescribeFailure(failure) + "\n");
    }
    const std::size_t queued = options.paths.size() - refused.size();
    output.Out(std::to_string(queued) + " queued, to be wiped at your next sign-in\n");
    return refused.empty() ? veltrane::kExitAllWiped : veltrane::kExitNotAllWiped;
}

int Run(int argc, wchar_t** argv, veltrane::ConsoleOutput& output) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::wstring wide(argv[i]);
        std::string utf8;
        if (!veltrane::Utf16ToUtf8(std::u16string(wide.begin(), wide.end()), utf8)) {
            output.Err("veltrane: argument " + std::to_string(i) +
                       " is not valid Unicode text (it holds an unpaired surrogate), so no "
                       "file can be named by it exactly; nothing was touched\n");
            return veltrane::kExitUsage;
        }
        args.push_back(utf8);
    }

    veltrane::CliOptions options;
    std::string error;
    if (!veltrane::CommandLine::Parse(args, options, error)) {
        output.Err("veltrane: " + error + "\nTry 'veltrane --help' for more information.\n");
        return veltrane::kExitUsage;
    }
    if (options.help) {
        output.Out(veltrane::CommandLine::HelpText());
        return veltrane::kExitAllWiped;
    }
    if (options.version) {
        output.Out(std::string(veltrane::CommandLine::VersionText()) + "\n");
        return veltrane::kExitAllWiped;
    }
    if (options.ask != veltrane::CliOptions::Ask::Unchanged) {
        const bool ask = options.ask == veltrane::CliOptions::Ask::On;
        if (!veltrane::SetConfirmWipe(ask)) {
            output.Err("veltrane: the setting could not be written to the registry\n");
            return veltrane::kExitNotAllWiped;
        }
        output.Out(ask ? "Explorer's menus will ask before they wipe.\n"
                       : "Explorer's menus will wipe without asking.\n");
        if (options.paths.empty()) return veltrane::kExitAllWiped;
    }
    for (std::string& path : options.paths) {
        path = options.freeSpace ? VolumeRoot(path) : Absolute(path);
    }
    if (options.pending) return ShowPending(options.clear, output);
    if (options.recycleBin && !ListRecycleBin(options, output)) return veltrane::kExitNotAllWiped;
    if (options.recycleBin && options.paths.empty()) {
        output.Out("The Recycle Bin is empty: there is nothing to wipe.\n");
        return veltrane::kExitAllWiped;
    }
    if (options.atNextSignIn) return QueuePaths(options, output);

    veltrane::CliProgram program(output);
    g_program.store(&program);
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    const int status = program.Run(options);
    if (options.recycleBin && !options.dryRun) veltrane::UpdateRecycleBinIcon();
    g_finished.store(true);
    g_program.store(nullptr);
    return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    veltrane::ConsoleOutput output;
    try {
        return Run(argc, argv, output);
    } catch (const std::exception& e) {
        output.Err(std::string("veltrane: stopped: ") + e.what() + "\n");
        return veltrane::kExitNotAllWiped;
    }
}
