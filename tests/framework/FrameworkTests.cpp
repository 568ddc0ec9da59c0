// The framework layer under the COM classes: handle ownership, the exception report, the
// application object's start and stop, and the module-state scope.
#include <windows.h>

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/ExceptionReport.h"
#include "support/RecordedReports.h"
#include "framework/Handles.h"
#include "framework/Module.h"
#include "framework/ModuleStateScope.h"
#include "framework/WinApp.h"

namespace {

bool IsOpen(HANDLE handle) {
    DWORD flags = 0;
    return ::GetHandleInformation(handle, &flags) != 0;
}

TEST(Handles, CloseExactlyWhatTheyOwn) {
    HANDLE raw = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    {
        veltrane::UniqueHandle event(raw);
        EXPECT_TRUE(event);
        veltrane::UniqueHandle moved(std::move(event));
        EXPECT_FALSE(event);
        EXPECT_EQ(moved.get(), raw);
        EXPECT_TRUE(IsOpen(raw));
    }
    EXPECT_FALSE(IsOpen(raw)) << "closed when its owner went";

    veltrane::UniqueHandle kept(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    HANDLE released = kept.release();
    EXPECT_FALSE(kept);
    EXPECT_TRUE(IsOpen(released)) << "release hands it over unclosed";
    ::CloseHandle(released);

    veltrane::UniqueHandle slot(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    HANDLE first = slot.get();
    *slot.put() = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(IsOpen(first)) << "put closes the old handle before handing out the slot";
    EXPECT_TRUE(IsOpen(slot.get()));
}

// Counts references like a COM object, without being one.
struct Counted : IUnknown {
    ULONG refs = 1;
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
};

TEST(ComPtr, TakesAndReleasesEachReferenceOnce) {
    Counted object;
    {
        veltrane::ComPtr<IUnknown> a(&object);
        EXPECT_EQ(object.refs, 2u);
        veltrane::ComPtr<IUnknown> b = a;
        EXPECT_EQ(object.refs, 3u);
        veltrane::ComPtr<IUnknown> c = std::move(b);
        EXPECT_EQ(object.refs, 3u) << "a move takes no reference";
        EXPECT_FALSE(b);
        c = a;
        EXPECT_EQ(object.refs, 3u);
        a = a;
        EXPECT_EQ(object.refs, 3u) << "self-assignment keeps the count";
        c.Reset();
        c.Reset();
        EXPECT_EQ(object.refs, 2u);
    }
    EXPECT_EQ(object.refs, 1u);

    object.AddRef();  // a reference the holder adopts
    veltrane::ComPtr<IUnknown> adopted;
    adopted.Attach(&object);
    EXPECT_EQ(object.refs, 2u);
    *adopted.Put() = nullptr;
    EXPECT_EQ(object.refs, 1u) << "Put releases what was held";
    EXPECT_FALSE(adopted);
}

using ExceptionReportTest = test::RecordedReportsTest;
using test::g_reports;

TEST_F(ExceptionReportTest, AllocationFailuresReadOutOfMemoryAndIndexErrorsInvalidArgument) {
    EXPECT_STREQ(veltrane::FrameworkExceptionText(std::bad_alloc()), "Out of memory.");
    EXPECT_STREQ(veltrane::FrameworkExceptionText(std::bad_array_new_length()), "Out of memory.");
    EXPECT_STREQ(veltrane::FrameworkExceptionText(std::length_error("size")), "Out of memory.");
    EXPECT_STREQ(veltrane::FrameworkExceptionText(std::out_of_range("at")),
                 "An invalid argument was encountered.");
    EXPECT_STREQ(veltrane::FrameworkExceptionText(std::invalid_argument("x")),
                 "An invalid argument was encountered.");
}

TEST_F(ExceptionReportTest, GuardReportsOnceAndStopsTheException) {
    EXPECT_TRUE(veltrane::GuardFrameworkCall([] {}));
    EXPECT_TRUE(g_reports.empty());

    EXPECT_FALSE(veltrane::GuardFrameworkCall([] { std::vector<int>().at(3); }));
    EXPECT_FALSE(veltrane::GuardFrameworkCall([] { throw std::bad_alloc(); }));
    EXPECT_FALSE(veltrane::GuardFrameworkCall([] { throw 42; }));
    ASSERT_EQ(g_reports.size(), 3u);
    EXPECT_EQ(g_reports[0], "An invalid argument was encountered.");
    EXPECT_EQ(g_reports[1], "Out of memory.");
    EXPECT_EQ(g_reports[2], "An invalid argument was encountered.");

    veltrane::SetFrameworkReportSink([](const char*) { throw std::runtime_error("sink"); });
    EXPECT_FALSE(veltrane::GuardFrameworkCall([] { throw std::bad_alloc(); }))
        << "a failing report is no new failure";
}

class RecordingApp : public veltrane::CWinApp {
public:
    explicit RecordingApp(BOOL initResult, const char* name = nullptr)
        : CWinApp(name), m_initResult(initResult) {}
    BOOL InitInstance() override {
        events += "init;";
        if (m_throw) throw std::bad_alloc();
        return m_initResult;
    }
    int ExitInstance() override {
        events += "exit;";
        return CWinApp::ExitInstance();
    }
    std::string events;
    bool m_throw = false;

private:
    BOOL m_initResult;
};

TEST(WinApp, StartsAtAttachAndStopsOnceAtDetach) {
    {
        RecordingApp named(TRUE, "Given");
        EXPECT_EQ(named.AppName(), "Given");
    }
    EXPECT_EQ(veltrane::CurrentApp(), nullptr) << "the app object unregisters itself";
    RecordingApp app(TRUE);
    EXPECT_EQ(veltrane::CurrentApp(), &app);
    EXPECT_EQ(app.AppName(), "framework_tests") << "no name: the module's";
    EXPECT_TRUE(veltrane::AppProcessAttach(veltrane::ModuleInstance()));
    EXPECT_EQ(app.events, "init;");
    veltrane::AppProcessDetach();
    veltrane::AppProcessDetach();
    EXPECT_EQ(app.events, "init;exit;");
}

TEST(WinApp, AFailedStartStopsAtOnceAndFailsTheLoad) {
    {
        RecordingApp app(FALSE);
        EXPECT_FALSE(veltrane::AppProcessAttach(veltrane::ModuleInstance()));
        EXPECT_EQ(app.events, "init;exit;");
        veltrane::AppProcessDetach();  // the loader's detach after a refused attach
        EXPECT_EQ(app.events, "init;exit;");
    }
    RecordingApp throwing(TRUE);
    throwing.m_throw = true;
    EXPECT_FALSE(veltrane::AppProcessAttach(veltrane::ModuleInstance()));
    EXPECT_EQ(throwing.events, "init;exit;");
}

TEST(Module, IsTheModuleHoldingTheCode) {
    // Linked into this program, the code's module is the program itself.
    EXPECT_EQ(veltrane::ModuleInstance(), ::GetModuleHandleA(nullptr));
    EXPECT_EQ(veltrane::ResourceInstance(), veltrane::ModuleInstance());
    char expected[MAX_PATH] = "";
    ::GetModuleFileNameA(nullptr, expected, MAX_PATH);
    EXPECT_EQ(veltrane::ModuleFileName(), expected);
}

HANDLE CurrentContext() {
    HANDLE current = nullptr;
    ::GetCurrentActCtx(&current);
    if (current) ::ReleaseActCtx(current);  // only the identity is wanted
    return current;
}

TEST(ModuleStateScope, ActivatesTheModulesContextAndRestoresItOnEveryExit) {
    const HANDLE outside = CurrentContext();
    const HANDLE own = veltrane::ModuleActivationContext();
    ASSERT_NE(own, INVALID_HANDLE_VALUE) << "this program carries a manifest resource 2";
    EXPECT_EQ(veltrane::ModuleActivationContext(), own) << "made once";
    {
        veltrane::ModuleStateScope scope;
        EXPECT_TRUE(scope.Active());
        EXPECT_EQ(CurrentContext(), own);
        {
            veltrane::ModuleStateScope nested;
            EXPECT_EQ(CurrentContext(), own);
        }
        EXPECT_EQ(CurrentContext(), own);
    }
    EXPECT_EQ(CurrentContext(), outside);

    try {
        veltrane::ModuleStateScope scope;
        EXPECT_EQ(CurrentContext(), own);
        throw std::runtime_error("leave early");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(CurrentContext(), outside) << "left on the exceptional path too";
}

}  // namespace
