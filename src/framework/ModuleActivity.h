#pragma once
// Work of the module that is under way outside any COM object: a running wipe job, a
// worker thread. The module must not be unloaded while any exists, so DllCanUnloadNow
// looks at this count beside the count of live objects.

namespace veltrane {

// Counts itself from construction to destruction.
class ModuleActivity {
public:
    ModuleActivity() noexcept;
    ~ModuleActivity();
    ModuleActivity(const ModuleActivity&) = delete;
    ModuleActivity& operator=(const ModuleActivity&) = delete;

    // How many exist now, across every thread of the process.
    static long Count() noexcept;
};

}  // namespace veltrane
