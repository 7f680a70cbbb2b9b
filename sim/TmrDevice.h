#pragma once

// The virtual TM-R / TM-R-S flatbed: a 240-byte INQUIRY (resolution ranges 50..1200 at bytes
// 96-107 and 142-145, the device's resolution list at 110-141, beds in 1/1000 inch at 180-195, the
// transparency bed as width and height, capability words, buffer 1024 KB at 238-239); RESERVE and
// RELEASE; SEND(10) data type 0x93 lookup tables (1030 bytes, channel in byte 0); SET WINDOW with
// the 110-byte descriptor (24-bit positions, 32-bit width); GET WINDOW (the window, with the
// densities the device measured in bytes 76-79: 0.15 and 1.85 D, in 1/10000 D); SCAN of window 0 (a second
// SCAN of the running scan is taken without restarting it); READ(10) data type 0xA2 value 10002
// (the status: bits 0x90 once the scan is under way), data type 0x81 (the scan parameter block),
// data type 0 (image bytes); GET DATA BUFFER STATUS (count in bytes 9-11). Errors in the fixed sense
// format; the family's vendor codes 0x9000-0x900E and 0x2601 come from fault lines of the bus
// description.
//
// Options (bus description keys, with kind=tmr): model=tmr|tmrs, vendor, product, revision,
// resolutions=1200,600,... (up to 16, highest first; an empty value lists none), transparency=0|1
// (default 1: an 8000 x 10000 transparency bed), conflict=N (the first N RESERVE commands meet a
// reservation of another host), startpolls=N (status reads after SCAN before the scan is under way,
// default 2), paramlength=N (byte 1 of the parameter block, default 40).
//
// It delivers what the family's row of drivers/README.md says: every scan is colour,
// pixel-interleaved R, G, B, 8 bits; sample = 255 - table byte at the 10-bit light, the host
// having sent 255 - entry; pixels = the window's width, lines = its length at the resolution.

#include "sim/SimOptions.h"
#include "sim/TestChart.h"
#include "sim/VirtualTarget.h"

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

struct CTmrWindow {
    uint8_t id = 0;
    uint32_t xResolution = 0;
    uint32_t yResolution = 0;
    uint32_t x0 = 0, y0 = 0;  // pixels at the resolution
    uint32_t width = 0, length = 0;
    bool reflective = true;  // descriptor byte 56
    std::vector<uint8_t> descriptor;
};

// What the device made of the host's commands for the current (or last) scan.
struct CTmrScan {
    uint32_t pixels = 0;
    uint32_t lines = 0;
    uint32_t bytesPerLine = 0;
    int scans = 0;  // SCAN commands the scan took
    CChartWindow chart;  // what was scanned, 8-bit RGB, for comparison
};

class CTmrDevice : public CVirtualTarget {
public:
    explicit CTmrDevice(const CSimOptions& options);

    CTmrScan LastScan() const { return LockedCopy(m_stateLock, m_scan); }
    CTmrWindow Window() const { return LockedCopy(m_stateLock, m_window); }
    // The 1024 bytes last sent for channel 0 (one table) or 1-3 (red, green, blue); empty when none.
    std::vector<uint8_t> Lut(int channel) const;
    int Reserves() const { return LockedCopy(m_stateLock, m_reserves); }

protected:
    void OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply) override;
    void OnRead10(uint8_t dataType, uint16_t qualifier, CSimTransfer& io, CSimReply& reply) override;
    void OnSend10(uint8_t dataType, uint16_t qualifier, CSimTransfer& io, CSimReply& reply) override;

private:
    void OnReserve(CSimReply& reply);
    void OnSetWindow(CSimTransfer& io, CSimReply& reply);
    void OnGetWindow(CSimTransfer& io);
    void OnScan(CSimTransfer& io, CSimReply& reply);
    void OnBufferStatus(CSimTransfer& io, CSimReply& reply);
    void ReadImage(CSimTransfer& io, CSimReply& reply);
    void ReadParamBlock(CSimTransfer& io, CSimReply& reply);
    const std::vector<uint8_t>& DeviceLine(uint32_t line);
    uint8_t Sample(int channel, uint16_t light) const;

    mutable std::mutex m_stateLock;
    bool m_transparency;
    int m_conflicts;
    int m_startPolls;
    uint8_t m_paramLength;

    bool m_hasWindow = false;
    CTmrWindow m_window;
    std::array<std::vector<uint8_t>, 4> m_luts;
    int m_reserves = 0;
    bool m_scanning = false;
    int m_statusPolls = 0;
    CTmrScan m_scan;
    uint64_t m_bytesSent = 0;
    std::map<int, std::vector<uint8_t>> m_deviceLines;
};

std::unique_ptr<CVirtualTarget> CreateTmrDevice(const CSimOptions& options);
