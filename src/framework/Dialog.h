#pragma once
// The framework's dialog: a window built from a dialog template of the module's
// resources, run modally (DoModal) or modelessly (Create).
//
// A derived dialog overrides the virtual hooks it needs (OnInitDialog, OnOK, OnCancel,
// DoDataExchange, PostNcDestroy) and routes further messages to member functions through
// a message map, a static table searched before its base's table:
//
//   const veltrane::MessageMap* CMyDlg::GetMessageMap() const {
//       static const veltrane::MessageMapEntry entries[] = {
//           veltrane::MapTimer<&CMyDlg::OnTimer>(),
//           veltrane::MapClicked<&CMyDlg::OnMore>(IDC_MORE),
//       };
//       static const veltrane::MessageMap map =
//           veltrane::MakeMessageMap(CDialog::GetMessageMap(), entries);
//       return &map;
//   }
//
// Every handler runs inside the dialog procedure; an exception it raises is reported with
// the framework's standard message box and goes no further.

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <string>

namespace veltrane {

class CDialog;

// One row of a message map. For WM_COMMAND rows, notifyCode and controlId select the
// notification; other rows match on the message alone.
struct MessageMapEntry {
    UINT message;
    UINT notifyCode;
    int controlId;
    // The dialog procedure's result: TRUE when handled, FALSE for default processing.
    INT_PTR (*invoke)(CDialog& dialog, WPARAM wParam, LPARAM lParam);
};

struct MessageMap {
    const MessageMap* base;  // searched when no row here matches; null at the root
    const MessageMapEntry* first;
    const MessageMapEntry* last;
};

template <std::size_t N>
constexpr MessageMap MakeMessageMap(const MessageMap* base, const MessageMapEntry (&rows)[N]) {
    return MessageMap{base, rows, rows + N};
}

namespace message_map_detail {

template <class MemberPointer>
struct ClassOf;
template <class Class, class Member>
struct ClassOf<Member Class::*> {
    using type = Class;
};
template <auto Handler>
using HandlerClass = typename ClassOf<decltype(Handler)>::type;

template <auto Handler>
INT_PTR Timer(CDialog& dialog, WPARAM wParam, LPARAM) {
    (static_cast<HandlerClass<Handler>&>(dialog).*Handler)(static_cast<UINT_PTR>(wParam));
    return FALSE;  // then the default processing
}

template <auto Handler>
INT_PTR ShowWindow(CDialog& dialog, WPARAM wParam, LPARAM lParam) {
    (static_cast<HandlerClass<Handler>&>(dialog).*Handler)(static_cast<BOOL>(wParam),
                                                           static_cast<UINT>(lParam));
    return FALSE;  // then the default processing
}

template <auto Handler>
INT_PTR Message(CDialog& dialog, WPARAM wParam, LPARAM lParam) {
    return (static_cast<HandlerClass<Handler>&>(dialog).*Handler)(wParam, lParam);
}

template <auto Handler>
INT_PTR Command(CDialog& dialog, WPARAM, LPARAM) {
    (static_cast<HandlerClass<Handler>&>(dialog).*Handler)();
    return TRUE;
}

}  // namespace message_map_detail

// WM_TIMER to `void C::Handler(UINT_PTR timerId)`; default processing follows.
template <auto Handler>
constexpr MessageMapEntry MapTimer() {
    return MessageMapEntry{WM_TIMER, 0, 0, &message_map_detail::Timer<Handler>};
}

// WM_SHOWWINDOW to `void C::Handler(BOOL show, UINT status)`; default processing follows.
template <auto Handler>
constexpr MessageMapEntry MapShowWindow() {
    return MessageMapEntry{WM_SHOWWINDOW, 0, 0, &message_map_detail::ShowWindow<Handler>};
}

// Any other message to `INT_PTR C::Handler(WPARAM, LPARAM)`, which returns what the dialog
// procedure does (FALSE: default processing follows).
template <auto Handler>
constexpr MessageMapEntry MapMessage(UINT message) {
    return MessageMapEntry{message, 0, 0, &message_map_detail::Message<Handler>};
}

// BN_CLICKED of control `controlId` to `void C::Handler()`.
template <auto Handler>
constexpr MessageMapEntry MapClicked(int controlId) {
    return MessageMapEntry{WM_COMMAND, BN_CLICKED, controlId,
                           &message_map_detail::Command<Handler>};
}

// A control of a dialog, bound to its window by DDX_Control. Operations on an unbound
// control do nothing.
class CDialogItem {
public:
    HWND GetSafeHwnd() const noexcept { return m_hWnd; }
    void Attach(HWND hwnd) noexcept { m_hWnd = hwnd; }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const noexcept;
    BOOL SetWindowText(const char* text) noexcept;
    std::string GetWindowText() const;
    BOOL EnableWindow(BOOL enable) noexcept;
    BOOL IsWindowEnabled() const noexcept;

private:
    HWND m_hWnd = nullptr;
};

using CButton = CDialogItem;
using CStatic = CDialogItem;

class CProgressCtrl : public CDialogItem {
public:
    // 32-bit range: the full range of an int, not just the 16 bits of PBM_SETRANGE.
    void SetRange32(int lower, int upper) noexcept;
    int SetStep(int step) noexcept;
    int SetPos(int position) noexcept;
    int StepIt() noexcept;
};

class CAnimateCtrl : public CDialogItem {
public:
    // ACM_OPENW: a clip from `instance`'s resources, or else from the file `name`.
    BOOL Open(HINSTANCE instance, const wchar_t* name) noexcept;
    // ACM_PLAY: frames `from` to `to`, `repeat` times (-1 for ever).
    BOOL Play(UINT from, UINT to, UINT repeat) noexcept;
};

// What DoDataExchange is given: the dialog and the direction of the exchange.
struct CDataExchange {
    CDialog* m_pDlgWnd;
    BOOL m_bSaveAndValidate;  // TRUE: controls to members; FALSE: members to controls
};

// Binds `control` to the dialog's control `id` (once; a missing control stays unbound).
void DDX_Control(CDataExchange* dx, int id, CDialogItem& control);

class CDialog {
public:
    // `templateId` names a dialog template of ResourceInstance(); `parent` owns the window
    // of a modal run (null: no owner).
    explicit CDialog(UINT templateId, HWND parent = nullptr) noexcept;
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog modally; returns what was given to EndDialog, or -1 when the window
    // cannot be created.
    virtual INT_PTR DoModal();

