// The in-process server as the shell sees it: veltrane.dll loaded by its path, its exports
// found by name, factories and extension objects created, queried and released.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "support/WinTestSupport.h"
#include "TestSupport.h"
#include "framework/Handles.h"

namespace {

// {CCF51AE6-B015-489C-BEE6-095BB5EF9BCF}
const CLSID kExtensionClass = {
    0xccf51ae6, 0xb015, 0x489c, {0xbe, 0xe6, 0x09, 0x5b, 0xb5, 0xef, 0x9b, 0xcf}};

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

class ServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_module = ::LoadLibraryA(testsupport::DllPath().c_str());
        ASSERT_NE(s_module, nullptr) << testsupport::DllPath();
        s_getClassObject = testsupport::Export<GetClassObjectFn>(s_module, "DllGetClassObject");
        s_canUnloadNow = testsupport::Export<CanUnloadNowFn>(s_module, "DllCanUnloadNow");
    }
    static void TearDownTestSuite() { ::FreeLibrary(s_module); }

    void SetUp() override {
        ASSERT_NE(s_getClassObject, nullptr);
        ASSERT_NE(s_canUnloadNow, nullptr);
        // Every test starts and must end with nothing alive.
        ASSERT_EQ(s_canUnloadNow(), S_OK);
    }
    void TearDown() override { EXPECT_EQ(s_canUnloadNow(), S_OK) << "an object outlived its test"; }

    static veltrane::ComPtr<IClassFactory> Factory() {
        veltrane::ComPtr<IClassFactory> factory;
        EXPECT_EQ(s_getClassObject(kExtensionClass, IID_IClassFactory, factory.PutVoid()), S_OK);
        return factory;
    }

    static HMODULE s_module;
    static GetClassObjectFn s_getClassObject;
    static CanUnloadNowFn s_canUnloadNow;
};

HMODULE ServerTest::s_module = nullptr;
GetClassObjectFn ServerTest::s_getClassObject = nullptr;
CanUnloadNowFn ServerTest::s_canUnloadNow = nullptr;

void* const kGarbage = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x1234));

template <class Interface>
void** Out(Interface** p) {
    return reinterpret_cast<void**>(p);
}

TEST_F(ServerTest, UnloadIsRefusedWhileAFactoryOrAnObjectLives) {
    IClassFactory* first = nullptr;
    IClassFactory* second = nullptr;
    ASSERT_EQ(s_getClassObject(kExtensionClass, IID_IClassFactory, Out(&first)), S_OK);
    EXPECT_EQ(s_canUnloadNow(), S_FALSE);
    ASSERT_EQ(s_getClassObject(kExtensionClass, IID_IUnknown, Out(&second)), S_OK);
    EXPECT_NE(first, second) << "a new factory for every call";

    IShellExtInit* object = nullptr;
    ASSERT_EQ(first->CreateInstance(nullptr, IID_IShellExtInit, Out(&object)), S_OK);
    EXPECT_EQ(first->Release(), 0u);
    EXPECT_EQ(s_canUnloadNow(), S_FALSE);
    EXPECT_EQ(second->Release(), 0u);
    EXPECT_EQ(s_canUnloadNow(), S_FALSE) << "the object alone keeps the module";
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(s_canUnloadNow(), S_OK);
}

TEST_F(ServerTest, LockServerChangesNothing) {
    auto factory = Factory();
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->AddRef(), 2u) << "LockServer took no reference";
    EXPECT_EQ(factory->Release(), 1u);
    factory.Reset();
    EXPECT_EQ(s_canUnloadNow(), S_OK) << "a lock left behind must not pin the module";
}

