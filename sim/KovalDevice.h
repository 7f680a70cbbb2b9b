#pragma once

// The virtual KOVAL / KOVAL PLUS flatbed: a standard 36-byte INQUIRY (byte 1 bit 1 when a
// transparency unit is fitted), RESERVE and RELEASE, OBJECT POSITION (unload), SEND(10) data type 3
// with the one lookup-table block (1026 or 3076 bytes), SET WINDOW with one or three 48-byte
// descriptors in 1/1200 inch, SCAN with a window list, READ(10) data type 0 as a byte stream and,
// on KOVAL PLUS, GET DATA BUFFER STATUS. Errors in the fixed sense format.
//
// Options (bus description keys, with kind=koval): model=koval|kovalplus, vendor, product,
// transparency=0|1, fill=N (KOVAL PLUS: lines its buffer gains per 100 ms; 0 = the whole image at
// once), carriage=0|1 (plain KOVAL: a read that comes before the carriage has reached its lines
// waits for it).
//
// It delivers what the family's row of drivers/README.md says: grey and colour samples rise with
// the light, sample = table entry at the 10-bit light; colour pixel-interleaved R, G, B; line art
// thresholded at descriptor byte 23 with 1 = black. Pixels and lines follow the device's drop
// pattern: below 600 steps per inch it leaves out evenly spread steps of the 1/600-inch grid.

#include "sim/SimOptions.h"
#include "sim/TestChart.h"
#include "sim/VirtualTarget.h"

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

struct CKovalWindow {
    uint8_t id = 0;
    uint32_t resolution = 0;
    uint32_t x0 = 0, y0 = 0, width = 0, length = 0;  // 1/1200 inch
    uint8_t threshold = 128;
    uint8_t composition = 0;
    uint8_t bits = 8;
    uint8_t colour = 0;  // byte 41
    uint8_t shadow = 0;  // bytes 42-43: recorded, not applied (the table carries the range)
    uint8_t highlight = 0;
    uint8_t original = 17;  // byte 47
};

// What the device made of the host's commands for the current (or last) scan.
struct CKovalScan {
    int mode = -1;  // 0 line art, 2 grey, 5 colour (the window's composition)
    int windows = 0;  // windows scanned
    uint32_t pixels = 0;
    uint32_t lines = 0;
    uint32_t bytesPerLine = 0;
    uint8_t threshold = 128;
    CChartWindow chart;  // what was scanned, 8 bits per sample (grey for line art), for comparison
};

class CKovalDevice : public CVirtualTarget {
public:
    explicit CKovalDevice(const CSimOptions& options);

    CKovalScan LastScan() const { return LockedCopy(m_stateLock, m_scan); }
    std::vector<CKovalWindow> Windows() const { return LockedCopy(m_stateLock, m_windows); }
    // The table last downloaded for channel 0 (grey), 1, 2, 3 (R, G, B); empty when none.
    std::vector<uint8_t> Lut(int channel) const;
    int Unloads() const { return LockedCopy(m_stateLock, m_unloads); }
    bool IsScanning() const { return LockedCopy(m_stateLock, m_scanning); }

    // The same drop pattern as the device's: steps kept over a length in 1/1200 inch.
    static uint32_t KeptSteps(uint32_t length, uint32_t resolution);

protected:
    void OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply) override;
    void OnRead10(uint8_t dataType, uint16_t qualifier, CSimTransfer& io, CSimReply& reply) override;
    void OnSend10(uint8_t dataType, uint16_t qualifier, CSimTransfer& io, CSimReply& reply) override;

private:
    void OnSetWindow(CSimTransfer& io, CSimReply& reply);
    void OnScan(CSimTransfer& io, CSimReply& reply);
    void OnBufferStatus(CSimTransfer& io, CSimReply& reply);
    void StartScan(const std::vector<const CKovalWindow*>& windows, CSimReply& reply);
    const std::vector<uint8_t>& DeviceLine(uint32_t line);
    uint8_t Sample(int channel, uint16_t light) const;
    uint32_t CarriageMs(uint32_t lines) const;
    uint32_t BytesFilled() const;

    mutable std::mutex m_stateLock;
    bool m_plus;
    bool m_transparencyUnit;
    uint32_t m_fill;
    bool m_carriage;

    std::vector<CKovalWindow> m_windows;
    std::array<std::vector<uint8_t>, 4> m_luts;
    int m_unloads = 0;

    bool m_scanning = false;
    CKovalScan m_scan;
    uint64_t m_bytesSent = 0;
    uint32_t m_scanStart = 0;  // GetTickCount of the SCAN
    // Rendered once per kind of chart line and scan: a page has only a few dozen kinds.
    std::map<int, std::vector<uint8_t>> m_deviceLines;
};

std::unique_ptr<CVirtualTarget> CreateKovalDevice(const CSimOptions& options);
