#pragma once

// The virtual TELMARI, TELMARI PLUS and TELMARI ULTRA flatbeds: a 240-byte INQUIRY with the vendor
// part (resolution ranges 50..2400, beds in 1/1000 inch, the transparency bed by its right and
// bottom edges, capability words, buffer 1024 KB); RESERVE, RELEASE, TEST UNIT READY; SEND(10) 0xB0
// lookup tables (1028 bytes, reversed and complemented); SET WINDOW with one 110-byte descriptor
// and GET WINDOW (bytes 76-79 the densities it chose under automatic exposure); READ(10) 0x81 the
// 40-byte scan information; READ(10) 0x90 the capability block (PLUS and ULTRA); SEND and READ(10)
// 0xA2 device values (film densities 31-33 and 41-43; 10002 the state, busy for a few polls before
// each pass); SCAN {0} with control 0 for a new scan and 0x80 for the next colour pass; GET DATA
// BUFFER STATUS (count in bytes 9-11); READ(10) of image lines whose CDB length counts lines. Errors
// in the fixed sense format.
//
// Options (bus description keys, with kind=telmari): model=telmari|plus|ultra (revisions 1.00,
// 2.40, 2.60; revision= overrides), transparency=0|1 (default 1; 0: no transparency unit, its bed
// words 0), negatives=0|1 (default 1; 0: the film values are refused), stall=N (the first seven
// buffer-status answers of a scan hold the count at N bytes), statepolls=N (polls of value 10002
// that say busy before each further pass; default 3).
//
// It delivers what the family's row of drivers/README.md says: samples rise with the light; the
// device looks up ink (255 - light) x 257 in the table and sends 255 - output / 256; slides and
// negatives then get its fixed gamma 1.5; samples above 8 bits are the light itself, big-endian,
// in the window's bits; colour as three passes of one plane each, red, green, blue; line art
// thresholded at byte 23 (ink scale for TELMARI and ULTRA, light for the PLUS), 1 = black. A
// negative scan sees the same positive chart, and the transparency unit sees the chart where the
// glass has it.

#include "sim/SimOptions.h"
#include "sim/TestChart.h"
#include "sim/VirtualTarget.h"

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

struct CTelmariWindow {
    uint32_t xResolution = 0, yResolution = 0;
    uint32_t left = 0, top = 0, width = 0, length = 0;  // pixels and lines
    uint8_t threshold = 128;
    uint8_t composition = 0;  // 0 line art, 2 grey, 5 colour
    uint8_t bits = 8;
    uint8_t exposure = 0;
    bool film = false;  // byte 56 is 0: the transparency unit
    std::vector<uint8_t> descriptor;  // as sent
};

// What the device made of the host's commands for the current (or last) scan.
struct CTelmariScan {
    int mode = -1;  // the window's composition
    int passes = 0;  // passes started
    uint32_t pixels = 0;
    uint32_t lines = 0;
    uint32_t bytesPerLine = 0;  // of one line or plane
    uint8_t lightThreshold = 128;  // line art: black below this light
    CChartWindow chart;  // what was scanned, 8 bits per sample, RGB for colour
};

class CTelmariDevice : public CVirtualTarget {
public:
    explicit CTelmariDevice(const CSimOptions& options);

    CTelmariScan LastScan() const { return LockedCopy(m_stateLock, m_scan); }
    std::vector<CTelmariWindow> Windows() const { return LockedCopy(m_stateLock, m_windows); }
    // The table last loaded under channel byte 1, 2 or 3 (2 also serves grey), 256 light levels to
    // output samples; empty when none.
    std::vector<uint8_t> TableSamples(int channel) const;
    // The device value last written, or -1.
    int64_t Value(uint16_t id) const;
    bool IsScanning() const { return LockedCopy(m_stateLock, m_scanning); }
    // What the device sends for a light level through table channel and, for film, its gamma.
    uint8_t Sample(int channel, uint8_t light, bool film) const;

protected:
    void OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply) override;
    void OnRead10(uint8_t dataType, uint16_t qualifier, CSimTransfer& io, CSimReply& reply) override;
    void OnSend10(uint8_t dataType, uint16_t qualifier, CSimTransfer& io, CSimReply& reply) override;

private:
    void OnSetWindow(CSimTransfer& io, CSimReply& reply);
    void OnGetWindow(CSimTransfer& io, CSimReply& reply);
    void OnScan(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply);
    void OnBufferStatus(CSimTransfer& io, CSimReply& reply);
    void OnReadImage(uint32_t lines, CSimTransfer& io, CSimReply& reply);
    void PutInformation(CSimTransfer& io, CSimReply& reply);
    void PutCapabilities(CSimTransfer& io);
    void PutState(CSimTransfer& io);
    void StartScan(CSimReply& reply);
    const std::vector<uint8_t>& DeviceLine(uint32_t line);
    uint32_t BytesPerLine(const CTelmariWindow& w) const;
    uint64_t PassBytes() const;

    mutable std::mutex m_stateLock;
    bool m_plus;
    bool m_ultra;
    bool m_transparencyUnit;
    bool m_negatives;
    uint32_t m_stall;
    int m_statePolls;

    std::vector<CTelmariWindow> m_windows;
    std::array<std::vector<uint8_t>, 4> m_tables;
    std::map<uint16_t, uint32_t> m_values;
    std::array<uint8_t, 256> m_filmGamma;

    bool m_scanning = false;
    int m_pass = 0;
    int m_busyPolls = 0;
    int m_stallPolls = 0;
    uint64_t m_bytesSent = 0;  // of the current pass
    CTelmariScan m_scan;
    std::map<int, std::vector<uint8_t>> m_deviceLines;
};

std::unique_ptr<CVirtualTarget> CreateTelmariDevice(const CSimOptions& options);
