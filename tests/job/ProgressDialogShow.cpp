// Shows the progress dialog during a real wipe long enough to photograph it, for the
// README's screenshot (scripts/progress-dialog-screenshot.sh drives it).
//
// veltrane_job_show MARKER_FILE [report]
// Wipes three items of a demonstration folder with Gutmann's method. While the second,
// a large file, is overwritten, writes the dialog's screen rectangle as WxH+X+Y to
// MARKER_FILE, waits until that file is deleted (the picture is taken), presses Cancel,
// and tidies up what the cancelled wipe left.
// With "report": wipes a few files of which one is in use and one read-only, and
// photographs the report that ends the job the same way, then presses OK.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "WineTree.h"
#include "job/JobLock.h"
#include "job/RunWipeJob.h"
#include "resource.h"
#include "wipe/WipeMethod.h"

namespace {

const char kFolder[] = "C:\\users\\Public\\Documents\\Old tax records";

bool WriteFileOf(const std::string& path, std::uint64_t size) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string chunk(1 << 20, 'r');
    DWORD written = 0;
    for (std::uint64_t done = 0; done < size; done += chunk.size()) {
        ::WriteFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr);
    }
    ::CloseHandle(file);
    return true;
}

void RemoveLeftovers(const std::string& folder) {
    WIN32_FIND_DATAA found{};
    HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name != "." && name != "..") ::DeleteFileA((folder + "\\" + name).c_str());
        } while (::FindNextFileA(search, &found));
        ::FindClose(search);
    }
    ::RemoveDirectoryA(folder.c_str());
}

void WriteMarker(HWND dialog, const std::string& marker) {
    RECT rect{};
    ::GetWindowRect(dialog, &rect);
    if (FILE* out = std::fopen(marker.c_str(), "w")) {
        std::fprintf(out, "%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top,
                     rect.left, rect.top);
        std::fclose(out);
    }
    while (::GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES) ::Sleep(50);
}

int ShowReport(const std::string& marker) {
    const std::string folder = "C:\\users\\Public\\Documents\\Holiday photos";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    const char* names[] = {"beach.jpg", "open in the viewer.jpg", "hotel booking.pdf",
                           "read-only passport scan.png"};
    std::vector<std::string> paths;
    for (const char* name : names) {
        paths.push_back(folder + "\\" + name);
        if (!WriteFileOf(paths.back(), 1 << 16)) return 1;
    }
    HANDLE held = ::CreateFileA(paths[1].c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ::SetFileAttributesA(paths[3].c_str(), FILE_ATTRIBUTE_READONLY);

    std::thread photographer([&marker] {
        HWND dialog = nullptr;
        while (!(dialog = veltrane::test::FindOwnWindow("#32770", "Veltrane")) ||
               !::GetDlgItem(dialog, IDC_REPORT_LIST)) {
            ::Sleep(50);
        }
        ::Sleep(300);
        WriteMarker(dialog, marker);
        ::PostMessageA(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    });
    veltrane::InitializeJobLock();
    veltrane::RunWipeJob(nullptr, veltrane::Random, {folder});
    photographer.join();
    veltrane::DeleteJobLock();
    ::CloseHandle(held);
    WIN32_FIND_DATAA found{};
    HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            ::SetFileAttributesA((folder + "\\" + found.cFileName).c_str(), FILE_ATTRIBUTE_NORMAL);
        } while (::FindNextFileA(search, &found));
        ::FindClose(search);
    }
    RemoveLeftovers(folder);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && !(argc == 3 && std::string(argv[2]) == "report")) {
        std::fprintf(stderr, "usage: %s MARKER_FILE [report]\n", argv[0]);
        return 2;
    }
    const std::string marker = argv[1];
    if (argc == 3) return ShowReport(marker);
    const std::string folder = kFolder;
    const std::string documents = folder.substr(0, folder.rfind('\\'));
    ::CreateDirectoryA(folder.c_str(), nullptr);
    const std::string first = documents + "\\draft letter.txt";
    const std::string big = folder + "\\2019 scans.zip";
    const std::string third = documents + "\\passwords.txt";
    if (!WriteFileOf(first, 1 << 16) || !WriteFileOf(big, 512ull << 20) ||
        !WriteFileOf(third, 1 << 12)) {
        std::fprintf(stderr, "cannot write the demonstration files\n");
        return 1;
    }

    std::thread photographer([&marker] {
        HWND dialog = nullptr;
        for (;;) {
            ::Sleep(50);
            dialog = veltrane::test::FindOwnWindow("#32770", "Veltrane");
            if (!dialog) continue;
            char status[64] = {};
            ::GetDlgItemTextA(dialog, IDC_STATUS, status, sizeof status);
            const LRESULT percent = ::SendDlgItemMessageA(dialog, IDC_FILE_BAR, PBM_GETPOS, 0, 0);
            if (std::string(status) == "Processing file 2 of 3" && percent >= 30) break;
        }
        WriteMarker(dialog, marker);
        ::SendMessageA(::GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    });

    veltrane::InitializeJobLock();
    // The cancel leaves the big file partly wiped, which a report would list: not wanted in
    // this picture, and nobody would be there to close it.
    veltrane::JobSettings settings;
    settings.report = [](HWND, const veltrane::WipeFailures&, const veltrane::JobEnd&) {};
    veltrane::RunWipeJob(nullptr, veltrane::Gutmann, {first, folder, third}, settings);
    photographer.join();
    veltrane::DeleteJobLock();

    RemoveLeftovers(folder);
    ::DeleteFileA(third.c_str());
    return 0;
}
