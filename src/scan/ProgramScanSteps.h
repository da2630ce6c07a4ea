#pragma once
// The steps the program runs today: the boot-clean driver is extracted when the controller starts and removed
// when it goes; the cleaner steps that are not built yet do nothing and succeed.
#include "cleaners/system/BootCleanDriver.h"
#include "scan/ScanSteps.h"

class ProgramScanSteps final : public PendingScanSteps {
public:
    void PrepareBootCleanDriver() override { m_driver.ExtractBootCleanDriver(); }
    void Release() override { m_driver.RemoveExtractedDriver(); }

private:
    BootCleanRegistrar m_driver;
};
