// Registration's rows, written into scratch keys that stand in for HKEY_CLASSES_ROOT and
// HKEY_LOCAL_MACHINE, with single registry steps made to fail on purpose.
#include <windows.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "framework/Handles.h"
#include "shellext/Registration.h"

namespace {

using testsupport::KeyExists;
using testsupport::ReadRegString;

constexpr char kClsid[] = "{CCF51AE6-B015-489C-BEE6-095BB5EF9BCF}";
constexpr char kCommandClsid[] = "{EB07AA05-E542-4D7D-9DDB-F3B3BF6B835C}";
constexpr char kModule[] = "C:\\Program Files\\Veltrane\\veltrane.dll";
constexpr char kApproved[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const std::string kClassKey = std::string("CLSID\\") + kClsid;
const std::string kServerKey = kClassKey + "\\InProcServer32";
const std::string kCommandClassKey = std::string("CLSID\\") + kCommandClsid;
const std::string kCommandServerKey = kCommandClassKey + "\\InProcServer32";
constexpr char kFileHandler[] = "*\\shellex\\ContextMenuHandlers\\Veltrane";
constexpr char kFolderHandler[] = "Directory\\shellex\\ContextMenuHandlers\\Veltrane";
constexpr char kDriveHandler[] = "Drive\\shellex\\ContextMenuHandlers\\Veltrane";
constexpr char kBinHandler[] =
    "CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}\\shellex\\ContextMenuHandlers\\Veltrane";

// Registry steps that fail for one chosen key or value name and record the order of the
// others, which go to the real registry.
struct Faults {
    std::string failCreate;
    std::string failSetValue;  // "" matches the default value
    std::string failDelete;
    std::vector<std::string> created;
    std::vector<std::string> deleted;
};
Faults g_faults;

veltrane::RegistryApi FaultyApi() {
    veltrane::RegistryApi api = veltrane::Win32RegistryApi();
    api.createKey = [](HKEY root, const char* subKey, HKEY* key) -> LSTATUS {
        if (g_faults.failCreate == subKey) return ERROR_ACCESS_DENIED;
        g_faults.created.push_back(subKey);
        return veltrane::Win32RegistryApi().createKey(root, subKey, key);
    };
    api.setString = [](HKEY key, const char* name, const std::string& data) -> LSTATUS {
        if (g_faults.failSetValue == (name ? name : "")) return ERROR_ACCESS_DENIED;
        return veltrane::Win32RegistryApi().setString(key, name, data);
    };
    api.deleteKey = [](HKEY root, const char* subKey) -> LSTATUS {
        if (g_faults.failDelete == subKey) return ERROR_ACCESS_DENIED;
        g_faults.deleted.push_back(subKey);
        return veltrane::Win32RegistryApi().deleteKey(root, subKey);
    };
    return api;
}

class RegistrationTable : public ::testing::Test {
protected:
    void SetUp() override {
        g_faults = Faults();
        g_faults.failSetValue = "<none>";
        m_scratchName =
            "Software\\VeltraneTests\\registration-" + std::to_string(::GetCurrentProcessId());
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, (m_scratchName + "\\classes").c_str(), 0,
                                    nullptr, 0, KEY_ALL_ACCESS, nullptr, m_classes.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, (m_scratchName + "\\machine").c_str(), 0,
                                    nullptr, 0, KEY_ALL_ACCESS, nullptr, m_machine.put(), nullptr),
                  ERROR_SUCCESS);
        m_api = FaultyApi();
        m_target.classesRoot = m_classes.get();
        m_target.localMachine = m_machine.get();
        m_target.api = &m_api;
        m_input.classId = kClsid;
        m_input.commandClassId = kCommandClsid;
        m_input.modulePath = kModule;
        m_input.ntPlatform = true;
    }
    void TearDown() override {
        m_classes.reset();
        m_machine.reset();
        ::RegDeleteTreeA(HKEY_CURRENT_USER, m_scratchName.c_str());
        ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VeltraneTests");  // only when empty
    }

