#pragma once

// Everything one benchmark case scans with: an application object whose INI file lives in the
// benchmark's own temporary folder, the English catalog, a reporter that records instead of
// showing boxes, a virtual bus with one family's device at host 0, bus 0, target 4 reached through
// our ASPI manager, the SCSI channel over it, the family's driver and a current settings
// record. Spill files of the scan go to the same folder.

#include "bench/TimedDevice.h"
#include "colour/EngineScanColour.h"
#include "core/scsi/ScsiChannel.h"
#include "core/scsi/ScsiTransport.h"
#include "core/settings/ScanSettings.h"
#include "core/driver/ScannerDriver.h"
#include "sim/VirtualBus.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

class CWinApp;

// The scanner families a rig can drive, each from a device that never makes the host wait.
enum BenchFamily {
    kBenchKoval2,
    kBenchFennik,
    kBenchKovalPlus,
    kBenchZandor,
    kBenchTmr,
    kBenchTelmari,
    kBenchOstravel,
    kBenchLumetra,
    kBenchOrbel,
};

class CBenchRig {
public:
    CBenchRig() = default;
    ~CBenchRig();
    CBenchRig(const CBenchRig&) = delete;
    CBenchRig& operator=(const CBenchRig&) = delete;

    // Sets up everything below folder (which must exist, with a trailing backslash); false after
    // printing why.
    bool Open(const std::string& folder, BenchFamily family = kBenchKoval2);
    // The selection in 1/100 mm from the bed's corner, image type, resolution, bits per channel,
    // rotation in degrees; BMP or engine file.
    void Select(int32_t type, int32_t resolution, int32_t width, int32_t height, int32_t bits,
                int32_t rotation, bool bmp);
    // One whole scan through the scan job: 1 when the file is whole.
    uint16_t ScanToFile(const char* path);
    // The same image read through the driver alone, the reader's way, without the job's output
    // stage or writer: the bytes delivered, 0 after a failure.
    uint64_t ReadThroughDriver();

    CDeviceStopwatch& Device() { return *m_pDevice; }
    CScanSettings& Settings() { return m_Settings; }
    CScannerDriver& Driver() { return *m_pDriver; }
    // Catalog texts of the messages reported since Open.
    std::vector<std::string> Reports() const;

private:
    bool OpenChannel(BenchFamily family);
    void MakeDriver(BenchFamily family);
    bool AttachManager();
    void DetachManager();

    CWinApp* m_pApp = nullptr;
    std::string m_strIni;
    CVirtualBus m_bus;
    CDeviceStopwatch* m_pDevice = nullptr;
    HMODULE m_manager = nullptr;
    CScsiTransport* m_pTransport = nullptr;
    std::unique_ptr<CScsiChannel> m_channel;
    std::unique_ptr<CScannerDriver> m_pDriver;
    CScanSettings m_Settings;
    // TIFF files go through the colour engine, as in the program.
    CEngineScanColour m_Colour;
    CScanColourScope m_ColourScope{m_Colour};
};
