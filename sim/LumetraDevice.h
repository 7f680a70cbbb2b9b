#pragma once

// The virtual LUMETRA camera: a 242-byte INQUIRY (byte 4 = 237) whose vendor bytes hold the
// resolution ranges (100..1200), the horizontal and vertical resolution lists, the sensor of 1800 x
// 1200 pixels and a 1024 KB buffer; RESERVE, RELEASE, TUR; SEND(10) type 0x93 tone tables (4100
// bytes at 8 bits per channel, 8196 above); SET WINDOW with one 60-byte descriptor whose position
// counts from the sensor's far edge; GET WINDOW (pixels, lines, bits, line size); SCAN; GET DATA
// BUFFER STATUS; READ(10) whose CDB bytes 6-7 hold the line size and byte 8 the line count. Errors
// in the fixed sense format with the camera's codes 0xB000-0xB019 in bytes 12-13.
//
// Options (bus description keys, with kind=lumetra): model=lumetra|ocellus, vendor, product,
// resolutions=1200,600,300,150 (both lists, descending), badletter=N (device line N of a colour
// scan, counted from 0 in sending order, carries the letter 'X').
//
// It delivers what the family's row of drivers/README.md says: samples rise with the light, sample
// = table entry at the 12-bit light; grey lines are bare samples; a colour line is a tag and its
// samples, red, green and blue lines coming in an order that changes from one pair of pixel lines
// to the next. Up to 8 bits a line is {0, letter, samples} and the line size counts bytes; above 8
// bits it is {letter, 0, 16-bit samples low byte first} and the line size counts 16-bit words. The
// picture is the selected area upright, top line first.

#include "sim/SimOptions.h"
#include "sim/TestChart.h"
#include "sim/VirtualTarget.h"

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

struct CLumetraWindow {
    uint32_t resolution = 0;
    uint32_t x0 = 0, y0 = 0, width = 0, length = 0;  // pixels; x0 and y0 from the far edges
    uint8_t composition = 0;  // 2 grey, 5 colour
    uint8_t bits = 8;
    uint8_t speed = 0;  // byte 40
    uint8_t code = 0;  // byte 41
};

// What the camera made of the host's commands for the current (or last) scan.
struct CLumetraScan {
    bool colour = false;
    uint32_t bits = 8;
    uint32_t pixels = 0;
    uint32_t lines = 0;
    uint32_t lineSize = 0;  // as GET WINDOW reports it
    uint32_t lineBytes = 0;  // bytes of one device line
    CChartWindow chart;  // what was scanned, 8 bits per sample, for comparison
};

class CLumetraDevice : public CVirtualTarget {
public:
    static constexpr uint32_t kSensorWidth = 1800;
    static constexpr uint32_t kSensorHeight = 1200;
    static constexpr uint32_t kMaximumResolution = 1200;

    explicit CLumetraDevice(const CSimOptions& options);

    CLumetraScan LastScan() const { return LockedCopy(m_stateLock, m_scan); }
    CLumetraWindow Window() const { return LockedCopy(m_stateLock, m_window); }
    // The table last sent for channel byte c (1 red, 2 green or grey, 3 blue); empty when none.
    std::vector<uint16_t> Lut(int channel) const;
    bool IsScanning() const { return LockedCopy(m_stateLock, m_scanning); }
    // The colour letters of the device lines sent so far, in sending order.
    std::vector<char> SentLetters() const { return LockedCopy(m_stateLock, m_letters); }

protected:
    void OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply) override;
    void OnSend10(uint8_t dataType, uint16_t qualifier, CSimTransfer& io, CSimReply& reply) override;

private:
    void OnSetWindow(CSimTransfer& io, CSimReply& reply);
    void OnGetWindow(CSimTransfer& io, CSimReply& reply);
    void OnScan(CSimReply& reply);
    void OnBufferStatus(CSimTransfer& io, CSimReply& reply);
    void OnRead(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply);
    // Device line i of the scan in sending order: its pixel line and colour (0 R, 1 G, 2 B; 0 grey).
    void Schedule(uint32_t index, uint32_t& line, int& colour) const;
    void RenderDeviceLine(uint32_t index, uint8_t* out);
    const std::vector<uint16_t>& Light(uint32_t line);
    uint32_t Sample(int channel, uint16_t light) const;
    uint32_t DeviceLines() const { return m_scan.colour ? 3 * m_scan.lines : m_scan.lines; }

    mutable std::mutex m_stateLock;
    std::vector<uint32_t> m_resolutions;
    long m_badLetter;
    bool m_windowSet = false;
    CLumetraWindow m_window;
    std::array<std::vector<uint16_t>, 4> m_luts;
    bool m_scanning = false;
    CLumetraScan m_scan;
    uint32_t m_linesSent = 0;
    std::vector<char> m_letters;
    // 16-bit light of a chart line, rendered once per kind of line and scan.
    std::map<int, std::vector<uint16_t>> m_light;
};

std::unique_ptr<CVirtualTarget> CreateLumetraDevice(const CSimOptions& options);
