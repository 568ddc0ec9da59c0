#include "job/WipeConfirmation.h"

#include "framework/Dialog.h"
#include "framework/Handles.h"
#include "framework/WideText.h"
#include "resource.h"
#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

constexpr char kSettingsKey[] = "Software\\Veltrane";
constexpr char kConfirmValue[] = "ConfirmWipe";
// Names shown before "and N more".
constexpr std::size_t kNamesShown = 5;

class CConfirmDlg final : public CDialog {
public:
    CConfirmDlg(HWND owner, std::wstring text)
        : CDialog(IDD_CONFIRM_WIPE, owner), m_text(std::move(text)) {}

    bool DontAskAgain() const { return m_dontAsk; }

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        ::SetWindowTextW(GetDlgItem(IDC_CONFIRM_TEXT), m_text.c_str());
        // Cancel has the focus and is the default: Enter never wipes by accident.
        ::SetFocus(GetDlgItem(IDCANCEL));
        return FALSE;
    }
    void OnOK() override {
        m_dontAsk = ::IsDlgButtonChecked(GetSafeHwnd(), IDC_CONFIRM_DONT_ASK) == BST_CHECKED;
        CDialog::OnOK();
    }

private:
    std::wstring m_text;
    bool m_dontAsk = false;
};

}  // namespace

bool ConfirmWipeWanted() noexcept {
    DWORD value = 1;
    DWORD size = sizeof value;
    DWORD type = 0;
    if (::RegGetValueA(HKEY_CURRENT_USER, kSettingsKey, kConfirmValue, RRF_RT_ANY, &type, &value,
                       &size) != ERROR_SUCCESS) {
        return true;
    }
    return !(type == REG_DWORD && size == sizeof value && value == 0);
}

bool SetConfirmWipe(bool ask) noexcept {
    if (ask) {
        const LSTATUS status = ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kSettingsKey, kConfirmValue);
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
    UniqueHKey key;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const DWORD value = 0;
    return ::RegSetValueExA(key.get(), kConfirmValue, 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&value), sizeof value) == ERROR_SUCCESS;
}

std::wstring ConfirmationText(const std::vector<std::string>& selection, UINT method) {
    const std::size_t count = selection.size();
    std::wstring text =
        L"Permanently wipe " +
        (count == 1 ? std::wstring(L"1 item") : std::to_wstring(count) + L" items") + L" with " +
        WideForDisplay(MethodInfo(method).description) + L"?\n\n";
    for (std::size_t i = 0; i < count && i < kNamesShown; ++i) {
        text += WideForDisplay(selection[i]) + L"\n";
    }
    if (count > kNamesShown) text += L"and " + std::to_wstring(count - kNamesShown) + L" more\n";
    text += L"\nFolders are wiped with everything in them. This cannot be undone.";
    return text;
}

std::wstring FreeSpaceConfirmationText(const std::vector<std::string>& volumes, UINT method) {
    std::wstring drive;
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        if (i > 0) drive += i + 1 == volumes.size() ? L" and " : L", ";
        drive += WideForDisplay(volumes[i]);
    }
    return L"Overwrite the free space of " + drive + L" with " +
           WideForDisplay(MethodInfo(method).description) +
           L"?\n\nVeltrane fills each drive with files of its own until it is full, "
           L"overwrites them pass by pass, then deletes them. Until it ends, programs may "
           L"see a full disk: let downloads, recordings and updates finish first.\n\nThe "
           L"files on " +
           drive + L" are not touched.";
}

bool AskBeforeFreeSpaceWipe(HWND owner, UINT method, const std::vector<std::string>& volumes) {
    if (!ConfirmWipeWanted()) return true;
    CConfirmDlg dialog(owner, FreeSpaceConfirmationText(volumes, method));
    if (dialog.DoModal() != IDOK) return false;
    if (dialog.DontAskAgain()) SetConfirmWipe(false);
    return true;
}

bool AskBeforeWipe(HWND owner, UINT method, const std::vector<std::string>& selection) {
    if (!ConfirmWipeWanted()) return true;
    CConfirmDlg dialog(owner, ConfirmationText(selection, method));
    if (dialog.DoModal() != IDOK) return false;
    if (dialog.DontAskAgain()) SetConfirmWipe(false);
    return true;
}

}  // namespace veltrane
