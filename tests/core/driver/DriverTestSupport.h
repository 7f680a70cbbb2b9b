#pragma once

// What the driver tests share: the English catalog (format names and message texts), a recorder of
// reported messages in place of the boxes, and a settings record made current for the test.

#include "core/driver/ScannerDriver.h"
#include "core/settings/ScanSettings.h"
#include "tests/support/Reports.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// A base driver with its capabilities and a record of its own, both current for the test.
class DriverFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<CScannerDriver> m_pDriver;
    CScanSettings m_Settings;
    CReportRecorder m_Reports;
};
