#include "shellext/Registration.h"

#include <olectl.h>

#include <cstdint>

#include "framework/Handles.h"
#include "framework/Module.h"
#include "framework/ModuleStateScope.h"
#include "framework/WideText.h"
#include "shellext/Guid.h"
#include "shellext/Server.h"

namespace veltrane {

namespace {

enum class Root : std::uint8_t { Classes, Machine };
// Which class identifier fills a row's key name and value name: the classic handler's or
// the Windows 11 command's.
enum class Class : std::uint8_t { ShellExt, Command };
// What fills a row's data: the module path or the classic handler's class identifier.
enum class Fill : std::uint8_t { ModulePath, ClassId };

struct RegistrationRow {
    Root root;
    Class keyClass;
    const char* keyName;
    const char* valueName;  // null: the key's default value
    const char* data;
    Fill dataFill;
    bool ntOnly;
};

// The Recycle Bin's own class.
constexpr char kRecycleBinHandler[] =
    "CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}\\shellex\\ContextMenuHandlers\\Veltrane";

constexpr char kApprovedKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

// Written in this order. The command's class comes after the classic rows, so that a
// module that only had those registered still unregisters them (see kRemovedKeys).
constexpr RegistrationRow kRegistrationRows[] = {
    {Root::Classes, Class::ShellExt, "CLSID\\%s", nullptr, "Veltrane", Fill::ModulePath, false},
    {Root::Classes, Class::ShellExt, "CLSID\\%s\\InProcServer32", nullptr, "%s", Fill::ModulePath,
     false},
    {Root::Classes, Class::ShellExt, "CLSID\\%s\\InProcServer32", "ThreadingModel", "Apartment",
     Fill::ModulePath, false},
    {Root::Classes, Class::ShellExt, "*\\shellex\\ContextMenuHandlers\\Veltrane", nullptr, "%s",
     Fill::ClassId, false},
    {Root::Classes, Class::ShellExt, "Directory\\shellex\\ContextMenuHandlers\\Veltrane", nullptr,
     "%s", Fill::ClassId, false},
    {Root::Classes, Class::ShellExt, "Drive\\shellex\\ContextMenuHandlers\\Veltrane", nullptr, "%s",
     Fill::ClassId, false},
    {Root::Classes, Class::ShellExt, kRecycleBinHandler, nullptr, "%s", Fill::ClassId, false},
    {Root::Classes, Class::Command, "CLSID\\%s", nullptr, "Veltrane", Fill::ModulePath, false},
    {Root::Classes, Class::Command, "CLSID\\%s\\InProcServer32", nullptr, "%s", Fill::ModulePath,
     false},
    {Root::Classes, Class::Command, "CLSID\\%s\\InProcServer32", "ThreadingModel", "Apartment",
     Fill::ModulePath, false},
    {Root::Machine, Class::ShellExt, kApprovedKey, "%s", "Veltrane", Fill::ClassId, true},
};

// Deleted in this order; a subkey goes before its class key.
constexpr struct {
    Root root;
    Class keyClass;
    const char* keyName;
} kRemovedKeys[] = {
    {Root::Classes, Class::ShellExt, "CLSID\\%s\\InProcServer32"},
    {Root::Classes, Class::ShellExt, "CLSID\\%s"},
    {Root::Classes, Class::ShellExt, "*\\shellex\\ContextMenuHandlers\\Veltrane"},
    {Root::Classes, Class::ShellExt, "Directory\\shellex\\ContextMenuHandlers\\Veltrane"},
    {Root::Classes, Class::ShellExt, "Drive\\shellex\\ContextMenuHandlers\\Veltrane"},
    {Root::Classes, Class::ShellExt, kRecycleBinHandler},
    {Root::Classes, Class::Command, "CLSID\\%s\\InProcServer32"},
    {Root::Classes, Class::Command, "CLSID\\%s"},
};

// The one "%s" of a format replaced by `argument`; a format without it is used as is.
std::string FillIn(const char* format, const std::string& argument) {
    std::string text = format;
    const std::size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, argument);
    return text;
}

HKEY RootKey(const RegistryTarget& target, Root root) {
    return root == Root::Classes ? target.classesRoot : target.localMachine;
}

LSTATUS CreateKey(HKEY root, const char* subKey, HKEY* key) {
    DWORD disposition = 0;
    return ::RegCreateKeyExA(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                             key, &disposition);
}

LSTATUS SetString(HKEY key, const char* valueName, const std::string& data) {
    // Data in wide form: the module's path may hold any character. Value names are ASCII.
    std::wstring wideName;
    std::wstring wideData;
    if (!ToWide(valueName ? valueName : "", wideName) || !ToWide(data, wideData)) {
        return ERROR_NO_UNICODE_TRANSLATION;
    }
    return ::RegSetValueExW(key, valueName ? wideName.c_str() : nullptr, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(wideData.c_str()),
                            static_cast<DWORD>((wideData.size() + 1) * sizeof(wchar_t)));
}

LSTATUS DeleteKey(HKEY root, const char* subKey) {
    return ::RegDeleteKeyA(root, subKey);
}

LSTATUS DeleteValue(HKEY root, const char* subKey, const char* valueName) {
    UniqueHKey key;
    const LSTATUS opened = ::RegOpenKeyExA(root, subKey, 0, KEY_SET_VALUE, key.put());
    if (opened != ERROR_SUCCESS) return opened;
    return ::RegDeleteValueA(key.get(), valueName);
}

constexpr RegistryApi kWin32Api = {&CreateKey, &SetString, &DeleteKey, &DeleteValue};

const std::string& KeyClassId(Class keyClass, const std::string& classId,
                              const std::string& commandClassId) {
    return keyClass == Class::ShellExt ? classId : commandClassId;
}

HRESULT WriteRows(const RegistryTarget& target, const RegistrationInput& input) {
    for (const RegistrationRow& row : kRegistrationRows) {
        if (row.ntOnly && !input.ntPlatform) continue;
        const std::string& keyClassId =
            KeyClassId(row.keyClass, input.classId, input.commandClassId);
        const std::string keyName = FillIn(row.keyName, keyClassId);
        UniqueHKey key;
        if (target.api->createKey(RootKey(target, row.root), keyName.c_str(), key.put()) !=
            ERROR_SUCCESS) {
            return SELFREG_E_CLASS;
        }
        const std::string data =
            FillIn(row.data, row.dataFill == Fill::ModulePath ? input.modulePath : input.classId);
        const std::string valueName = row.valueName ? FillIn(row.valueName, keyClassId) : "";
        // A key without its value registers nothing usable: that is a failure too.
        if (target.api->setString(key.get(), row.valueName ? valueName.c_str() : nullptr, data) !=
            ERROR_SUCCESS) {
            return SELFREG_E_CLASS;
        }
    }
    return S_OK;
}

HRESULT RemoveRows(const RegistryTarget& target, const std::string& classId,
                   const std::string& commandClassId, bool ntPlatform) {
    for (const auto& removed : kRemovedKeys) {
        const std::string keyName =
            FillIn(removed.keyName, KeyClassId(removed.keyClass, classId, commandClassId));
        if (target.api->deleteKey(RootKey(target, removed.root), keyName.c_str()) !=
            ERROR_SUCCESS) {
            return SELFREG_E_CLASS;
        }
    }
    // The approval is a value named by the class identifier, not a key of its own. Another
    // product's approval under the same key stays; whether ours was there or not changes
    // nothing.
    if (ntPlatform) target.api->deleteValue(target.localMachine, kApprovedKey, classId.c_str());
    return S_OK;
}

}  // namespace

