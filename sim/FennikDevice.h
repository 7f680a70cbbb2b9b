#pragma once

// The virtual FENNIK flatbed (and the KESTRIAN products of the same command set): vendor INQUIRY
// bytes with the window it accepted, RESERVE/RELEASE, one 1024-byte table per channel, the 46-byte
// window in 1/300 inch, the preparation reads, the speed value, the calibration strip and the
// shading line, SCAN, and the image as a byte stream (colour as three planes R, G, B per line),
// errors in the fixed sense format. It scans the test chart at the window the host set; the
// transparency unit sees the same chart.
//
// Options (bus description keys, with kind=fennik): model=fennik|kestscana4|kestscanlgl, vendor,
// product, transparency=0|1, feeder=N (sheets in the document feeder), speed=0|1, average=0|1,
// hostcal=0|1 (0: the device levels its sensor itself), linetime=W.T (INQUIRY bytes 52-53),
// nonuniform=P (every column's gain lies in [1 - P %, 1 + P %]), jam=K (sheet K jams).
//
// Its data follow the family's row of drivers/README.md: samples rise with the light, a table
// entry is indexed by the 10-bit light, device line art has set bits white.

#include "sim/SimOptions.h"
#include "sim/TestChart.h"
#include "sim/VirtualTarget.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

struct CFennikScan {
    int composition = -1;       // 0 line art, 2 grey, 5 RGB
    int xResolution = 0;
    int yResolution = 0;
    int left = 0, top = 0, width = 0, length = 0;   // 1/300 inch
    int threshold = 0;
    uint8_t flags = 0;          // window byte 42
    int pixels = 0;
    int lines = 0;
    int bytesPerLine = 0;
    CChartWindow chart;         // what was scanned, for comparison (pixel-interleaved)
};

class CFennikDevice : public CVirtualTarget {
public:
    static constexpr int kShadingColumns = 2550;

    explicit CFennikDevice(const CSimOptions& options);

    CFennikScan LastScan() const { return LockedCopy(m_stateLock, m_scan); }
    // The table last sent for qualifier 0x80 + channel; empty when none.
    std::vector<uint8_t> Lut(int channel) const;
    std::vector<uint8_t> ShadingLine() const { return LockedCopy(m_stateLock, m_shading); }
    // The speed value last sent; -1 when none.
    int Speed() const { return LockedCopy(m_stateLock, m_speed); }
    int FeederSheets() const { return LockedCopy(m_stateLock, m_feederSheets); }
    bool IsScanning() const { return LockedCopy(m_stateLock, m_scanning); }
    // The column's gain of a plane (0 grey or red, 1 green, 2 blue).
    double Gain(int plane, int column) const;

protected:
    void OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply) override;

private:
    void UpdateInquiry();
    void OnSetWindow(CSimTransfer& io, CSimReply& reply);
    bool WindowFits(const CFennikScan& scan) const;
    void OnScan(CSimReply& reply);
    bool FeederRefuses(CSimReply& reply);
    void OnRead(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply);
    void OnSend(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply);
    void ReadImage(CSimTransfer& io, uint32_t length);
    void ReadStrip(uint16_t lines, CSimTransfer& io, uint32_t length);
    uint8_t StripByte(uint16_t lines, uint64_t position) const;
    const std::vector<uint8_t>& DeviceLine(int line);
    uint8_t Sample(uint8_t light, int plane, int column) const;
    int Column(int pixel) const;

    mutable std::mutex m_stateLock;
    std::string m_vendor;
    std::string m_product;
    bool m_transparencyUnit;
    int m_feederSheets;
    int m_sheetsTaken = 0;
    bool m_speedFlag;
    bool m_averageFlag;
    bool m_hostCalibration;
    uint8_t m_lineTime[2];
    double m_nonuniform;
    int m_jamSheet;
    bool m_jammed = false;

    std::vector<uint8_t> m_inquiryImage;
    bool m_windowDefined = false;
    CFennikScan m_scan;
    bool m_scanning = false;
    int m_feeding = 0;          // test unit ready answers "becoming ready" this many times
    uint64_t m_imagePosition = 0;
    uint64_t m_stripPosition = 0;
    std::vector<uint8_t> m_luts[4];
    std::vector<uint8_t> m_shading;
    int m_speed = -1;
    std::map<int, std::vector<uint8_t>> m_deviceLines;
};

std::unique_ptr<CVirtualTarget> CreateFennikDevice(const CSimOptions& options);
