#pragma once

// The device interface of every scanner and camera. Each model family derives one class; the scan
// job, the reader, the view, the dialogs and the batch interpreter reach the device only through the
// 44 virtual operations below, declared in their fixed slot order. A bare CScannerDriver stands in
// for a missing scanner: it has capabilities, a format table and defaults, and refuses to build a
// scan window.

#include "core/driver/FormatEntry.h"
#include "core/driver/HoleRecord.h"
#include "framework/String.h"

#include <windows.h>

#include <cstdint>

class CLutBuffer;
class CScanSettings;
struct CmsCorrectionBlock;

// Called while a scan runs with the lines done so far; a non-zero result stops the scan.
typedef int (*ScanProgressCallback)(int32_t lines);

// 16-bit result of every operation that talks to the device: 0 success, low byte 2 CHECK
// CONDITION, low byte 8 BUSY, high byte 0x11 selection time-out, then the codes below.
enum DriverResult : uint16_t {
    kDriverOk = 0,
    kDriverAborted = 252,       // user abort, or a failure already reported
    kDriverLockFailed = 253,
    kDriverNoMemory = 254,
    kDriverFailed = 255,        // any other failure; also "not supported"
};

// Driver kind of the bare base; a family's kind is another power of two, and its bit number is the
// family's settings-file slot.
constexpr uint32_t kKindBareDriver = 1;

struct CResolutionRange {
    uint16_t m_nMinimum;
    uint16_t m_nMaximum;
};

// A scan area, 1/100 mm.
struct CBedArea {
    uint16_t m_nOffsetX;
    uint16_t m_nOffsetY;
    uint16_t m_nWidth;
    uint16_t m_nHeight;
};

// Densities found by the levels analysis, 1/1000 D: the whole area, then each channel by its byte
// number in a pixel (in bottom-up 24-bit images byte 2 is red, byte 0 blue).
struct CLevelDensities {
    uint32_t m_nMinimum;
    uint32_t m_nMaximum;
    uint32_t m_nChannelMin[3];
    uint32_t m_nChannelMax[3];
};

// Density limits of one original kind, 1/1000 D.
struct CDensityLimits {
    uint32_t m_nMinimum;
    uint32_t m_nMinimumCeiling;
    uint32_t m_nMaximumFloor;
    uint32_t m_nMaximum;
};

// The first flag byte has bit t set when image type t can be chosen. Bits of the second flag byte:
constexpr uint8_t kCapColourOnePass = 0x01;
constexpr uint8_t kCapReflective = 0x08;
constexpr uint8_t kCapHardwareSharpening = 0x40;
// Bit of the fourth flag byte (the second of the further flag bytes):
constexpr uint8_t kCapCameraMode = 0x02;

// What a family gives the colour correction of a negative beyond the settings (see
// CScannerDriver::PrepareFilmColourCorrection).
struct CFilmCorrection {
    const float* maximumDensities = nullptr;
    const float* minimumDensities = nullptr;
    uint32_t baseFlags = 0x18;
    float gamma = 1.0f;
};

class CScannerDriver {
public:
    CScannerDriver();

    // Slots 0 to 43.
    virtual ~CScannerDriver();
    virtual uint32_t GetTransferSize();
    virtual uint32_t GetMaxResolutionForType(int32_t imageType);
    virtual void InitCapabilities();
    virtual void SetDefaultSettings(CScanSettings* settings);
    virtual uint32_t GetLineOverhead();
    virtual uint32_t PostProcessLines(uint8_t* buffer, uint32_t lines, CScanSettings* settings, int32_t* status);
    virtual CFormatTable* BuildFormatTable(const CStaticFormatEntry* staticTable, CFormatTable* table);
    virtual void RebuildFormatTable();
    virtual void CopyFormatTable(const CStaticFormatEntry* staticTable, CFormatTable* table);
    virtual uint32_t PreProcessLines(uint8_t* buffer, uint32_t lines, CScanSettings* settings);
    virtual uint16_t UpdateScanGeometry();
    virtual uint16_t SetScanParameters(CScanSettings* settings);
    virtual uint16_t StartScanCommand(uint8_t windowId);
    virtual uint16_t StartPass(int32_t unused, int32_t passValue);
    virtual uint16_t ReadData(uint8_t* buffer, uint8_t qualifier, uint16_t lines, uint16_t bytesPerLine);
    virtual uint16_t StopScan(int32_t flag);
    virtual uint16_t ReserveDevice();
    virtual uint16_t Identify();
    virtual uint16_t PrepareScan();
    virtual uint16_t WaitReady(uint32_t timeoutMs);
    virtual uint16_t WaitForData(uint8_t qualifier, uint32_t bytes, uint32_t timeoutMs);
    virtual uint16_t SendLookupTables();
    virtual uint16_t UnloadOriginal();
    virtual uint16_t PrescanIfNeeded(CScanSettings* settings, ScanProgressCallback progress);
    virtual uint16_t PrepareColourCorrection();
    virtual uint16_t PrepareEngineColourCorrection();
    virtual int CheckLineArt();
    virtual uint16_t HandleSense(const uint8_t* sense);
    virtual uint32_t GetOptimalResolution(int32_t formatIndex);
    virtual uint32_t ClampResolutionX(uint32_t resolution);
    virtual uint32_t ClampResolutionY(uint32_t resolution);
    virtual int IsLutRising(uint32_t scanMode);
    virtual int HasHardwareSharpening();
    virtual int IsScreenRulingOff();
    virtual double GetGammaOverride();
    virtual uint16_t ResetFeeder();
    virtual int IsFeederLoaded();
    virtual int DetectFeeder();
    virtual uint16_t EnableFeeder(int on);
    virtual int32_t SaveBlocking();
    virtual int32_t LoadBlocking();
    virtual int32_t GetOptimalStroke();
    virtual uint32_t ScanModeForImageType(int32_t imageType);

