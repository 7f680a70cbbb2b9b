#include "tests/core/driver/DriverTestSupport.h"

#include <string>

void DriverFixture::SetUp()
{
    LoadEnglishCatalog();
    m_pDriver = std::make_unique<CScannerDriver>();
    g_pScannerDriver = m_pDriver.get();
    g_pScanSettings = &m_Settings;
    m_pDriver->InitCapabilities();
}

void DriverFixture::TearDown()
{
    g_pScanSettings = nullptr;
    g_pScannerDriver = nullptr;
    m_pDriver.reset();
}
