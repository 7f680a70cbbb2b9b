#pragma once

// One scan of the current scanner, from the device-busy check to the last line written: the driver
// is driven through its preparation in a fixed order, the output pipeline, reader and output stage
// are started, the free disk space is checked and the start command sent; a sink operation then
// moves the image into a file or a memory bitmap, and EndScan stops the device and cleans up.
//
// Every caller: construct (or Attach), ScanToFile or ScanToMemory, EndScan (also after a failure),
// destroy.

#include "core/driver/ScannerDriver.h"
#include "core/scan/ScanOutput.h"
#include "core/scan/ScanReader.h"

#include <cstdint>
#include <ctime>

class CDib;
class CScanSettings;

extern time_t g_ScanStartTime;
extern time_t g_ScanEndTime;


class CScanJob {
public:
    CScanJob(CScanSettings* settings, ScanProgressCallback callback);
    CScanJob(const CScanJob&) = delete;
    CScanJob& operator=(const CScanJob&) = delete;

    void Attach(CScanSettings* settings, ScanProgressCallback callback);

    // 0, or the code of the step that failed (see the result codes of CScannerDriver).
    uint16_t StartScan(uint16_t readerMode, uint16_t passes, const char* path);
    uint16_t StartFileScan(const char* path);
    // 1 when the whole image is in the file; a partial file is removed.
    uint16_t ScanToFile(const char* path);
    // 0, or 252 after the failure was reported.
    uint16_t ScanToMemory(CDib& sink);
    uint16_t BeginReadPass(int32_t argument);
    int ReportProgress(int32_t value);
    // 1 when there is room, else 0 after message 3349.
    int CheckDiskSpace(const char* path, uint16_t passes);
    bool NeedsSettleWait() const;
    void EndScan();

    int32_t IsDeviceBusy() const { return m_bDeviceBusy; }

private:
    uint16_t CheckDeviceFree();
    uint16_t ReportStartFailure(uint16_t result);
    bool LacksRoomFor(const char* path) const;
    uint16_t PrepareDriver();
    uint16_t PassesForType() const;
    void DeleteBusyAtom();
    void SettleWait();

    ScanProgressCallback m_pfnProgress = nullptr;
    int32_t m_bDeviceBusy = 0;
    CScanSettings* m_pSettings = nullptr;
    CScanReader m_reader;
    CScanOutput m_output;
    uint16_t m_nLastResult = 0;
};
