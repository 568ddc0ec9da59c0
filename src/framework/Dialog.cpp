#include "framework/Dialog.h"

#include <vector>

#include "framework/ExceptionReport.h"
#include "framework/Module.h"

namespace veltrane {

namespace {

// Marks our dialog windows with their object. A property rather than DWLP_USER: a window
// of another module never has it, so FromHandle can be asked about any window.
const char kDialogProperty[] = "Veltrane.CDialog";

}  // namespace

// ---- controls ----

LRESULT CDialogItem::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const noexcept {
    return m_hWnd ? ::SendMessageA(m_hWnd, message, wParam, lParam) : 0;
}

BOOL CDialogItem::SetWindowText(const char* text) noexcept {
    return m_hWnd ? ::SetWindowTextA(m_hWnd, text) : FALSE;
}

std::string CDialogItem::GetWindowText() const {
    if (!m_hWnd) return {};
    const int length = ::GetWindowTextLengthA(m_hWnd);
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    const int copied = ::GetWindowTextA(m_hWnd, text.data(), length + 1);
    return std::string(text.data(), static_cast<std::size_t>(copied > 0 ? copied : 0));
}

BOOL CDialogItem::EnableWindow(BOOL enable) noexcept {
    return m_hWnd ? ::EnableWindow(m_hWnd, enable) : FALSE;
}

BOOL CDialogItem::IsWindowEnabled() const noexcept {
    return m_hWnd ? ::IsWindowEnabled(m_hWnd) : FALSE;
}

void CProgressCtrl::SetRange32(int lower, int upper) noexcept {
    SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
}

int CProgressCtrl::SetStep(int step) noexcept {
    return static_cast<int>(SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step)));
}

int CProgressCtrl::SetPos(int position) noexcept {
    return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(position)));
}

int CProgressCtrl::StepIt() noexcept {
    return static_cast<int>(SendMessage(PBM_STEPIT));
}

BOOL CAnimateCtrl::Open(HINSTANCE instance, const wchar_t* name) noexcept {
    const HWND window = GetSafeHwnd();
    if (!window) return FALSE;
    // Sent as a wide message whatever the dialog's character set, so the name arrives whole.
    return static_cast<BOOL>(::SendMessageW(window, ACM_OPENW, reinterpret_cast<WPARAM>(instance),
                                            reinterpret_cast<LPARAM>(name)));
}

BOOL CAnimateCtrl::Play(UINT from, UINT to, UINT repeat) noexcept {
    return static_cast<BOOL>(SendMessage(ACM_PLAY, static_cast<WPARAM>(repeat),
                                         static_cast<LPARAM>(MAKELONG(from, to))));
}

void DDX_Control(CDataExchange* dx, int id, CDialogItem& control) {
    if (control.GetSafeHwnd() != nullptr) return;
    control.Attach(dx->m_pDlgWnd->GetDlgItem(id));
}

// ---- the dialog ----

CDialog::CDialog(UINT templateId, HWND parent) noexcept
    : m_templateId(templateId), m_parent(parent) {}

CDialog::~CDialog() {
    // A dialog object that goes away with its window still alive must not leave the
    // window pointing at freed memory.
    if (m_hWnd) {
        HWND hwnd = m_hWnd;
        Detach();
        ::DestroyWindow(hwnd);
    }
}

