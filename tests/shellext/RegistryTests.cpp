// Registration in the test prefix's real registry: through the exports, through regsvr32,
// and the shell host finding the extension the way Explorer does. Every test leaves the
// registry as it found it.
#include <windows.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "framework/Handles.h"

namespace {

using testsupport::KeyExists;
using testsupport::ReadRegString;

constexpr char kClsid[] = "{CCF51AE6-B015-489C-BEE6-095BB5EF9BCF}";
const std::string kClassKey = std::string("CLSID\\") + kClsid;
const std::string kServerKey = kClassKey + "\\InProcServer32";
constexpr char kFileHandler[] = "*\\shellex\\ContextMenuHandlers\\Veltrane";
constexpr char kFolderHandler[] = "Directory\\shellex\\ContextMenuHandlers\\Veltrane";
constexpr char kApproved[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

// The state of every key and value registration touches, put back on destruction.
class RegistrySnapshot {
public:
    RegistrySnapshot() {
        for (const std::string& key : {kServerKey, kClassKey, std::string(kFileHandler),
                                       std::string(kFolderHandler)}) {
            m_keys.push_back(Save(HKEY_CLASSES_ROOT, key));
        }
        const auto approval = ReadRegString(HKEY_LOCAL_MACHINE, kApproved, kClsid);
        m_approvalExisted = approval.exists;
        m_approval = approval.text;
    }
    ~RegistrySnapshot() {
        for (const SavedKey& saved : m_keys) ::RegDeleteKeyA(HKEY_CLASSES_ROOT, saved.key.c_str());
        for (auto it = m_keys.rbegin(); it != m_keys.rend(); ++it) Restore(*it);
        veltrane::UniqueHKey approved;
        if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kApproved, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              approved.put(), nullptr) == ERROR_SUCCESS) {
            if (m_approvalExisted) {
                ::RegSetValueExA(approved.get(), kClsid, 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(m_approval.c_str()),
                                 static_cast<DWORD>(m_approval.size() + 1));
            } else {
                ::RegDeleteValueA(approved.get(), kClsid);
            }
        }
    }

private:
    struct Value {
        std::string name;
        DWORD type;
        std::vector<BYTE> data;
    };
    struct SavedKey {
        std::string key;
        bool existed = false;
        std::vector<Value> values;
    };

    static SavedKey Save(HKEY root, const std::string& key) {
        SavedKey saved;
        saved.key = key;
        veltrane::UniqueHKey opened;
        if (::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, opened.put()) != ERROR_SUCCESS) {
            return saved;
        }
        saved.existed = true;
        for (DWORD index = 0;; ++index) {
            char name[256];
            DWORD nameLength = sizeof(name);
            BYTE data[2048];
            DWORD size = sizeof(data);
            DWORD type = 0;
            if (::RegEnumValueA(opened.get(), index, name, &nameLength, nullptr, &type, data,
                                &size) != ERROR_SUCCESS) {
                break;
            }
            saved.values.push_back({std::string(name, nameLength), type,
                                    std::vector<BYTE>(data, data + size)});
        }
        return saved;
    }
    static void Restore(const SavedKey& saved) {
        if (!saved.existed) return;
        veltrane::UniqueHKey key;
        if (::RegCreateKeyExA(HKEY_CLASSES_ROOT, saved.key.c_str(), 0, nullptr, 0, KEY_WRITE,
                              nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
            return;
        }
        for (const Value& value : saved.values) {
            ::RegSetValueExA(key.get(), value.name.empty() ? nullptr : value.name.c_str(), 0,
                             value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
        }
    }

    std::vector<SavedKey> m_keys;
    bool m_approvalExisted = false;
    std::string m_approval;
};

using ServerFn = HRESULT(STDAPICALLTYPE*)();

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_module.reset(::LoadLibraryA(testsupport::DllPath().c_str()));
        ASSERT_TRUE(m_module) << testsupport::DllPath();
        m_register = testsupport::Export<ServerFn>(m_module.get(), "DllRegisterServer");
        m_unregister = testsupport::Export<ServerFn>(m_module.get(), "DllUnregisterServer");
        ASSERT_NE(m_register, nullptr);
        ASSERT_NE(m_unregister, nullptr);
        // Start from an unregistered extension; the snapshot puts back whatever was there.
        m_unregister();
    }

    std::string ModulePath() const {
        char path[MAX_PATH] = "";
        ::GetModuleFileNameA(m_module.get(), path, MAX_PATH);
        return path;
    }

    bool Registered() const { return KeyExists(HKEY_CLASSES_ROOT, kClassKey); }
    bool AnythingRegistered() const {
        return KeyExists(HKEY_CLASSES_ROOT, kClassKey) || KeyExists(HKEY_CLASSES_ROOT, kFileHandler) ||
               KeyExists(HKEY_CLASSES_ROOT, kFolderHandler) ||
               ReadRegString(HKEY_LOCAL_MACHINE, kApproved, kClsid).exists;
    }

    RegistrySnapshot m_snapshot;
    veltrane::UniqueModule m_module;
    ServerFn m_register = nullptr;
    ServerFn m_unregister = nullptr;
};

// The name of the class key's only subkey, as stored.
std::string ServerSubkeyName() {
    veltrane::UniqueHKey key;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, kClassKey.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return "";
    }
    char name[256];
    DWORD length = sizeof(name);
    if (::RegEnumKeyExA(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
        return "";
    }
    return std::string(name, length);
}

