#pragma once
// Reference counting of the module's COM objects, written once.
//
// The objects keep their count as a plain ULONG field of their own (so the class
// layout is exactly the interfaces' vtables followed by the fields) and forward
// AddRef/Release here. Objects are apartment-threaded: one object's count is only
// touched by the thread that owns it. The module-wide count of live objects is shared
// by every apartment of the process and is therefore atomic.

#include <windows.h>

#include <atomic>

namespace veltrane {

inline ULONG ComAddRef(ULONG& refCount) noexcept {
    return ++refCount;
}

// Lowers the count; at 0 the object is destroyed and freed. Returns the new count.
template <class Object>
ULONG ComRelease(Object* object, ULONG& refCount) noexcept {
    const ULONG count = --refCount;
    if (count == 0) delete object;
    return count;
}

// Number of live COM objects of the module (factories and extension objects), which
// decides whether the module may be unloaded. Raised by 1 in each constructor, lowered by
// 1 in each destructor; references do not count.
inline std::atomic<long> g_objectCount{0};

}  // namespace veltrane
