#include "job/PendingStore.h"

#include <shlobj.h>

#include <map>

#include "framework/Handles.h"
#include "framework/WideText.h"

namespace veltrane {
namespace {

constexpr wchar_t kRunOnceKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr wchar_t kRunOnceValue[] = L"Veltrane pending wipes";

std::wstring QueueFile(const PendingPlace& place) {
    if (!place.queueFile.empty()) return place.queueFile;
    PWSTR folder = nullptr;
    std::wstring path;
    if (SUCCEEDED(
            ::SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &folder))) {
        path = std::wstring(folder) + L"\\Veltrane";
        ::CreateDirectoryW(path.c_str(), nullptr);
        path += L"\\pending.txt";
    }
    ::CoTaskMemFree(folder);
    return path;
}

std::wstring RunOnceName(const PendingPlace& place) {
    return place.runOnceValue.empty() ? std::wstring(kRunOnceValue) : place.runOnceValue;
}

// veltrane.dll beside the module that holds this code (the DLL itself, or veltrane.exe).
std::wstring DllBesideThisModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&DllBesideThisModule), &module);
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size())));
    const std::size_t slash = path.find_last_of(L"\\/");
    return (slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1)) +
           L"veltrane.dll";
}

bool SetSignInRun(bool on, const PendingPlace& place) {
    const std::wstring name = RunOnceName(place);
    if (!on) {
        const LSTATUS status = ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunOnceKey, name.c_str());
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring command = L"\"" + std::wstring(system) + L"\\rundll32.exe\" \"" +
                                 DllBesideThisModule() + L"\",RunPendingWipes";
    return ::RegSetKeyValueW(HKEY_CURRENT_USER, kRunOnceKey, name.c_str(), REG_SZ, command.c_str(),
                             static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

}  // namespace

bool LoadPendingQueue(std::vector<PendingWipe>& queue, const PendingPlace& place) {
    queue.clear();
    UniqueFile file(::CreateFileW(QueueFile(place).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    std::string text;
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        text.append(buffer, read);
    }
    return ParsePending(text, queue);
}

bool SavePendingQueue(const std::vector<PendingWipe>& queue, const PendingPlace& place) {
    const std::wstring path = QueueFile(place);
    if (queue.empty()) {
        const bool removed =
            ::DeleteFileW(path.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND;
        return SetSignInRun(false, place) && removed;
    }
    const std::string text = FormatPending(queue);
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file ||
        !::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size() || !::FlushFileBuffers(file.get())) {
        return false;
    }
    return SetSignInRun(true, place);
}

bool QueueForNextSignIn(const std::vector<std::string>& paths, std::uint32_t method,
                        WipeFailures& refused, const PendingPlace& place) {
    std::vector<PendingWipe> queue;
    LoadPendingQueue(queue, place);  // an unreadable queue is written anew
    QueuePaths(PlatformFileSystem(), paths, method, queue, refused);
    return SavePendingQueue(queue, place);
}

bool HeldByAnotherProgram(const WipeFailure& failure) {
    return failure.problem == WipeProblem::FileNotWiped &&
           (failure.error == ERROR_SHARING_VIOLATION || failure.error == ERROR_LOCK_VIOLATION);
}

void RunPendingWipes(HWND owner, const JobSettings& settings, const PendingPlace& place) {
    std::vector<PendingWipe> queue;
    WipeFailures left;
    LoadPendingQueue(queue, place);
    FileSystem& fs = settings.walk.fileSystem ? *settings.walk.fileSystem : PlatformFileSystem();
    const std::vector<PendingWipe> same = StillTheSameFiles(fs, queue, left);

    // One job a method, in the order they were queued.
    std::map<std::uint32_t, std::vector<std::string>> byMethod;
    std::map<std::string, std::uint32_t> tries;
    for (const PendingWipe& entry : same) {
        byMethod[entry.method].push_back(entry.path);
        tries[entry.path] = entry.tries;
    }
    std::vector<PendingWipe> again;
    JobEnd end;
    for (const auto& [method, paths] : byMethod) {
        // After a cancel the user has said enough: the rest leaves the queue untouched.
        if (end.cancelled) {
            end.untouched += paths.size();
            continue;
        }
        JobSettings job = settings;
        WipeFailures failures;
        job.report = [&failures, &end](HWND, const WipeFailures& found, const JobEnd& jobEnd) {
            failures = found;
            end.cancelled = end.cancelled || jobEnd.cancelled;
            end.untouched += jobEnd.untouched;
        };
        RunWipeJob(owner, method, paths, job);
        for (const WipeFailure& failure : failures) {
            // Still in use: one more try at the next sign-in, then it is reported.
            const auto known = tries.find(failure.path);
            if (HeldByAnotherProgram(failure) && known != tries.end() && known->second == 0) {
                WipeFailures refused;
                std::vector<PendingWipe> one;
                QueuePaths(fs, {failure.path}, method, one, refused);
                for (PendingWipe& entry : one) entry.tries = 1;
                again.insert(again.end(), one.begin(), one.end());
                left.insert(left.end(), refused.begin(), refused.end());
                continue;
            }
            left.push_back(failure);
        }
    }
    SavePendingQueue(again, place);
    if (left.empty() && end.untouched == 0) return;
    if (settings.report) {
        settings.report(owner, left, end);
    } else {
        ShowJobReport(owner, left, end, place);
    }
}

}  // namespace veltrane
