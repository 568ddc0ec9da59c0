#include "job/JobLock.h"

#ifdef _WIN32
#include <windows.h>

#include "framework/Handles.h"
#else
#include <mutex>
#endif

namespace veltrane {

#ifdef _WIN32

namespace {

CRITICAL_SECTION g_jobLock;
bool g_jobLockReady = false;

struct JobLockGuard {
    CriticalSectionLock lock{g_jobLock};
};

}  // namespace

void InitializeJobLock() {
    if (g_jobLockReady) return;
    ::InitializeCriticalSection(&g_jobLock);
    g_jobLockReady = true;
}

void DeleteJobLock() {
    if (!g_jobLockReady) return;
    ::DeleteCriticalSection(&g_jobLock);
    g_jobLockReady = false;
}

#else

namespace {

// A plain mutex natively, so that ThreadSanitizer sees the ordering it gives.
std::mutex g_jobLock;

struct JobLockGuard {
    std::lock_guard<std::mutex> lock{g_jobLock};
};

}  // namespace

void InitializeJobLock() {}
void DeleteJobLock() {}

#endif

bool LockedGet(const bool& value) {
    JobLockGuard guard;
    return value;
}

void LockedSet(bool& target, bool value) {
    JobLockGuard guard;
    target = value;
}

std::uint8_t LockedGet(const std::atomic<std::uint8_t>& value) {
    JobLockGuard guard;
    return value.load(std::memory_order_relaxed);
}

void LockedSet(std::atomic<std::uint8_t>& target, std::uint8_t value) {
    JobLockGuard guard;
    target.store(value, std::memory_order_relaxed);
}

std::int32_t LockedGet(const std::int32_t& value) {
    JobLockGuard guard;
    return value;
}

void LockedSet(std::int32_t& target, std::int32_t value) {
    JobLockGuard guard;
    target = value;
}

std::int32_t LockedGet(const std::atomic<std::int32_t>& value) {
    JobLockGuard guard;
    return value.load(std::memory_order_relaxed);
}

void LockedSet(std::atomic<std::int32_t>& target, std::int32_t value) {
    JobLockGuard guard;
    target.store(value, std::memory_order_relaxed);
}

std::string LockedGet(const std::string& value) {
    JobLockGuard guard;
    return value;  // a throwing copy still leaves the lock through the guard
}

void LockedSet(std::string& target, const std::string& value) {
    JobLockGuard guard;
    target = value;
}

}  // namespace veltrane