TEST_F(RegistryTest, RegistrationWritesTheSixRows) {
    ASSERT_EQ(m_register(), S_OK);
    const std::string module = ModulePath();
    EXPECT_EQ(::lstrcmpiA(module.c_str(), testsupport::DllPath().c_str()), 0) << module;

    const struct {
        HKEY root;
        std::string key;
        const char* name;
        std::string data;
    } rows[] = {
        {HKEY_CLASSES_ROOT, kClassKey, nullptr, "Veltrane"},
        {HKEY_CLASSES_ROOT, kServerKey, nullptr, module},
        {HKEY_CLASSES_ROOT, kServerKey, "ThreadingModel", "Apartment"},
        {HKEY_CLASSES_ROOT, kFileHandler, nullptr, kClsid},
        {HKEY_CLASSES_ROOT, kFolderHandler, nullptr, kClsid},
        {HKEY_LOCAL_MACHINE, kApproved, kClsid, "Veltrane"},
    };
    for (const auto& row : rows) {
        const auto value = ReadRegString(row.root, row.key, row.name);
        EXPECT_TRUE(value.exists) << row.key;
        EXPECT_EQ(value.text, row.data) << row.key;
        EXPECT_EQ(value.size, row.data.size() + 1) << row.key;
    }
    EXPECT_EQ(ServerSubkeyName(), "InProcServer32");
}

TEST_F(RegistryTest, RegisterTwiceThenUnregisterTwice) {
    EXPECT_EQ(m_register(), S_OK);
    EXPECT_EQ(m_register(), S_OK);
    EXPECT_EQ(ReadRegString(HKEY_CLASSES_ROOT, kServerKey, nullptr).text, ModulePath());

    EXPECT_EQ(m_unregister(), S_OK);
    EXPECT_FALSE(AnythingRegistered()) << "four keys and the approval value removed";
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kApproved)) << "the shared key itself stays";

    EXPECT_EQ(m_unregister(), SELFREG_E_CLASS) << "nothing left to remove";
}

TEST_F(RegistryTest, UnregisteringAPartialRegistrationStopsAtTheMissingKey) {
    ASSERT_EQ(m_register(), S_OK);
    ASSERT_EQ(::RegDeleteKeyA(HKEY_CLASSES_ROOT, kServerKey.c_str()), ERROR_SUCCESS);
    EXPECT_EQ(m_unregister(), SELFREG_E_CLASS);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kClassKey)) << "removes nothing";
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kFileHandler));
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

TEST_F(RegistryTest, Regsvr32RegistersAndUnregisters) {
    const std::string dll = Quoted(testsupport::DllPath());
    auto run = testsupport::RunProcess("regsvr32.exe /s " + dll);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(Registered());
    EXPECT_EQ(ReadRegString(HKEY_CLASSES_ROOT, kServerKey, nullptr).text, ModulePath());
    EXPECT_EQ(ReadRegString(HKEY_CLASSES_ROOT, kFileHandler, nullptr).text, kClsid);

    run = testsupport::RunProcess("regsvr32.exe /s /u " + dll);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_FALSE(AnythingRegistered());

    run = testsupport::RunProcess("regsvr32.exe /s /u " + dll);
    EXPECT_NE(run.exitCode, 0u) << "unregistering an unregistered module fails";
}

// A scratch folder with a few files, removed afterwards.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::vector<std::string>& names) {
        char temp[MAX_PATH] = "";
        ::GetTempPathA(MAX_PATH, temp);
        m_path = std::string(temp) + "veltrane-host-" + std::to_string(::GetCurrentProcessId());
        ::CreateDirectoryA(m_path.c_str(), nullptr);
        for (const std::string& name : names) {
            m_files.push_back(m_path + "\\" + name);
            veltrane::UniqueFile file(::CreateFileA(m_files.back().c_str(), GENERIC_WRITE, 0,
                                                    nullptr, CREATE_ALWAYS, 0, nullptr));
            DWORD written = 0;
            ::WriteFile(file.get(), "data", 4, &written, nullptr);
        }
    }
    ~ScratchFolder() {
        for (const std::string& file : m_files) ::DeleteFileA(file.c_str());
        ::RemoveDirectoryA(m_path.c_str());
    }
    const std::vector<std::string>& Files() const { return m_files; }

private:
    std::string m_path;
    std::vector<std::string> m_files;
};

TEST_F(RegistryTest, ShellHostFindsTheExtensionThroughTheRegistry) {
    ScratchFolder folder({"one.txt", "two.txt"});
    const std::string host = Quoted(testsupport::WindowsPath(VELTRANE_SHELLHOST_PATH));
    const std::string command =
        host + " --list " + Quoted(folder.Files()[0]) + " " + Quoted(folder.Files()[1]);

    auto run = testsupport::RunProcess(command);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 2u) << "not registered yet:\n" << run.output;
    EXPECT_NE(run.output.find("no registered handler"), std::string::npos) << run.output;

    ASSERT_EQ(m_register(), S_OK);
    run = testsupport::RunProcess(command);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    for (const char* expected : {
             "handler {CCF51AE6-B015-489C-BEE6-095BB5EF9BCF}\n",
             "Initialize 0x00000000\n",
             "QueryContextMenu flags 0x00000000: 0x00000008, 8 command ids\n",
             "  [0] popup \"Veltrane\" bitmap\n",
         }) {
        EXPECT_NE(run.output.find(expected), std::string::npos) << expected << "\n" << run.output;
    }
    // The files are listed, never touched.
    EXPECT_NE(::GetFileAttributesA(folder.Files()[0].c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
