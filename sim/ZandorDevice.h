#pragma once

// The virtual ZANDOR scanner (the six older models): a 55-byte INQUIRY of the family's own layout,
// RESERVE/RELEASE, TEST UNIT READY, SET WINDOW with the 37-byte descriptor (65 bytes on the colour
// model), SCAN with control 0x40 (start) and 0xC0 (next band while the pass still has lines, next
// pass once it is complete), READ(10) type 0x81 for the window status (24 bytes, 40 on the colour
// model) and READ(10) type 0 whose transfer length counts lines. The image is held in bands: a read
// that runs past the end of the current band is refused (code 0x20). Colour comes in three passes,
// red, green, blue, one plane per pass. Errors are one sense byte, the code (an injected fault's
// ASC becomes that byte).
//
// Options (bus description keys, with kind=zandor): model=gs300|gs400|la300|la400|ii|color
// (default color), bits=8|6 (INQUIRY byte 44), transparency=0|1 (byte 45 bit 7), band=N (lines per
// band, default 64), levels=lo,hi (the measured density levels of status bytes 16 and 17).
//
// Its data follow the family's row of drivers/README.md: grey and colour samples are ink (0 white,
// full scale black), 8 bits or 6 bits in a byte; line art is final, set bits black, thresholded at
// the middle of the range. The window's density levels (bytes 14 and 16) are recorded, not applied.

#include "sim/SimOptions.h"
#include "sim/TestChart.h"
#include "sim/VirtualTarget.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

struct CZandorWindow {
    int descriptorLength = 0;
    int xResolution = 0;
    int yResolution = 0;
    int left = 0, top = 0;  // pixels and lines at the window's resolutions
    int pixels = 0;
    int lines = 0;
    int minimumLevel = 0;  // descriptor byte 14
    int maximumLevel = 0;  // descriptor byte 16
    int format = -1;  // 0 line art, 2 grey, 5 colour
    int bits = 0;
    int bytesPerLine = 0;  // of one plane
    std::vector<uint8_t> descriptor;
    CChartWindow chart;  // what was scanned, light rising, colour pixel-interleaved
};

class CZandorDevice : public CVirtualTarget {
public:
    explicit CZandorDevice(const CSimOptions& options);

    CZandorWindow LastWindow() const { return LockedCopy(m_stateLock, m_Window); }
    // The control bytes of every SCAN the device took, in order.
    std::vector<uint8_t> ScanControls() const { return LockedCopy(m_stateLock, m_Controls); }
    // The pass (0 red, 1 green, 2 blue) whose lines are being read; -1 when no scan runs.
    int Pass() const;
    int Band() const { return m_nBand; }
    bool IsColourModel() const { return m_bColourModel; }

protected:
    void OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply) override;
    void BuildSense(const CSimSense& sense, CSimReply& reply) override;

private:
    void OnSetWindow(CSimTransfer& io, CSimReply& reply);
    void OnScan(const CSimCdb& cdb, CSimReply& reply);
    void OnRead(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply);
    void ReadStatus(CSimTransfer& io);
    void ReadLines(uint32_t lines, CSimTransfer& io, CSimReply& reply);
    void StartBand();
    const std::vector<uint8_t>& PlaneLine(int line);
    void Refuse(CSimReply& reply, uint8_t code);

    mutable std::mutex m_stateLock;
    bool m_bColourModel;
    int m_nBits;
    bool m_bTransparencyUnit;
    int m_nBand;
    int m_nLevelLow;
    int m_nLevelHigh;
    int m_nMinResolution;
    int m_nMaxResolution;

    bool m_bWindowDefined = false;
    CZandorWindow m_Window;
    bool m_bScanning = false;
    int m_nPass = 0;
    int m_nPassLine = 0;  // lines of the pass delivered
    int m_nBandEnd = 0;  // the line of the pass where the current band ends
    std::vector<uint8_t> m_Controls;
    std::map<std::pair<int, int>, std::vector<uint8_t>> m_PlaneLines;  // (pass, line kind)
};

std::unique_ptr<CVirtualTarget> CreateZandorDevice(const CSimOptions& options);
