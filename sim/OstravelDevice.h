#pragma once

// The virtual OSTRAVEL flatbed: the PENDARO device with optical 600/1200, 1024-entry tables up to
// 1023 by default, the 15-byte exposure page (resolutions in bytes 10-13), colour as whole lines of
// pixel pairs (R R G G B B; an odd last pixel as R G B), 16-bit samples little-endian, and the
// shading commands: START SHADING SAMPLING (0x11), the 9-byte shading status (GET DATA BUFFER
// STATUS with allocation length 9), READ(6) of shading lines of 16-bit little-endian readings,
// SCAN 0 to end the sampling, and DOWNLOAD CALIBRATION (0x0C) of the tables 0x01 (grey), 0x41,
// 0x81, 0xC1 (red, green, blue).
//
// Its sensor: with nonuniform=P every sensor pixel (of 600 per inch) has a gain between 1 - P %
// and 1 + P %, reaching both ends within every 5 mm. The calibration strip reads 0.8 x T x gain
// (T = 4 x (level + 1)); an image sample is the light x 0.8 x gain on the 0..T scale times the
// downloaded gain / 1024 (unity without a table), then through the lookup table.
//
// Options (with kind=ostravel): as the PENDARO device, and depths=<INQUIRY byte 74> (default 0x0E),
// nohigh=1 (INQUIRY byte 75 bit 3), nonuniform=P (percent, default 0), levels=L or R,G,B (the
// shading levels, default 249), shadingpixels=P (default 5100).

#include "sim/PendaroDevice.h"

#include <map>
#include <memory>

class COstravelDevice : public CPendaroDevice {
public:
    explicit COstravelDevice(const CSimOptions& options);

    // The calibration table last downloaded under id, whole as sent; empty when none.
    std::vector<uint8_t> CalibrationTable(uint8_t id) const;
    // Ids of the calibration tables in the order they came.
    std::vector<uint8_t> CalibrationOrder() const { return LockedCopy(m_stateLock, m_calibrationOrder); }
    // The last shading mode block (START SHADING SAMPLING); empty when none came.
    std::vector<uint8_t> ShadingMode() const { return LockedCopy(m_stateLock, m_shadingMode); }
    int ShadingLinesRead() const { return LockedCopy(m_stateLock, m_shadingLinesRead); }
    // The sensor gain of sensor pixel x for colour c (0 red, 1 green, 2 blue).
    double SensorGain(int x, int colour) const;

protected:
    void OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply) override;
    void UpdateInquiry() override;
    bool ResolutionFromPage(CKoval2Scan& scan) const override;
    int ColourLineLength(int pixels, int) const override { return pixels; }
    bool SendsRecords() const override { return false; }
    std::vector<uint8_t> ImageLine(int line) override;
    bool BigEndianSamples() const override { return false; }
    // The falling line-art table is an ink table: the bit is set where the entry is not 0.
    bool LineArtBit(uint8_t level) const override;
    bool InkLineArt() const override { return true; }

private:
    bool OnShadingCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply);
    void OnShadingStatus(CSimTransfer& io);
    void OnShadingRead(const CSimCdb& cdb, CSimTransfer& io);
    void OnCalibration(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply);
    // The sample of the light (0..1) at sensor pixel x for colour c, on the device's output scale.
    uint16_t Sample(double light, int x, int colour, int channels) const;

    uint8_t m_depths;
    bool m_noHigh;
    double m_nonUniform;            // fraction, 0.2 for nonuniform=20
    uint8_t m_levels[3] = {249, 249, 249};
    int m_shadingPixels;
    bool m_shading = false;
    bool m_shadingColour = false;
    int m_shadingLinesRead = 0;
    std::vector<uint8_t> m_shadingMode;
    std::map<uint8_t, std::vector<uint8_t>> m_calibration;
    std::vector<uint8_t> m_calibrationOrder;
};

std::unique_ptr<CVirtualTarget> CreateOstravelDevice(const CSimOptions& options);