    CScannerDriver(const CScannerDriver&) = delete;
    CScannerDriver& operator=(const CScannerDriver&) = delete;

    // INQUIRY texts, stored without trailing blanks (the first character is always kept).
    void SetVendorName(const char* text);
    void SetProductName(const char* text);
    void SetRevisionText(const char* text);

    // Bed geometry by original kind: 1 and 2 the transparency bed, anything else the reflective bed.
    uint32_t GetBedWidth(int32_t original) const;
    uint32_t GetBedHeight(int32_t original) const;
    uint32_t GetBedOffsetX(int32_t original) const;
    uint32_t GetBedOffsetY(int32_t original) const;
    // Bytes of the widest line the device can deliver: 16-bit RGB across the wider bed at the
    // highest resolution, with the line overhead.
    uint32_t WidestLineBytes();

    // Lowest and highest density for the original of the current settings record; the argument is
    // not used.
    uint32_t GetMinDensity(int32_t unused) const;
    uint32_t GetMaxDensity(int32_t unused) const;
    // The highest value the minimum-density setting may take and the lowest the maximum may take;
    // flag 1 asks for the limits of the levels analysis.
    uint32_t GetMinDensityCeiling(int32_t flag) const;
    uint32_t GetMaxDensityFloor(int32_t flag) const;

    // Rebuilds table from staticTable as the current runtime table; the user's own format keeps
    // its size and offsets while the standard formats are clipped again to the current beds.
    void RebuildKeepingUserFormat(const CStaticFormatEntry* staticTable, CFormatTable* table);

    // The user-defined format between the runtime format table and settings ids 116-121.
    void SelectUserFormat();
    void StoreUserFormat();

    // A CHECK CONDITION whose sense says UNIT ATTENTION (the device was reset or its medium
    // changed): the command did not run and is worth repeating once.
    static bool IsUnitAttention(uint16_t result, const uint8_t* sense);

    // The scan geometry that most families share as their UpdateScanGeometry.
    uint16_t UpdateSharedScanGeometry();
    // The scan geometry and window summary from a device's 40-byte status block (big-endian
    // pixels, lines and bytes at 8-13, summary words at 14 and 30-34, bytes 36-37, word 38), as the
    // families that read that block after the window take them.
    static void TakeStatusBlock(const uint8_t* block);
    // The scan mode of families whose device makes line art itself only at a resolution it scans as
    // asked, with no rotation or mirror; otherwise the engine makes line art from grey.
    uint32_t ScanModeWithDeviceLineArt(int32_t imageType);
    // Deletes a format table shared by every driver of a class and clears it, unless the current
    // driver is another object still reading it: a temporary driver must not take it away.
    void ReleaseSharedFormatTable(CFormatTable*& table);
    // The colour correction of a negative from the fog densities and levels, as most families
    // carry it as their PrepareColourCorrection. A family that sends the engine its own maximum
    // densities (block floats 64-72) passes them; otherwise they copy the levels' (floats 40-48).
    // The minimum densities (floats 52-60) likewise, else the levels' (floats 28-36). The block's flag
    // word starts as baseFlags, to which the later bits are added. A device that puts a fixed gamma of
    // its own on the film gives it for the block's gamma floats.
    uint16_t PrepareFilmColourCorrection(const CFilmCorrection& film = {});

