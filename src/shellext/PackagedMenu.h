#pragma once
// Whether Windows 11's packaged Veltrane command serves the user this process runs for.
// Windows 11 lists a packaged command under "Show more options" too, so the classic entry
// gives way there to the package wherever the package is registered for the user: every
// account keeps exactly one Veltrane entry, whichever way its registration has gone.

namespace veltrane {

// The family name setup recorded (HKLM\Software\Veltrane, PackageFamilyName, in the
// 64-bit view) names a package registered for the current user. Always false in the 32-bit
// DLL, which serves the file dialogs of 32-bit programs, where no packaged command shows.
bool PackagedMenuServesThisUser() noexcept;

}  // namespace veltrane
