#pragma once
// The one process-wide lock `g_jobLock` that guards what a wipe job's worker shares with
// the shell's thread (the WipeJob fields and the progress dialog's cancel flag), and its
// accessors. Each accessor holds the lock for exactly one read or write (a string copy
// included) and never across a call into anything else, so it cannot deadlock.

#include <atomic>
#include <cstdint>
#include <string>

namespace veltrane {

// Created when the module starts, deleted when it stops (the application object).
// Creating it again while it exists does nothing.
void InitializeJobLock();
void DeleteJobLock();

// 8-bit booleans: WipeJob::done, WipeJob::cancel.
bool LockedGet(const bool& value);
void LockedSet(bool& target, bool value);
std::uint8_t LockedGet(const std::atomic<std::uint8_t>& value);
void LockedSet(std::atomic<std::uint8_t>& target, std::uint8_t value);

// 32-bit integers: WipeJob::progress, WipeJob::result, the dialog's m_bCancel.
std::int32_t LockedGet(const std::int32_t& value);
void LockedSet(std::int32_t& target, std::int32_t value);
std::int32_t LockedGet(const std::atomic<std::int32_t>& value);
void LockedSet(std::atomic<std::int32_t>& target, std::int32_t value);

// Strings: WipeJob::path. Get returns a copy; Set assigns a copy.
std::string LockedGet(const std::string& value);
void LockedSet(std::string& target, const std::string& value);

}  // namespace veltrane
