#include "framework/ModuleActivity.h"

#include <atomic>

namespace veltrane {

namespace {

std::atomic<long> g_activityCount{0};

}  // namespace

ModuleActivity::ModuleActivity() noexcept {
    ++g_activityCount;
}

ModuleActivity::~ModuleActivity() {
    --g_activityCount;
}

long ModuleActivity::Count() noexcept {
    return g_activityCount.load();
}

}  // namespace veltrane
