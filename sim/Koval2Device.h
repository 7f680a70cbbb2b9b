#pragma once

// The virtual KOVAL II / BIRAVO flatbed: vendor INQUIRY bytes, SET ACCESSORY, DOWNLOAD LOOKUP TABLE
// (applied to its data), the 9-byte window, exposure pages, the bit-depth block, SCAN and stop,
// GET DATA BUFFER STATUS and whole-line READ(6). Colour comes as single-colour records tagged
// 'R', 'G', 'B' with the lag of a real three-row CCD (green and blue lines arrive late, and the
// order inside a group changes), 16-bit samples high byte first, errors in the vendor sense format.
// It scans the test chart at the window and resolution the host set.
//
// Options (bus description keys, with kind=koval2): model=koval2|biravo, vendor, product,
// transparency=0|1, feeder=N (sheets in the document feeder), lineart=0|1, highres=0|1,
// scaling=0|1, longpage=0|1, lut=<INQUIRY byte 66>, lag=N (lines green trails red; blue twice
// that), readylines=N (lines the buffer status offers at a time, 0 = all), badtag=N (record N goes
// out with tag 0), negative=0|1 (the transparency unit holds a colour negative of the chart),
// filmbase=R,G,B and filmrange=R,G,B (that film's bare density and dye range, 1/1000 D).
//
// Its data follow the family's row of drivers/README.md: samples rise with the light, line-art
// bits are set where the lookup table gives white.

#include "sim/SimOptions.h"
#include "sim/TestChart.h"
#include "sim/VirtualTarget.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

// What the device made of the host's blocks for the current (or last) scan.
struct CKoval2Scan {
    int mode = -1;              // 0 line art, 2 grey, 3 colour (from the SCAN mode byte)
    bool highResolution = false;
    int bits = 8;
    int xResolution = 0;
    int yResolution = 0;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;   // window in optical pixels
    int pixels = 0;
    int lines = 0;
    int lineLength = 0;         // samples per record, as the buffer status reports it
    uint8_t accessory = 0;
    CChartWindow chart;         // what was scanned, for comparison
};

class CKoval2Device : public CVirtualTarget {
public:
    explicit CKoval2Device(const CSimOptions& options);

    CKoval2Scan LastScan() const { return LockedCopy(m_stateLock, m_scan); }
    // The table last downloaded for channel 0 (grey), 1, 2, 3 (R, G, B); empty when none.
    std::vector<uint16_t> Lut(int channel) const;
    std::vector<uint8_t> LastExposurePage(int channel) const;
    std::vector<uint8_t> LastBitDepthBlock() const { return LockedCopy(m_stateLock, m_bitDepth); }
    int FeederSheets() const { return LockedCopy(m_stateLock, m_feederSheets); }
    bool IsScanning() const { return LockedCopy(m_stateLock, m_scanning); }

protected:
    void OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply) override;
    void BuildSense(const CSimSense& sense, CSimReply& reply) override;

protected:
    // Hooks of the sibling families that speak this command set (PENDARO, OSTRAVEL).
    virtual void UpdateInquiry();
    virtual void OnDownloadLut(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply);
    // The scan's x and y resolution from the exposure page; false when the page gives none.
    virtual bool ResolutionFromPage(CKoval2Scan& scan) const;
    // Samples of one colour line: tagged records carry two bytes (one 16-bit word) of header.
    virtual int ColourLineLength(int pixels, int bits) const { return pixels + (bits > 8 ? 1 : 2); }
    // Colour as tagged single-colour records (else as whole lines in the order ImageLine gives).
    virtual bool SendsRecords() const { return true; }
    // A grey or colour line of the image as the device sends it (records: colour by colour).
    virtual std::vector<uint8_t> ImageLine(int line);
    virtual bool BigEndianSamples() const { return true; }
    // Device line art: whether the bit of an 8-bit grey level is set (through table 0).
    virtual bool LineArtBit(uint8_t level) const { return ApplyLut(0, level) >= 128; }
    // Device line art whose set bits are ink (black) rather than white paper.
    virtual bool InkLineArt() const { return false; }

    struct CRecord {
        int colour;             // 0 R, 1 G, 2 B
        int line;
    };

    void OnDefineWindow(CSimTransfer& io, CSimReply& reply);
    void OnModeSelect(const CSimCdb& cdb, CSimTransfer& io);
    void OnBitDepth(CSimTransfer& io);
    void OnAccessory(const CSimCdb& cdb);
    void OnScan(const CSimCdb& cdb, CSimReply& reply);
    void OnBufferStatus(CSimTransfer& io, CSimReply& reply);
    void OnRead(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply);
    void StartScan(uint8_t modeByte, CSimReply& reply);
    void StopScan();
    void BuildRecordOrder();
    // A line as the device sends it, its lookup tables applied; colour by colour in colour mode.
    const std::vector<uint8_t>& DeviceLine(int line);
    std::vector<uint8_t> ApplyLuts(const std::vector<uint8_t>& chart) const;
    // Line art: the grey level of each pixel through table 0, a bit set where it gives white.
    std::vector<uint8_t> ThresholdLine(int line) const;
    // A transparency scan of the negative: the light through the film, each channel through its
    // table at full precision.
    std::vector<uint8_t> NegativeLine(int line) const;
    bool ScansNegative() const;
    void RenderRecord(const CRecord& record, uint32_t index, uint8_t* out);
    uint16_t ApplyLut(int channel, uint16_t value) const;
    // A sample (0..full) through the exposure page of the channel: its gain, then its two levels
    // stretched over the whole range.
    uint16_t ApplyExposure(int channel, uint16_t value, uint32_t full) const;
    // The same for light as a share of the whole range (0..1).
    double ExposedLight(int channel, double light) const;
    // The table of a channel indexed by a 16-bit level.
    uint16_t ApplyLutFine(int channel, uint16_t level) const;
    const std::vector<uint16_t>& TableOf(int channel) const;
    uint32_t DeviceLineBytes() const;
    void VendorCheck(CSimReply& reply, uint8_t senseClass, uint8_t byte1, uint8_t byte2 = 0);

    mutable std::mutex m_stateLock;
    std::vector<uint8_t> m_inquiryImage;
    bool m_biravo;
    bool m_transparencyUnit;
    bool m_deviceLineArt;
    bool m_highResolutionFlag;
    bool m_scalingFlag;
    bool m_longPage;
    uint8_t m_lutBits;
    int m_feederSheets;
    int m_lag;
    uint32_t m_readyLines;
    long m_badTag;
    std::string m_vendor;
    std::string m_product;
    bool m_negative;
    double m_filmBase[3];
    double m_filmRange[3];

    int m_opticalLow;
    int m_opticalHigh;
    int m_window[4] = {};
    bool m_windowDefined = false;
    std::vector<uint8_t> m_exposure[4];
    std::vector<uint8_t> m_bitDepth;
    uint8_t m_accessory = 0xE0;
    std::vector<uint16_t> m_luts[4];

    bool m_scanning = false;
    bool m_statusSinceScan = false;
    CKoval2Scan m_scan;
    uint32_t m_unitsDelivered = 0;      // device lines (colour: groups of three records) read
    std::vector<CRecord> m_order;       // colour record sequence with the CCD lag
    uint32_t m_recordsSent = 0;
    // Rendered once per kind of chart line and scan: a page has only a few dozen kinds.
    std::map<int, std::vector<uint8_t>> m_deviceLines;
};

std::unique_ptr<CVirtualTarget> CreateKoval2Device(const CSimOptions& options);
