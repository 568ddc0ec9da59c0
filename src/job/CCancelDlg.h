#pragma once
// The modeless progress dialog of a wipe job: the animation, the selected item, the
// status line, a bar for the file being wiped, a bar for the items, and Cancel. Cancel
// (the button, Esc or the close box) only records a request; the job acts on it when the
// current item's worker has finished and then destroys the dialog, which deletes itself.

#include <windows.h>

#include <cstdint>
#include <string>

#include "framework/Dialog.h"

class CCancelDlg : public veltrane::CDialog {
public:
    CCancelDlg();
    ~CCancelDlg() override;

    // A new dialog object, or null (reported) when there is no memory for one.
    static CCancelDlg* New() noexcept;

    // Creates the hidden modeless window from template 130 owned by `parent`. Returns
    // whether it exists; when it does not, the object has already deleted itself.
    virtual BOOL Create(HWND parent);

    // Items bar: range 0 to count (32-bit: any count), step 1, position 0.
    void SetItemCount(std::int32_t count);
    void StepItem();
    void SetStatusText(std::string text);
    void SetPathText(std::string text);
    void SetFileProgress(std::int32_t percent);
    // Items bar: range 0 to count, position kept (items joined the running job).
    void SetItemRange(std::int32_t count);
    // Takes a carried-out cancel request back: m_bCancel 0, the Cancel button usable.
    void ClearCancel();

    HWND m_pParent = nullptr;
    // Cancel request: 0 none, 1 requested. Read and written through the job lock.
    std::int32_t m_bCancel = 0;

protected:
    const veltrane::MessageMap* GetMessageMap() const override;
    void DoDataExchange(veltrane::CDataExchange* dx) override;
    void PostNcDestroy() override;
    BOOL OnInitDialog() override;
    void OnCancel() override;

    void OnTimer(UINT_PTR timerId);
    void OnShowWindow(BOOL show, UINT status);

    veltrane::CButton m_btnCancel;
    veltrane::CStatic m_stStatus;
    veltrane::CStatic m_stPath;
    veltrane::CProgressCtrl m_progFile;
    veltrane::CProgressCtrl m_progItems;
    veltrane::CAnimateCtrl m_animate;
};
