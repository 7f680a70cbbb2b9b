#pragma once

// The virtual PENDARO flatbed: the KOVAL II device's commands with the PENDARO INQUIRY bytes and
// optical resolutions, a document feeder whose sheets SET ACCESSORY bit 0 takes, and its lookup
// tables: DOWNLOAD LOOKUP TABLE with CDB byte 2 = 0x27, one byte per entry or two little-endian
// (the width follows from the CDB length), table byte bit 0 set exactly when the device's maximum
// is not 255.
//
// Options (with kind=pendaro): model=pendaro|pendaro2|dx690 (optical 300/600, or 400/800 for the
// other two), vendor, product, transparency=0|1, feeder=N (a feeder with N sheets; 0 = fitted and
// empty; absent = none), grouping=8 (INQUIRY byte 59 bit 6), lut=<INQUIRY byte 66> (default 0x02),
// exposurelimit=<INQUIRY byte 73> (default 47), highres, scaling, longpage, lineart, lag, badtag,
// readylines as the KOVAL II device.

#include "sim/Koval2Device.h"

#include <memory>

class CPendaroDevice : public CKoval2Device {
public:
    explicit CPendaroDevice(const CSimOptions& options);

    // The bytes of the last DOWNLOAD LOOKUP TABLE as sent, and its table byte.
    std::vector<uint8_t> LastLutBlock() const { return LockedCopy(m_stateLock, m_lastLutBlock); }
    uint8_t LastTableByte() const { return LockedCopy(m_stateLock, m_lastTableByte); }

protected:
    void UpdateInquiry() override;
    void OnDownloadLut(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply) override;
    bool ResolutionFromPage(CKoval2Scan& scan) const override;

    // Entries and largest entry value the INQUIRY byte 66 announces.
    uint32_t LutEntries() const;
    uint32_t LutMaximum() const;

    uint8_t m_grouping;
    uint8_t m_exposureLimit;
    std::vector<uint8_t> m_lastLutBlock;
    uint8_t m_lastTableByte = 0;
};

std::unique_ptr<CVirtualTarget> CreatePendaroDevice(const CSimOptions& options);
