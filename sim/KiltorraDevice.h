#pragma once

// The virtual KILTORRA film scanner: a 240-byte INQUIRY (byte 4 = 235; all four resolution ranges
// 50..2700; beds in 1/1000 inch: reflective 0, 0, 8500 x 11700, transparency 0, 0, 8000 x 10000;
// buffer 1024 KB); RESERVE, RELEASE, TEST UNIT READY; SEND(10) type 0x93 tone tables (16390 bytes,
// applied) and the sharpening curve (2054 bytes, kept), type 0xA2 numbered values (kept); SET
// WINDOW with the 140-byte descriptor; SCAN of window {0}; READ(10) type 0 of length 0 (accepted)
// and of image bytes; GET DATA BUFFER STATUS (free bytes 6-8, filled 9-11); READ(10) type 0x81 the
// 42-byte status of the accepted window; GET WINDOW (the accepted window with the densities the
// device chose in bytes 76-79). Errors in the fixed sense format: a window it cannot scan 5/26/00,
// a read without a scan 5/2C/00.
//
// Options (bus description keys, with kind=kiltorra): vendor, product, revision; fill=N (lines its
// buffer gains per 100 ms; 0 = the whole image at once, up to the buffer); chosenmin=, chosenmax=
// (the densities GET WINDOW reports, 1/1000 D; 150 and 2800 unless given).
//
// It delivers what the family's row of drivers/README.md says: samples rise with the light, sample
// = entry[13-bit light] / 32 of the table of the channel (grey through the green table), colour
// pixel-interleaved R, G, B; for film (descriptor byte 74 = 3) the gamma of bytes 118-119 (1/1000)
// is applied after the table; line art (composition 0) sets bit 1 = black where the ink (255 - the
// 8-bit light) exceeds descriptor byte 23. A READ for more bytes than the buffer holds is answered
// BUSY. Both beds see the chart from its top-left corner; a negative sees the same positive chart.

#include "sim/SimOptions.h"
#include "sim/TestChart.h"
#include "sim/VirtualTarget.h"

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

struct CKiltorraScan {
    int composition = -1;  // 0 line art, 2 grey, 5 colour
    uint32_t pixels = 0;
    uint32_t lines = 0;
    uint32_t bytesPerLine = 0;
    uint8_t threshold = 0;
    uint32_t gamma = 1000;  // 1/1000, applied after the table to film
    uint16_t holder = 0;  // descriptor bytes 60-61
    CChartWindow chart;  // what was scanned, 8 bits per sample, for comparison
};

class CKiltorraDevice : public CVirtualTarget {
public:
    explicit CKiltorraDevice(const CSimOptions& options);

    CKiltorraScan LastScan() const { return LockedCopy(m_stateLock, m_scan); }
    // The last descriptor accepted by SET WINDOW (140 bytes); empty when none.
    std::vector<uint8_t> Window() const { return LockedCopy(m_stateLock, m_window); }
    // The last tone table of channel 1-3 (8192 entries); empty when none.
    std::vector<uint16_t> Table(int channel) const;
    // The last sharpening-curve block as sent (2054 bytes); empty when none.
    std::vector<uint8_t> Curve() const { return LockedCopy(m_stateLock, m_curve); }
    // The numbered values in the order they came: code, value.
    std::vector<std::pair<uint16_t, uint32_t>> Values() const { return LockedCopy(m_stateLock, m_values); }
    bool IsScanning() const { return LockedCopy(m_stateLock, m_scanning); }
    // Buffer-status polls and READs answered BUSY during the current or last scan.
    int StatusPolls() const { return LockedCopy(m_stateLock, m_statusPolls); }
    int BusyReads() const { return LockedCopy(m_stateLock, m_busyReads); }

    static constexpr uint32_t kBufferBytes = 1024 * 1024;

protected:
    void OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply) override;
    void OnRead10(uint8_t dataType, uint16_t qualifier, CSimTransfer& io, CSimReply& reply) override;
    void OnSend10(uint8_t dataType, uint16_t qualifier, CSimTransfer& io, CSimReply& reply) override;

private:
    void OnSetWindow(CSimTransfer& io, CSimReply& reply);
    void OnScan(CSimTransfer& io, CSimReply& reply);
    void OnBufferStatus(CSimTransfer& io, CSimReply& reply);
    void OnGetWindow(CSimTransfer& io);
    void ReadImage(CSimTransfer& io, CSimReply& reply);
    uint32_t BytesBuffered() const;
    const std::vector<uint8_t>& DeviceLine(uint32_t line);
    uint8_t Sample(int channel, uint16_t light16) const;

    mutable std::mutex m_stateLock;
    uint32_t m_fill;
    uint16_t m_chosenMin;
    uint16_t m_chosenMax;
    std::vector<uint8_t> m_window;
    std::array<std::vector<uint16_t>, 4> m_tables;
    std::vector<uint8_t> m_curve;
    std::vector<std::pair<uint16_t, uint32_t>> m_values;

    bool m_scanning = false;
    CKiltorraScan m_scan;
    uint64_t m_bytesSent = 0;
    uint32_t m_scanStart = 0;
    int m_statusPolls = 0;
    int m_busyReads = 0;
    std::map<int, std::vector<uint8_t>> m_deviceLines;
};

std::unique_ptr<CVirtualTarget> CreateKiltorraDevice(const CSimOptions& options);
