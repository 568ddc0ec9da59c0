#pragma once
// The module's application object: creates the job lock when the module starts and deletes
// it when the module stops.

#include "framework/WinApp.h"

class CVeltraneApp : public veltrane::CWinApp {
public:
    CVeltraneApp();

    BOOL InitInstance() override;
    int ExitInstance() override;
};