const RegistryApi& Win32RegistryApi() noexcept {
    return kWin32Api;
}

std::string ClassIdText(REFCLSID clsid) {
    UniqueCoTaskMem<wchar_t> wide;
    if (FAILED(::StringFromIID(clsid, wide.put())) || !wide) return std::string();
    char text[MAX_PATH] = "";
    if (::WideCharToMultiByte(CP_ACP, 0, wide.get(), -1, text, sizeof(text), nullptr, nullptr) ==
        0) {
        return std::string();
    }
    return text;
}

bool IsNtPlatform() noexcept {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    return ::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

HRESULT WriteRegistration(const RegistryTarget& target, const RegistrationInput& input) noexcept {
    // Without a class identifier or a module path every row would be garbage.
    if (input.classId.empty() || input.commandClassId.empty() || input.modulePath.empty()) {
        return SELFREG_E_CLASS;
    }
    try {
        return WriteRows(target, input);
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

HRESULT RemoveRegistration(const RegistryTarget& target, const std::string& classId,
                           const std::string& commandClassId, bool ntPlatform) noexcept {
    if (classId.empty() || commandClassId.empty()) return SELFREG_E_CLASS;
    try {
        return RemoveRows(target, classId, commandClassId, ntPlatform);
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

HRESULT RegisterServer() noexcept {
    ModuleStateScope scope;
    try {
        RegistrationInput input;
        input.classId = ClassIdText(CLSID_ShellExt);
        input.commandClassId = ClassIdText(CLSID_ExplorerCommand);
        input.modulePath = ModuleFileName();
        input.ntPlatform = IsNtPlatform();
        return WriteRegistration(RegistryTarget(), input);
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

HRESULT UnregisterServer() noexcept {
    ModuleStateScope scope;
    try {
        return RemoveRegistration(RegistryTarget(), ClassIdText(CLSID_ShellExt),
                                  ClassIdText(CLSID_ExplorerCommand), IsNtPlatform());
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

}  // namespace veltrane