    bool ClassRowsPresent() const {
        return ReadRegString(m_classes.get(), kClassKey, nullptr).text == "Veltrane" &&
               ReadRegString(m_classes.get(), kServerKey, nullptr).text == kModule &&
               ReadRegString(m_classes.get(), kServerKey, "ThreadingModel").text == "Apartment";
    }
    bool CommandRowsPresent() const {
        return ReadRegString(m_classes.get(), kCommandClassKey, nullptr).text == "Veltrane" &&
               ReadRegString(m_classes.get(), kCommandServerKey, nullptr).text == kModule &&
               ReadRegString(m_classes.get(), kCommandServerKey, "ThreadingModel").text ==
                   "Apartment";
    }
    bool HandlerRowsPresent() const {
        return ReadRegString(m_classes.get(), kFileHandler, nullptr).text == kClsid &&
               ReadRegString(m_classes.get(), kFolderHandler, nullptr).text == kClsid &&
               ReadRegString(m_classes.get(), kDriveHandler, nullptr).text == kClsid &&
               ReadRegString(m_classes.get(), kBinHandler, nullptr).text == kClsid;
    }
    bool ApprovalPresent() const {
        return ReadRegString(m_machine.get(), kApproved, kClsid).exists;
    }

    std::string m_scratchName;
    veltrane::UniqueHKey m_classes;
    veltrane::UniqueHKey m_machine;
    veltrane::RegistryApi m_api{};
    veltrane::RegistryTarget m_target;
    veltrane::RegistrationInput m_input;
};

TEST_F(RegistrationTable, CreatesTheKeysInOrderAndRegistersTwice) {
    for (int pass = 0; pass < 2; ++pass) {
        g_faults.created.clear();
        ASSERT_EQ(veltrane::WriteRegistration(m_target, m_input), S_OK);
        EXPECT_EQ(
            g_faults.created,
            (std::vector<std::string>{kClassKey, kServerKey, kServerKey, kFileHandler,
                                      kFolderHandler, kDriveHandler, kBinHandler, kCommandClassKey,
                                      kCommandServerKey, kCommandServerKey, kApproved}));
        EXPECT_TRUE(ClassRowsPresent() && HandlerRowsPresent() && ApprovalPresent());
        EXPECT_TRUE(CommandRowsPresent());
        // The command is no context-menu handler of its own: the package names it.
        EXPECT_FALSE(KeyExists(m_classes.get(), kCommandClassKey + "\\shellex"));
    }
}

TEST_F(RegistrationTable, OutsideNtTheApprovalIsNeitherWrittenNorRemoved) {
    m_input.ntPlatform = false;
    ASSERT_EQ(veltrane::WriteRegistration(m_target, m_input), S_OK);
    EXPECT_TRUE(ClassRowsPresent());
    EXPECT_TRUE(HandlerRowsPresent());
    EXPECT_FALSE(KeyExists(m_machine.get(), kApproved));

    m_input.ntPlatform = true;
    ASSERT_EQ(veltrane::WriteRegistration(m_target, m_input), S_OK);
    EXPECT_EQ(veltrane::RemoveRegistration(m_target, kClsid, kCommandClsid, false), S_OK);
    EXPECT_TRUE(ApprovalPresent());
}

TEST_F(RegistrationTable, AKeyThatCannotBeCreatedStopsWithWhatWasWrittenKept) {
    g_faults.failCreate = kApproved;
    EXPECT_EQ(veltrane::WriteRegistration(m_target, m_input), SELFREG_E_CLASS);
    EXPECT_TRUE(ClassRowsPresent());
    EXPECT_TRUE(HandlerRowsPresent());

    TearDown();
    SetUp();
    g_faults.failCreate = kFileHandler;
    EXPECT_EQ(veltrane::WriteRegistration(m_target, m_input), SELFREG_E_CLASS);
    EXPECT_TRUE(ClassRowsPresent());
    EXPECT_FALSE(KeyExists(m_classes.get(), kFolderHandler)) << "nothing after the failure";
    EXPECT_FALSE(KeyExists(m_classes.get(), kCommandClassKey));
    EXPECT_FALSE(KeyExists(m_machine.get(), kApproved));

    TearDown();
    SetUp();
    g_faults.failCreate = kCommandServerKey;
    EXPECT_EQ(veltrane::WriteRegistration(m_target, m_input), SELFREG_E_CLASS);
    EXPECT_TRUE(ClassRowsPresent() && HandlerRowsPresent()) << "the classic menu is complete";
    EXPECT_EQ("Veltrane", ReadRegString(m_classes.get(), kCommandClassKey, nullptr).text);
    EXPECT_FALSE(KeyExists(m_machine.get(), kApproved));
}

TEST_F(RegistrationTable, AValueThatCannotBeWrittenFailsRegistration) {
    g_faults.failSetValue = "ThreadingModel";
    EXPECT_EQ(veltrane::WriteRegistration(m_target, m_input), SELFREG_E_CLASS);
    EXPECT_FALSE(KeyExists(m_classes.get(), kFileHandler));
}