INT_PTR CDialog::DoModal() {
    m_modal = true;
    const INT_PTR result =
        ::DialogBoxParamA(ResourceInstance(), MAKEINTRESOURCEA(m_templateId), m_parent,
                          &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    m_modal = false;
    return result;
}

BOOL CDialog::Create(UINT templateId, HWND parent) {
    m_templateId = templateId;
    m_parent = parent;
    m_modal = false;
    bool destroyed = false;
    m_destroyedDuringCreate = &destroyed;
    HWND hwnd = ::CreateDialogParamA(ResourceInstance(), MAKEINTRESOURCEA(templateId), parent,
                                     &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    // The window may have been destroyed while it was being created (by OnInitDialog,
    // or because a control could not be made); PostNcDestroy has then run and a
    // self-deleting object is gone: touch nothing of it.
    if (destroyed) return FALSE;
    m_destroyedDuringCreate = nullptr;
    if (hwnd) return TRUE;
    // No window ever existed: end the object's life the same way a window's end would.
    PostNcDestroy();
    return FALSE;
}

HWND CDialog::GetDlgItem(int id) const noexcept {
    return m_hWnd ? ::GetDlgItem(m_hWnd, id) : nullptr;
}

BOOL CDialog::SetDlgItemText(int id, const char* text) noexcept {
    return m_hWnd ? ::SetDlgItemTextA(m_hWnd, id, text) : FALSE;
}

LRESULT CDialog::SendDlgItemMessage(int id, UINT message, WPARAM wParam,
                                    LPARAM lParam) const noexcept {
    return m_hWnd ? ::SendDlgItemMessageA(m_hWnd, id, message, wParam, lParam) : 0;
}

BOOL CDialog::ShowWindow(int command) noexcept {
    return m_hWnd ? ::ShowWindow(m_hWnd, command) : FALSE;
}

BOOL CDialog::DestroyWindow() noexcept {
    HWND hwnd = m_hWnd;
    // The object may be deleted inside this call (PostNcDestroy).
    return hwnd ? ::DestroyWindow(hwnd) : FALSE;
}

BOOL CDialog::EnableWindow(BOOL enable) noexcept {
    return m_hWnd ? ::EnableWindow(m_hWnd, enable) : FALSE;
}

BOOL CDialog::SetWindowText(const char* text) noexcept {
    return m_hWnd ? ::SetWindowTextA(m_hWnd, text) : FALSE;
}

void CDialog::CenterWindow(HWND alternateOwner) noexcept {
    if (!m_hWnd) return;
    HWND center = alternateOwner ? alternateOwner : ::GetWindow(m_hWnd, GW_OWNER);
    if (center && (!::IsWindowVisible(center) || ::IsIconic(center))) center = nullptr;

    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    HMONITOR screen = ::MonitorFromWindow(center ? center : m_hWnd, MONITOR_DEFAULTTONEAREST);
    if (!::GetMonitorInfoA(screen, &monitor)) {
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &monitor.rcWork, 0);
    }
    const RECT work = monitor.rcWork;
    RECT area = work;
    if (center) ::GetWindowRect(center, &area);

    RECT self{};
    ::GetWindowRect(m_hWnd, &self);
    const LONG width = self.right - self.left;
    const LONG height = self.bottom - self.top;
    LONG x = (area.left + area.right) / 2 - width / 2;
    LONG y = (area.top + area.bottom) / 2 - height / 2;
    // Keep the whole dialog on the screen.
    if (x + width > work.right) x = work.right - width;
    if (x < work.left) x = work.left;
    if (y + height > work.bottom) y = work.bottom - height;
    if (y < work.top) y = work.top;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CDialog::EndDialog(INT_PTR result) noexcept {
    if (!m_hWnd) return;
    if (m_modal) {
        ::EndDialog(m_hWnd, result);
    } else {
        DestroyWindow();
    }
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange dx{this, saveAndValidate};
    DoDataExchange(&dx);
    return TRUE;
}

CDialog* CDialog::FromHandle(HWND hwnd) noexcept {
    return hwnd ? static_cast<CDialog*>(::GetPropA(hwnd, kDialogProperty)) : nullptr;
}

BOOL CDialog::PreTranslateMessage(MSG* msg) {
    if (m_modal || !m_hWnd) return FALSE;  // a modal run has its own loop
    return ::IsDialogMessageA(m_hWnd, msg);
}

const MessageMap* CDialog::GetMessageMap() const {
    static const MessageMapEntry entries[] = {
        MapClicked<&CDialog::OnOK>(IDOK),
        MapClicked<&CDialog::OnCancel>(IDCANCEL),
    };
    static const MessageMap map = MakeMessageMap(nullptr, entries);
    return &map;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::PostNcDestroy() {}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void CDialog::Attach(HWND hwnd) noexcept {
    m_hWnd = hwnd;
    ::SetPropA(hwnd, kDialogProperty, this);
}

void CDialog::Detach() noexcept {
    if (m_hWnd) ::RemovePropA(m_hWnd, kDialogProperty);
    m_hWnd = nullptr;
}

const MessageMapEntry* CDialog::FindEntry(UINT message, WPARAM wParam) const {
    for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
        for (const MessageMapEntry* entry = map->first; entry != map->last; ++entry) {
            if (entry->message != message) continue;
            if (message == WM_COMMAND && (entry->controlId != static_cast<int>(LOWORD(wParam)) ||
                                          entry->notifyCode != HIWORD(wParam))) {
                continue;
            }
            return entry;
        }
    }
    return nullptr;
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_NCDESTROY: {
            Detach();
            if (m_destroyedDuringCreate) *m_destroyedDuringCreate = true;
            PostNcDestroy();  // the object may be gone after this
            return FALSE;
        }
        default:
            break;
    }
    if (const MessageMapEntry* entry = FindEntry(message, wParam)) {
        return entry->invoke(*this, wParam, lParam);
    }
    return FALSE;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* dialog = nullptr;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialog*>(lParam);
        if (dialog) dialog->Attach(hwnd);
    } else {
        dialog = FromHandle(hwnd);
    }
    // Messages before WM_INITDIALOG (WM_SETFONT) get the default processing.
    if (!dialog) return FALSE;
    INT_PTR result = FALSE;
    CatchAtEdge([&] { result = dialog->HandleMessage(message, wParam, lParam); }, EdgeReport::Show);
    return result;
}

}  // namespace veltrane