    // Creates the modeless window from template `templateId` owned by `parent`; it stays
    // hidden unless the template makes it visible. Returns whether the window exists.
    // When it does not, PostNcDestroy has run, so a self-deleting dialog is gone.
    BOOL Create(UINT templateId, HWND parent);

    HWND GetSafeHwnd() const noexcept { return m_hWnd; }
    HWND GetDlgItem(int id) const noexcept;
    BOOL SetDlgItemText(int id, const char* text) noexcept;
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wParam = 0,
                               LPARAM lParam = 0) const noexcept;
    BOOL ShowWindow(int command) noexcept;
    // Destroys the window; a self-deleting dialog is gone when this returns.
    BOOL DestroyWindow() noexcept;
    BOOL EnableWindow(BOOL enable) noexcept;
    BOOL SetWindowText(const char* text) noexcept;
    // Centres the window over `alternateOwner`, or over its owner, or on the work area of
    // the screen when there is no visible, non-minimised owner.
    void CenterWindow(HWND alternateOwner = nullptr) noexcept;
    // Ends a modal run with `result`; destroys a modeless window.
    void EndDialog(INT_PTR result) noexcept;
    // Runs DoDataExchange in the given direction.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // The dialog object of `hwnd`, or null when the window is not one of ours.
    static CDialog* FromHandle(HWND hwnd) noexcept;

    // Offered every message of the thread's queue that concerns this dialog or its
    // controls before it is dispatched (see PreTranslateMessage in MessagePump.h). The
    // base lets a modeless dialog handle its keyboard input (Tab, Enter, Esc). Returns
    // TRUE when the message has been handled.
    virtual BOOL PreTranslateMessage(MSG* msg);

protected:
    virtual const MessageMap* GetMessageMap() const;
    // Binds members to controls (DDX_Control). The base does nothing.
    virtual void DoDataExchange(CDataExchange* dx);
    // Runs after the window is gone. The base does nothing; a dialog allocated with new
    // and run modelessly deletes itself here.
    virtual void PostNcDestroy();
    // The base runs the data exchange into the controls and returns TRUE (focus to the
    // first tab stop).
    virtual BOOL OnInitDialog();
    // Reached by IDOK. The base takes the data back from the controls and ends the dialog.
    virtual void OnOK();
    // Reached by IDCANCEL, Esc and the close box. The base ends the dialog.
    virtual void OnCancel();

    UINT m_templateId;
    HWND m_parent;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    const MessageMapEntry* FindEntry(UINT message, WPARAM wParam) const;
    void Attach(HWND hwnd) noexcept;
    void Detach() noexcept;

    HWND m_hWnd = nullptr;
    bool m_modal = false;
    // Set while Create runs: tells it that the window was destroyed during creation.
    bool* m_destroyedDuringCreate = nullptr;
};

}  // namespace veltrane
