#pragma once
// The registry rows that make the shell load the extension for the context menu of every
// file and every folder, and approve it on NT-family systems; and the class of the
// Windows 11 menu's command, which the package refers to.

#include <windows.h>

#include <string>

namespace veltrane {

// The registry operations registration uses. Replaceable so that a failure of any single
// step can be produced on purpose; the defaults are the Win32 calls.
struct RegistryApi {
    // Creates or opens `subKey` under `root` for writing.
    LSTATUS (*createKey)(HKEY root, const char* subKey, HKEY* key);
    // Stores `data` as REG_SZ (length + 1 bytes); a null name is the key's default value.
    LSTATUS (*setString)(HKEY key, const char* valueName, const std::string& data);
    LSTATUS (*deleteKey)(HKEY root, const char* subKey);
    LSTATUS (*deleteValue)(HKEY root, const char* subKey, const char* valueName);
};

const RegistryApi& Win32RegistryApi() noexcept;

// Where the rows go. The defaults are the real roots.
struct RegistryTarget {
    HKEY classesRoot = HKEY_CLASSES_ROOT;
    HKEY localMachine = HKEY_LOCAL_MACHINE;
    const RegistryApi* api = &Win32RegistryApi();
};

struct RegistrationInput {
    std::string classId;         // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
    std::string commandClassId;  // the Windows 11 command's, in the same form
    std::string modulePath;      // full file name of the module
    bool ntPlatform = true;      // also write the approval value
};

// `clsid` in registry form, or empty when it cannot be turned into text.
std::string ClassIdText(REFCLSID clsid);

// Whether GetVersionExA reports an NT-family platform.
bool IsNtPlatform() noexcept;

// Writes every row in order: the classic handler's class and handler keys, the command's
// class, the approval. S_OK, or SELFREG_E_CLASS at the first key that cannot be created or
// value that cannot be written (what was written stays). An empty class identifier or
// module path writes nothing and fails.
HRESULT WriteRegistration(const RegistryTarget& target, const RegistrationInput& input) noexcept;

// Deletes the classic class keys and handler keys, then the command's class keys, in
// order (SELFREG_E_CLASS at the first that cannot be deleted), then on NT the approval
// value, whose removal never changes the result. An empty class identifier removes
// nothing and fails.
HRESULT RemoveRegistration(const RegistryTarget& target, const std::string& classId,
                           const std::string& commandClassId, bool ntPlatform) noexcept;

}  // namespace veltrane
