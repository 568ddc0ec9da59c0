#include "shellext/CVeltraneApp.h"

#include "job/JobLock.h"

CVeltraneApp::CVeltraneApp() : CWinApp(nullptr) {}

BOOL CVeltraneApp::InitInstance() {
    // The lock exists before any COM object can be created.
    veltrane::InitializeJobLock();
    return CWinApp::InitInstance();
}

int CVeltraneApp::ExitInstance() {
    veltrane::DeleteJobLock();
    return CWinApp::ExitInstance();
}