TEST_F(ServerTest, RefusedRequestsLeaveANullPointerAndNothingAlive) {
    void* out = kGarbage;
    EXPECT_EQ(s_getClassObject(IID_IUnknown, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(s_canUnloadNow(), S_OK);
    // A factory or object whose first query fails is freed at once, not left counted.
    out = kGarbage;
    EXPECT_EQ(s_getClassObject(kExtensionClass, IID_IShellExtInit, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(s_canUnloadNow(), S_OK);
    EXPECT_EQ(s_getClassObject(kExtensionClass, IID_IClassFactory, nullptr), E_POINTER);

    auto factory = Factory();
    void* unknown = nullptr;
    ASSERT_EQ(factory->QueryInterface(IID_IUnknown, &unknown), S_OK);
    EXPECT_EQ(unknown, factory.Get());
    EXPECT_EQ(factory->Release(), 1u);
    out = kGarbage;
    EXPECT_EQ(factory->QueryInterface(IID_IContextMenu, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);

    out = kGarbage;
    EXPECT_EQ(factory->CreateInstance(factory.Get(), IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    out = kGarbage;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, nullptr), E_POINTER);
    factory.Reset();
    EXPECT_EQ(s_canUnloadNow(), S_OK) << "no extension object may be left behind";
}

TEST_F(ServerTest, ObjectHasTwoInterfacesAndAnswersIUnknownWithIShellExtInit) {
    auto factory = Factory();
    IShellExtInit* init = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, Out(&init)), S_OK);
    factory.Reset();
    EXPECT_EQ(init->AddRef(), 2u) << "handed out with exactly one reference";
    EXPECT_EQ(init->Release(), 1u);

    IContextMenu* menu = nullptr;
    ASSERT_EQ(init->QueryInterface(IID_IContextMenu, Out(&menu)), S_OK);
    // IContextMenu is the start of the object, IShellExtInit the pointer right after it.
    EXPECT_EQ(reinterpret_cast<char*>(init) - reinterpret_cast<char*>(menu),
              static_cast<std::ptrdiff_t>(sizeof(void*)));

    void* unknownViaMenu = nullptr;
    void* unknownViaInit = nullptr;
    void* initViaMenu = nullptr;
    ASSERT_EQ(menu->QueryInterface(IID_IUnknown, &unknownViaMenu), S_OK);
    ASSERT_EQ(init->QueryInterface(IID_IUnknown, &unknownViaInit), S_OK);
    ASSERT_EQ(menu->QueryInterface(IID_IShellExtInit, &initViaMenu), S_OK);
    EXPECT_EQ(unknownViaMenu, static_cast<void*>(init));
    EXPECT_EQ(unknownViaInit, static_cast<void*>(init));
    EXPECT_EQ(initViaMenu, static_cast<void*>(init));

    for (IUnknown* through : {static_cast<IUnknown*>(menu), static_cast<IUnknown*>(init)}) {
        void* out = kGarbage;
        EXPECT_EQ(through->QueryInterface(IID_IDataObject, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }

    // Five references now, one count whichever interface releases them.
    EXPECT_EQ(menu->AddRef(), 6u);
    EXPECT_EQ(init->Release(), 5u);
    EXPECT_EQ(menu->Release(), 4u);
    EXPECT_EQ(init->Release(), 3u);
    EXPECT_EQ(init->Release(), 2u);
    EXPECT_EQ(menu->Release(), 1u);
    EXPECT_EQ(s_canUnloadNow(), S_FALSE);
    EXPECT_EQ(init->Release(), 0u);
}

// A data object that counts its references and serves nothing.
using CountingDataObject = veltrane::test::FakeDataObject;

TEST_F(ServerTest, ReleasingTheObjectReleasesItsDataObjectOnce) {
    CountingDataObject data;
    auto factory = Factory();
    IShellExtInit* init = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, Out(&init)), S_OK);
    init->Initialize(nullptr, &data, nullptr);  // serves no file list: the result may be a failure
    EXPECT_EQ(data.refs, 2u) << "the object keeps one reference";
    EXPECT_EQ(init->Release(), 0u);
    EXPECT_EQ(data.refs, 1u);
}

}  // namespace
