#pragma once

#include <cstdint>

#include "core/scsi/ScsiTransport.h"

class CScsiBuffer;

// The one object through which every driver talks to its device: one operation per SCSI command
// the scanners use. Each builds the command block, sets the transport's time-out and then its
// sense length, and returns the transport's result unchanged.
class CScsiChannel {
public:
    CScsiChannel(CScsiTransport* transport, ScsiChannelKind kind)
        : m_pTransport(transport), m_kind(kind)
    {
    }

    CScsiTransport* GetTransport() const { return m_pTransport; }
    ScsiChannelKind GetKind() const { return m_kind; }

    TransportResult TestUnitReady(CScsiBuffer& data, uint32_t timeout, int sense);
    TransportResult ScanWindows(CScsiBuffer& data, uint8_t control, uint32_t timeout, int sense);
    TransportResult Read10(CScsiBuffer& data, uint32_t length, uint8_t dataType, uint16_t qualifier,
                           bool synchronous, uint32_t timeout, int sense);
    TransportResult GetDataBufferStatus(CScsiBuffer& data, int wait, uint32_t timeout, int sense);
    TransportResult Inquiry(CScsiBuffer& data, uint32_t timeout, int sense);
    TransportResult Send10(CScsiBuffer& data, uint8_t dataType, uint16_t qualifier,
                           uint32_t timeout, int sense);
    TransportResult Send10WithControl(CScsiBuffer& data, uint8_t dataType, uint16_t qualifier,
                                      uint8_t control, uint32_t timeout, int sense);
    TransportResult SetWindow(CScsiBuffer& data, uint32_t timeout, int sense);
    TransportResult GetWindow(CScsiBuffer& data, uint32_t timeout, int sense);
    TransportResult ReserveUnit(CScsiBuffer& data, uint32_t timeout, int sense);
    TransportResult ReleaseUnit(CScsiBuffer& data, uint32_t timeout, int sense);
    TransportResult ObjectPositionUnload(CScsiBuffer& data, uint32_t timeout, int sense);
    TransportResult DefineWindowParams(CScsiBuffer& data, uint32_t timeout, int sense);
    TransportResult Read6(CScsiBuffer& data, uint32_t length, bool synchronous, uint32_t timeout,
                          int sense);
    TransportResult GetBufferStatus6(CScsiBuffer& data, uint32_t timeout, int sense);
    TransportResult GetBufferStatus9(CScsiBuffer& data, uint32_t timeout, int sense);
    TransportResult SetAccessory(CScsiBuffer& data, uint8_t value, uint32_t timeout, int sense);
    TransportResult ModeSelect(CScsiBuffer& data, uint8_t length, uint32_t timeout, int sense);
    TransportResult ModeSelect1(CScsiBuffer& data, uint32_t timeout, int sense);
    // The only operation whose time-out comes before its synchronous flag.
    TransportResult Scan(CScsiBuffer& data, uint8_t value, uint32_t timeout, bool synchronous,
                         int sense);
    TransportResult DownloadLookupTable(CScsiBuffer& data, uint8_t control, uint8_t byte2,
                                        uint32_t timeout, int sense);
    TransportResult StartShadingSampling(CScsiBuffer& data, uint32_t timeout, int sense);
    TransportResult DownloadCalibration(CScsiBuffer& data, uint32_t timeout, int sense);

private:
    void Prepare(uint32_t timeout, int sense);
    TransportResult Send6(const uint8_t* cdb, int direction, CScsiBuffer& data,
                          bool synchronous = true);
    TransportResult Send10Cdb(const uint8_t* cdb, int direction, CScsiBuffer& data,
                              bool synchronous = true);
    // The many six-byte commands whose one operand is byte 4, a length or a value.
    TransportResult SendCount6(uint8_t opcode, uint8_t count, int direction, CScsiBuffer& data,
                               uint32_t timeout, int sense, bool synchronous = true);

    CScsiTransport* m_pTransport;
    ScsiChannelKind m_kind;
};

extern CScsiChannel* g_pScsiChannel;
