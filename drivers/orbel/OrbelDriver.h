#pragma once

// The ORBEL 35 film scanner (and the VF-3510AF of the same entry): slides and negatives on a
// 40 x 40 mm film area up to 3175 ppi. Besides INQUIRY and TEST UNIT READY it speaks a text command
// language: each command is a line of ASCII sent as the data of SEND(10), answers and image bytes
// come with READ(10). Colour is three one-channel passes through its red, green and blue filters;
// grey is one pass through the green filter.

#include "core/driver/ScannerDriver.h"

#include <cstdint>

class CScsiBuffer;

constexpr uint32_t kKindOrbel = 64;

// The model table's factory for the ORBEL 35 entry: a new driver, or null when memory ran out.
CScannerDriver* CreateOrbelDriver();

// A length in 1/100 mm as the device's steps over its 40 mm film area.
uint32_t OrbelSteps(int32_t length);
// The density of a pass (1/1000 D, already clamped) as the two-digit "DN" value: d / 100 rounded
// half up.
uint32_t OrbelDensityValue(uint32_t density);

class COrbelDriver : public CScannerDriver {
public:
    // The largest piece one data read of the drain takes.
    static constexpr uint32_t kDrainPiece = 5010;
    // The block the gamma lines are formatted into.
    static constexpr uint32_t kGammaBlockBytes = 1500;

    ~COrbelDriver() override;
    void InitCapabilities() override;
    void SetDefaultSettings(CScanSettings* settings) override;
    void RebuildFormatTable() override;
    uint32_t PreProcessLines(uint8_t* buffer, uint32_t lines, CScanSettings* settings) override;
    uint16_t UpdateScanGeometry() override;
    uint16_t SetScanParameters(CScanSettings* settings) override;
    uint16_t StartScanCommand(uint8_t windowId) override;
    uint16_t StartPass(int32_t unused, int32_t passValue) override;
    uint16_t ReadData(uint8_t* buffer, uint8_t qualifier, uint16_t lines, uint16_t bytesPerLine) override;
    uint16_t StopScan(int32_t flag) override;
    uint16_t ReserveDevice() override;
    uint16_t Identify() override;
    uint16_t PrepareScan() override;
    uint16_t SendLookupTables() override;
    uint16_t PrepareColourCorrection() override;
    uint32_t ClampResolutionX(uint32_t resolution) override;
    uint32_t ClampResolutionY(uint32_t resolution) override;
    int IsLutRising(uint32_t scanMode) override;
    uint32_t ScanModeForImageType(int32_t imageType) override;

    // A command line formatted with printf rules; "\r\n" is added. Commands containing ",R" read
    // their one-byte answer.
    uint16_t SendOrbelCommand(const char* format, ...);
    uint16_t ReadOrbelReply();
    // One "WGMnT" line per table (three in colour, channel mode non-zero) through block.
    uint16_t DownloadOrbelGamma(uint8_t* block, uint32_t blockBytes, int channelMode);
    // Reads and drops what the device still holds; a pass start reads one byte even for a count
    // below 2, the end of a scan reads nothing for a count of 0.
    uint16_t Drain(bool passStart);

    // The class's runtime format table; created by InitCapabilities, deleted by the destructor.
    static CFormatTable* s_pFormatTable;

    uint16_t m_nResolutionX = 0;
    uint16_t m_nResolutionY = 0;
    int16_t m_nPass = 0;

private:
    uint16_t SendCommandBlock(uint8_t* block, uint32_t length);
    uint16_t ReadHeader(uint32_t& count);
    uint16_t ReadBytes(void* destination, uint32_t bytes);
    uint16_t DropBytes(uint32_t count);
    uint16_t SendSetupCommands(uint32_t mode);
    uint16_t SendDensity(uint16_t param);
    uint16_t SendMove();
    uint16_t SendWindow();
    uint16_t SendEndCommands(bool aborted);
    uint32_t StepFactorX() const;
    uint32_t StepFactorY() const;
    void FreeCorrectionBlockIfAny();

    char m_szCommand[514] = {};
};