    // Fills count entries (each 0..max) for channel 0 (grey or common) or 1-3 (red, green, blue),
    // scale in 1/1000; 1 when densities, film curve, gamma or output range shaped the table.
    int BuildScannerLut(uint16_t* table, uint32_t count, uint32_t max, int channel, uint32_t scale);
    // Builds the table for the block and loads it: 0, or 252 after reporting message 3317.
    uint16_t DownloadLut(CLutBuffer* block, int channel);

    // The highest resolution of the main direction.
    uint32_t GetMaxResolutionX() const { return m_ResolutionRange[0].m_nMaximum; }
    bool CanScanReflective() const { return (m_nCapabilityFlags & kCapReflective) != 0; }
    bool IsCamera() const { return (m_nFurtherFlags[1] & kCapCameraMode) != 0; }

    // The base ignores the scan job's progress callback; families that report progress keep it.
    void SetProgressCallback(ScanProgressCallback callback);

    // Prescan, levels and histogram (DriverPrescan.cpp). AutoPrescan scans the selection at about
    // 65536 pixels and stores the densities it finds; the global settings are otherwise left as
    // they were, whatever happens.
    uint16_t AutoPrescan(ScanProgressCallback progress);
    // Densities of an area of 8-bit image data; width and height bound the area. Always 0.
    int AnalyzePreviewLevels(const uint8_t* data, uint32_t stride, uint32_t width, uint32_t height, uint32_t x,
                             uint32_t y, uint32_t pixels, uint32_t lines, int32_t exponent, uint32_t scanMode,
                             int32_t imageType, CLevelDensities& densities);
    // Fills the driver's histogram block (3 x 256 counters, channel c at c x 256) and points
    // histogram at it; channels becomes 1 or 3. 0, or 255 for a scan mode without a histogram or
    // when memory fails.
    uint16_t ComputeHistogram(int& channels, int32_t*& histogram, const uint8_t* data, uint32_t stride,
                              uint32_t width, uint32_t height, uint32_t x, uint32_t y, uint32_t pixels,
                              uint32_t lines, uint32_t scanMode, int32_t imageType);
    // Smooths single-pixel spikes in quality scans at the optical resolution; returns lines.
    uint32_t FilterSpikes(uint8_t* data, uint32_t lines, CScanSettings* settings, uint32_t opticalResolution);

    CFormatTable* m_pFormatTable = nullptr;
    const HoleRecord* m_pHolderTable;
    const uint32_t* m_pResolutionList;
    uint32_t m_nKind = kKindBareDriver;
    uint32_t m_nBufferSize = 0;             // kilobytes
    uint16_t m_nFirmwareLowest = 0;
    uint16_t m_nFirmwareHighest = 0;
    CResolutionRange m_ResolutionRange[4] = {};
    CBedArea m_ReflectiveBed = {};
    CBedArea m_TransparencyBed = {};
    uint16_t m_nCapabilityWords[8] = {};
    CDensityLimits m_ReflectiveDensity = {};
    CDensityLimits m_TransparencyDensity = {};
    uint32_t m_nReserved = 0;
    uint32_t m_nLinesRead = 0;
    uint32_t m_nMaxResolutionForType = 0;
    uint8_t m_nImageTypeFlags = 0;
    uint8_t m_nCapabilityFlags = 0;
    uint8_t m_nFurtherFlags[9] = {};
    CmsCorrectionBlock* m_pCorrectionBlock = nullptr;
    HGLOBAL m_hCorrectionBlock = nullptr;
    HGLOBAL m_hHistogram = nullptr;
    // 3 when idle; the jobs set 2 for a scan, 1 for a preview; 0 while the driver's own prescan runs.
    int32_t m_nState = 3;
    int32_t* m_pHistogram = nullptr;
    CString m_strVendor;
    CString m_strProduct;                   // also the name of the model's INI section
    CString m_strRevision;
    int32_t m_nBlocking = 0;
    int32_t m_bLineArt = 1;

    // The base's static tables.
    static const HoleRecord s_HolderTable[];
    static const uint32_t s_ResolutionList[];
    static const CStaticFormatEntry s_StaticFormats[];
    // Cleared while a prescan runs.
    static int32_t s_bPrescanAllowed;

private:
    uint16_t RunColourCorrection();
    void FreeCorrectionBlock();
    uint16_t AllocateCorrectionBlock();
    const CBedArea& BedFor(int32_t original) const;
    const CDensityLimits& DensityFor(int32_t original) const;
    bool LockHistogramBlock();
};

// Dispatches window messages for the given time, or until the user aborts.
void PumpMessages(uint32_t milliseconds);

// The base class's runtime format table, created by InitCapabilities.
extern CFormatTable* g_pFormatTable;

// The current driver; null while there is none.
extern CScannerDriver* g_pScannerDriver;
