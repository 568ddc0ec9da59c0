#pragma once
// Owning wrappers for every kind of Windows handle the module holds, plus a COM
// interface holder and a critical section with its guard. One template does the work;
// each kind is a traits record naming its handle type, its "no handle" value and how
// it is closed.

#include <windows.h>
#include <objbase.h>

#include <cstddef>
#include <utility>

namespace veltrane {

template <class Traits>
class UniqueAny {
public:
    using pointer = typename Traits::type;

    UniqueAny() noexcept : m_value(Traits::invalid()) {}
    explicit UniqueAny(pointer value) noexcept : m_value(value) {}
    UniqueAny(UniqueAny&& other) noexcept : m_value(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    ~UniqueAny() { reset(); }

    pointer get() const noexcept { return m_value; }
    bool valid() const noexcept { return m_value != Traits::invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // Gives up ownership without closing.
    pointer release() noexcept {
        pointer value = m_value;
        m_value = Traits::invalid();
        return value;
    }

    void reset(pointer value = Traits::invalid()) noexcept {
        pointer old = m_value;
        m_value = value;
        if (old != Traits::invalid()) Traits::close(old);
    }

    // For out-parameters: closes what is held and hands out the slot.
    pointer* put() noexcept {
        reset();
        return &m_value;
    }

private:
    pointer m_value;
};

namespace handle_traits {

struct File {
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { ::CloseHandle(h); }
};

struct Kernel {
    using type = HANDLE;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::CloseHandle(h); }
};

struct Find {
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { ::FindClose(h); }
};

struct RegKey {
    using type = HKEY;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::RegCloseKey(h); }
};

struct Menu {
    using type = HMENU;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::DestroyMenu(h); }
};

template <class GdiHandle>
struct Gdi {
    using type = GdiHandle;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::DeleteObject(h); }
};

struct Module {
    using type = HMODULE;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::FreeLibrary(h); }
};

struct ActCtx {
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { ::ReleaseActCtx(h); }
};

template <class T>
struct CoTaskMem {
    using type = T*;
    static type invalid() noexcept { return nullptr; }
    static void close(type p) noexcept { ::CoTaskMemFree(p); }
};

}  // namespace handle_traits

using UniqueFile = UniqueAny<handle_traits::File>;        // CreateFile
using UniqueHandle = UniqueAny<handle_traits::Kernel>;    // threads, events
using UniqueFindHandle = UniqueAny<handle_traits::Find>;  // FindFirstFile
using UniqueHKey = UniqueAny<handle_traits::RegKey>;      // RegOpenKeyEx, RegCreateKeyEx
using UniqueMenu = UniqueAny<handle_traits::Menu>;        // CreateMenu, CreatePopupMenu
template <class GdiHandle>
using UniqueGdiObject = UniqueAny<handle_traits::Gdi<GdiHandle>>;
using UniqueBitmap = UniqueGdiObject<HBITMAP>;          // LoadBitmap, CreateBitmap
using UniqueModule = UniqueAny<handle_traits::Module>;  // LoadLibrary
using UniqueActCtx = UniqueAny<handle_traits::ActCtx>;  // CreateActCtx
template <class T>
using UniqueCoTaskMem = UniqueAny<handle_traits::CoTaskMem<T>>;  // StringFromIID and friends

// Holds one reference on a COM interface and releases it exactly once.
template <class Interface>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Takes a new reference on `p`; use Attach to adopt one already owned.
    explicit ComPtr(Interface* p) noexcept : m_ptr(p) {
        if (m_ptr) m_ptr->AddRef();
    }
    ComPtr(const ComPtr& other) noexcept : ComPtr(other.m_ptr) {}
    ComPtr(ComPtr&& other) noexcept : m_ptr(other.Detach()) {}
    ComPtr& operator=(const ComPtr& other) noexcept {
        ComPtr(other).Swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        ComPtr(std::move(other)).Swap(*this);
        return *this;
    }
    ~ComPtr() { Reset(); }

    Interface* Get() const noexcept { return m_ptr; }
    Interface* operator->() const noexcept { return m_ptr; }
    explicit operator bool() const noexcept { return m_ptr != nullptr; }

    void Reset() noexcept {
        Interface* old = m_ptr;
        m_ptr = nullptr;
        if (old) old->Release();
    }
    // Adopts a reference the caller already owns.
    void Attach(Interface* p) noexcept {
        Reset();
        m_ptr = p;
    }
    Interface* Detach() noexcept {
        Interface* p = m_ptr;
        m_ptr = nullptr;
        return p;
    }
    void Swap(ComPtr& other) noexcept { std::swap(m_ptr, other.m_ptr); }

    // For out-parameters (`Interface**`): releases what is held and hands out the slot.
    Interface** Put() noexcept {
        Reset();
        return &m_ptr;
    }
    // For QueryInterface-style `void**` out-parameters.
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

private:
    Interface* m_ptr = nullptr;
};

// Holds a critical section from construction to the end of the scope.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CRITICAL_SECTION& section) noexcept : m_section(section) {
        ::EnterCriticalSection(&m_section);
    }
    ~CriticalSectionLock() { ::LeaveCriticalSection(&m_section); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CRITICAL_SECTION& m_section;
};

// A window's device context from GetDC, with the window's font selected in it while it is
// held; both are given back on every way out.
class WindowDC {
public:
    explicit WindowDC(HWND window) noexcept : m_window(window), m_dc(::GetDC(window)) {
        const auto font = reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0));
        if (m_dc && font) m_oldFont = ::SelectObject(m_dc, font);
    }
    ~WindowDC() {
        if (!m_dc) return;
        if (m_oldFont) ::SelectObject(m_dc, m_oldFont);
        ::ReleaseDC(m_window, m_dc);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC get() const noexcept { return m_dc; }

private:
    HWND m_window;
    HDC m_dc;
    HGDIOBJ m_oldFont = nullptr;
};

}  // namespace veltrane
