#pragma once
// The question before a wipe command starts its job, and the user's choice to be asked,
// kept in HKEY_CURRENT_USER\Software\Veltrane, value ConfirmWipe (REG_DWORD): 0 means
// "don't ask"; absent or any other value means ask.

#include <windows.h>

#include <string>
#include <vector>

namespace veltrane {

// Whether this user is asked before a wipe.
bool ConfirmWipeWanted() noexcept;
// Sets the user's choice: false writes 0, true removes the value (the default: ask).
bool SetConfirmWipe(bool ask) noexcept;

// "Permanently wipe 3 items with DoD Standard (7 passes)?", the first names, and that
// nothing can be undone: the question's text for `selection` and `method`.
std::wstring ConfirmationText(const std::vector<std::string>& selection, UINT method);

// Asks, in a modal box owned by `owner`, whether to wipe `selection` with `method`, unless
// the user chose not to be asked. True to go on. Choosing Wipe with "Don't ask me again"
// checked stores that choice.
bool AskBeforeWipe(HWND owner, UINT method, const std::vector<std::string>& selection);

// The question before a free-space wipe of `volumes`: what happens, and that programs may
// see a full disk meanwhile.
std::wstring FreeSpaceConfirmationText(const std::vector<std::string>& volumes, UINT method);

// Asks as AskBeforeWipe does, once, about the free space of `volumes`.
bool AskBeforeFreeSpaceWipe(HWND owner, UINT method, const std::vector<std::string>& volumes);

}  // namespace veltrane