TEST_F(RegistrationTable, WithoutClassIdentifierOrModulePathNothingIsWritten) {
    m_input.classId.clear();
    EXPECT_EQ(veltrane::WriteRegistration(m_target, m_input), SELFREG_E_CLASS);
    m_input.classId = kClsid;
    m_input.commandClassId.clear();
    EXPECT_EQ(veltrane::WriteRegistration(m_target, m_input), SELFREG_E_CLASS);
    m_input.commandClassId = kCommandClsid;
    m_input.modulePath.clear();
    EXPECT_EQ(veltrane::WriteRegistration(m_target, m_input), SELFREG_E_CLASS);
    EXPECT_TRUE(g_faults.created.empty());
    EXPECT_EQ(veltrane::RemoveRegistration(m_target, "", kCommandClsid, true), SELFREG_E_CLASS);
    EXPECT_EQ(veltrane::RemoveRegistration(m_target, kClsid, "", true), SELFREG_E_CLASS);
    EXPECT_TRUE(g_faults.deleted.empty());
}

TEST_F(RegistrationTable, RemovalDeletesItsKeysAndOnlyOurApprovalValue) {
    ASSERT_EQ(veltrane::WriteRegistration(m_target, m_input), S_OK);
    // Another product approved under the same key.
    veltrane::UniqueHKey approved;
    ASSERT_EQ(::RegOpenKeyExA(m_machine.get(), kApproved, 0, KEY_SET_VALUE, approved.put()),
              ERROR_SUCCESS);
    ::RegSetValueExA(approved.get(), "{00000000-0000-0000-0000-000000000001}", 0, REG_SZ,
                     reinterpret_cast<const BYTE*>("Other"), 6);

    EXPECT_EQ(veltrane::RemoveRegistration(m_target, kClsid, kCommandClsid, true), S_OK);
    EXPECT_EQ(g_faults.deleted,
              (std::vector<std::string>{kServerKey, kClassKey, kFileHandler, kFolderHandler,
                                        kDriveHandler, kBinHandler, kCommandServerKey,
                                        kCommandClassKey}));
    for (const std::string& key :
         {kClassKey, std::string(kFileHandler), std::string(kFolderHandler),
          std::string(kDriveHandler), kCommandClassKey}) {
        EXPECT_FALSE(KeyExists(m_classes.get(), key)) << key;
    }
    EXPECT_FALSE(ApprovalPresent());
    EXPECT_TRUE(
        ReadRegString(m_machine.get(), kApproved, "{00000000-0000-0000-0000-000000000001}").exists);

    // Approval already gone: removal still succeeds.
    ASSERT_EQ(veltrane::WriteRegistration(m_target, m_input), S_OK);
    ::RegDeleteValueA(approved.get(), kClsid);
    EXPECT_EQ(veltrane::RemoveRegistration(m_target, kClsid, kCommandClsid, true), S_OK);
}

TEST_F(RegistrationTable, RemovalStopsAtTheFirstKeyThatCannotBeDeleted) {
    EXPECT_EQ(veltrane::RemoveRegistration(m_target, kClsid, kCommandClsid, true), SELFREG_E_CLASS)
        << "nothing registered";

    ASSERT_EQ(veltrane::WriteRegistration(m_target, m_input), S_OK);
    g_faults.failDelete = kFileHandler;
    EXPECT_EQ(veltrane::RemoveRegistration(m_target, kClsid, kCommandClsid, true), SELFREG_E_CLASS);
    EXPECT_FALSE(KeyExists(m_classes.get(), kClassKey));
    EXPECT_TRUE(HandlerRowsPresent()) << "nothing after the failure";
    EXPECT_TRUE(CommandRowsPresent());
    EXPECT_TRUE(ApprovalPresent());
}

TEST_F(RegistrationTable, AnEarlierRegistrationWithoutTheCommandStillLosesItsClassicRows) {
    // What a module without the Windows 11 command registered: the classic rows only.
    ASSERT_EQ(veltrane::WriteRegistration(m_target, m_input), S_OK);
    ::RegDeleteTreeA(m_classes.get(), kCommandClassKey.c_str());
    EXPECT_EQ(veltrane::RemoveRegistration(m_target, kClsid, kCommandClsid, true), SELFREG_E_CLASS);
    for (const std::string& key :
         {kClassKey, std::string(kFileHandler), std::string(kFolderHandler)}) {
        EXPECT_FALSE(KeyExists(m_classes.get(), key)) << key;
    }
}

}  // namespace
