// Registration in the test prefix's real registry: through the exports, through regsvr32,
// and the shell host finding the extension the way Explorer does. Every test leaves the
// registry as it found it.
#include <windows.h>
#include <olectl.h>
#include <shobjidl.h>

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
// The Windows 11 menu's command: a class of its own, without handler keys.
constexpr char kCommandClsid[] = "{EB07AA05-E542-4D7D-9DDB-F3B3BF6B835C}";
const std::string kCommandClassKey = std::string("CLSID\\") + kCommandClsid;
const std::string kCommandServerKey = kCommandClassKey + "\\InProcServer32";
constexpr char kFileHandler[] = "*\\shellex\\ContextMenuHandlers\\Veltrane";
constexpr char kFolderHandler[] = "Directory\\shellex\\ContextMenuHandlers\\Veltrane";
constexpr char kDriveHandler[] = "Drive\\shellex\\ContextMenuHandlers\\Veltrane";
constexpr char kBinHandler[] =
    "CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}\\shellex\\ContextMenuHandlers\\Veltrane";
constexpr char kApproved[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

// Every row registration touches, put back as it was on destruction.
class RegistrySnapshot {
public:
    RegistrySnapshot() {
        for (Row& row : m_rows) row.saved = ReadRegString(row.root, row.key, row.name);
        m_approvedKeyExisted = KeyExists(HKEY_LOCAL_MACHINE, kApproved);
    }
    ~RegistrySnapshot() {
        for (const char* key :
             {kServerKey.c_str(), kClassKey.c_str(), kFileHandler, kFolderHandler, kDriveHandler,
              kCommandServerKey.c_str(), kCommandClassKey.c_str()}) {
            ::RegDeleteKeyA(HKEY_CLASSES_ROOT, key);
        }
        for (const Row& row : m_rows) {
            veltrane::UniqueHKey key;
            if (row.saved.exists) {
                ::RegCreateKeyExA(row.root, row.key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                  key.put(), nullptr);
                ::RegSetValueExA(key.get(), row.name, 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(row.saved.text.c_str()),
                                 static_cast<DWORD>(row.saved.text.size() + 1));
            } else if (::RegOpenKeyExA(row.root, row.key.c_str(), 0, KEY_SET_VALUE, key.put()) ==
                       ERROR_SUCCESS) {
                ::RegDeleteValueA(key.get(), row.name);
            }
        }
        if (!m_approvedKeyExisted) ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kApproved);
    }

private:
    struct Row {
        HKEY root;
        std::string key;
        const char* name;
        testsupport::RegString saved;
    };
    Row m_rows[11] = {
        {HKEY_CLASSES_ROOT, kClassKey, nullptr, {}},
        {HKEY_CLASSES_ROOT, kServerKey, nullptr, {}},
        {HKEY_CLASSES_ROOT, kServerKey, "ThreadingModel", {}},
        {HKEY_CLASSES_ROOT, kFileHandler, nullptr, {}},
        {HKEY_CLASSES_ROOT, kFolderHandler, nullptr, {}},
        {HKEY_CLASSES_ROOT, kDriveHandler, nullptr, {}},
        {HKEY_CLASSES_ROOT, kBinHandler, nullptr, {}},
        {HKEY_LOCAL_MACHINE, kApproved, kClsid, {}},
        {HKEY_CLASSES_ROOT, kCommandClassKey, nullptr, {}},
        {HKEY_CLASSES_ROOT, kCommandServerKey, nullptr, {}},
        {HKEY_CLASSES_ROOT, kCommandServerKey, "ThreadingModel", {}},
    };
    bool m_approvedKeyExisted = false;
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
        return KeyExists(HKEY_CLASSES_ROOT, kClassKey) ||
               KeyExists(HKEY_CLASSES_ROOT, kCommandClassKey) ||
               KeyExists(HKEY_CLASSES_ROOT, kFileHandler) ||
               KeyExists(HKEY_CLASSES_ROOT, kFolderHandler) ||
               KeyExists(HKEY_CLASSES_ROOT, kDriveHandler) ||
               KeyExists(HKEY_CLASSES_ROOT, kBinHandler) ||
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
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, kClassKey.c_str(), 0, KEY_READ, key.put()) !=
        ERROR_SUCCESS) {
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

TEST_F(RegistryTest, RegistrationWritesTheNineRows) {
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
        {HKEY_CLASSES_ROOT, kDriveHandler, nullptr, kClsid},
        {HKEY_CLASSES_ROOT, kBinHandler, nullptr, kClsid},
        {HKEY_LOCAL_MACHINE, kApproved, kClsid, "Veltrane"},
        {HKEY_CLASSES_ROOT, kCommandClassKey, nullptr, "Veltrane"},
        {HKEY_CLASSES_ROOT, kCommandServerKey, nullptr, module},
        {HKEY_CLASSES_ROOT, kCommandServerKey, "ThreadingModel", "Apartment"},
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
    EXPECT_FALSE(AnythingRegistered()) << "six keys and the approval value removed";
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kApproved)) << "the shared key itself stays";

    EXPECT_EQ(m_unregister(), SELFREG_E_CLASS) << "nothing left to remove";
}

TEST_F(RegistryTest, ComCreatesTheWindows11CommandFromTheRegisteredRows) {
    ASSERT_EQ(m_register(), S_OK);
    CLSID command = {};
    ASSERT_EQ(::CLSIDFromString(L"{EB07AA05-E542-4D7D-9DDB-F3B3BF6B835C}", &command), S_OK);
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        veltrane::ComPtr<IExplorerCommand> object;
        ASSERT_EQ(::CoCreateInstance(command, nullptr, CLSCTX_INPROC_SERVER, IID_IExplorerCommand,
                                     object.PutVoid()),
                  S_OK);
        EXPCMDFLAGS flags = 0;
        EXPECT_EQ(object->GetFlags(&flags), S_OK);
        EXPECT_EQ(flags, static_cast<EXPCMDFLAGS>(ECF_HASSUBCOMMANDS));
    }
    ::CoUninitialize();
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
