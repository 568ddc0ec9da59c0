// The server's failure paths that the real DLL cannot be pushed into: allocations that
// fail, and a module without the submenu bitmap (this test program has none).
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "framework/Handles.h"
#include "shellext/CShellExt.h"
#include "shellext/CShellExtClassFactory.h"
#include "shellext/Guid.h"
#include "shellext/Server.h"

namespace {

// Allocations of exactly this many bytes fail while it is non-zero.
std::atomic<std::size_t> g_failSize{0};

void* Allocate(std::size_t size) noexcept {
    if (size != 0 && size == g_failSize.load()) return nullptr;
    return std::malloc(size ? size : 1);
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace {

struct FailAllocationsOf {
    explicit FailAllocationsOf(std::size_t size) { g_failSize = size; }
    ~FailAllocationsOf() { g_failSize = 0; }
};

TEST(CoreServer, NoMemoryForAFactoryOrAnObjectIsReportedAndLeavesNothing) {
    void* out = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x1234));
    {
        FailAllocationsOf failing(sizeof(CShellExtClassFactory));
        EXPECT_EQ(veltrane::GetClassObject(CLSID_ShellExt, IID_IClassFactory, &out), E_OUTOFMEMORY);
    }
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(veltrane::LiveObjectCount(), 0);

    veltrane::ComPtr<IClassFactory> factory;
    ASSERT_EQ(veltrane::GetClassObject(CLSID_ShellExt, IID_IClassFactory, factory.PutVoid()), S_OK);
    out = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x1234));
    {
        FailAllocationsOf failing(sizeof(CShellExt));
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, &out), E_OUTOFMEMORY);
    }
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(veltrane::LiveObjectCount(), 1) << "only the factory";
    factory.Reset();
    EXPECT_EQ(veltrane::CanUnloadNow(), S_OK);
}

TEST(CoreServer, AnObjectIsBuiltEvenWithoutItsBitmap) {
    veltrane::ComPtr<IClassFactory> factory;
    ASSERT_EQ(veltrane::GetClassObject(CLSID_ShellExt, IID_IClassFactory, factory.PutVoid()), S_OK);
    veltrane::ComPtr<IContextMenu> menu;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, menu.PutVoid()), S_OK);
    // IContextMenu is the start of the object.
    const auto* object = static_cast<CShellExt*>(menu.Get());
    EXPECT_EQ(object->MenuBitmap(), nullptr);
    EXPECT_TRUE(object->Selection().empty());
    EXPECT_EQ(veltrane::LiveObjectCount(), 2);
    menu.Reset();
    factory.Reset();
    EXPECT_EQ(veltrane::LiveObjectCount(), 0);
}

}  // namespace
