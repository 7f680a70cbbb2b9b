#include "core/scsi/ScsiChannel.h"

#include "core/scsi/ScsiBuffer.h"
#include "core/util/ByteOrder.h"

CScsiChannel* g_pScsiChannel = nullptr;

namespace {

// A device may send less INQUIRY data than its additional length announces; that is a normal
// answer, not a failed read, and the bytes that came are all it has to say.
TransportResult KeepShortInquiry(TransportResult result)
{
    return result == kScsiDataUnderrun ? TransportResult(kScsiGood) : result;
}

}  // namespace

void CScsiChannel::Prepare(uint32_t timeout, int sense)
{
    m_pTransport->SetTimeout(timeout);
    m_pTransport->SetSenseLength(sense);
}

TransportResult CScsiChannel::Send6(const uint8_t* cdb, int direction, CScsiBuffer& data,
                                    bool synchronous)
{
    return synchronous ? m_pTransport->Exec6(cdb, direction, data)
                       : m_pTransport->StartAsync6(cdb, direction, data);
}

TransportResult CScsiChannel::SendCount6(uint8_t opcode, uint8_t count, int direction, CScsiBuffer& data,
                                         uint32_t timeout, int sense, bool synchronous)
{
    Prepare(timeout, sense);
    const uint8_t cdb[6] = {opcode, 0, 0, 0, count, 0};
    return Send6(cdb, direction, data, synchronous);
}

TransportResult CScsiChannel::Send10Cdb(const uint8_t* cdb, int direction, CScsiBuffer& data,
                                        bool synchronous)
{
    return synchronous ? m_pTransport->Exec10(cdb, direction, data)
                       : m_pTransport->StartAsync10(cdb, direction, data);
}

TransportResult CScsiChannel::TestUnitReady(CScsiBuffer& data, uint32_t timeout, int sense)
{
    return SendCount6(0x00, 0, kScsiNoData, data, timeout, sense);
}

TransportResult CScsiChannel::ScanWindows(CScsiBuffer& data, uint8_t control, uint32_t timeout,
                                          int sense)
{
    Prepare(timeout, sense);
    const uint8_t cdb[6] = {0x1B, 0, 0, 0, uint8_t(data.GetLength()), control};
    return Send6(cdb, kScsiDataOut, data);
}

TransportResult CScsiChannel::Read10(CScsiBuffer& data, uint32_t length, uint8_t dataType,
                                     uint16_t qualifier, bool synchronous, uint32_t timeout,
                                     int sense)
{
    Prepare(timeout, sense);
    uint8_t cdb[10] = {0x28, 0, dataType, 0};
    PutBe16(cdb + 4, qualifier);
    PutBe24(cdb + 6, length);
    return Send10Cdb(cdb, kScsiDataIn, data, synchronous);
}

TransportResult CScsiChannel::GetDataBufferStatus(CScsiBuffer& data, int wait, uint32_t timeout,
                                                  int sense)
{
    Prepare(timeout, sense);
    uint8_t cdb[10] = {0x34, uint8_t(wait != 0 ? 1 : 0)};
    PutBe24(cdb + 6, data.GetLength());
    return Send10Cdb(cdb, kScsiDataIn, data);
}

TransportResult CScsiChannel::Inquiry(CScsiBuffer& data, uint32_t timeout, int sense)
{
    Prepare(timeout, sense);
    // A block that does not know its length yet asks for the 5-byte header first, then for as
    // much as the additional length announces.
    if (data.GetLength() <= 5) {
        const uint8_t header[6] = {0x12, 0, 0, 0, 5, 0};
        TransportResult result = KeepShortInquiry(Send6(header, kScsiDataIn, data));
        if (result != kScsiGood)
            return result;
    }
    const uint8_t cdb[6] = {0x12, 0, 0, 0, uint8_t(data.GetLength()), 0};
    return KeepShortInquiry(Send6(cdb, kScsiDataIn, data));
}

TransportResult CScsiChannel::Send10(CScsiBuffer& data, uint8_t dataType, uint16_t qualifier,
                                     uint32_t timeout, int sense)
{
    return Send10WithControl(data, dataType, qualifier, 0, timeout, sense);
}

TransportResult CScsiChannel::Send10WithControl(CScsiBuffer& data, uint8_t dataType,
                                                uint16_t qualifier, uint8_t control,
                                                uint32_t timeout, int sense)
{
    Prepare(timeout, sense);
    uint8_t cdb[10] = {0x2A, 0, dataType, 0};
    PutBe16(cdb + 4, qualifier);
    PutBe24(cdb + 6, data.GetLength());
    cdb[9] = control;
    return Send10Cdb(cdb, kScsiDataOut, data);
}

TransportResult CScsiChannel::SetWindow(CScsiBuffer& data, uint32_t timeout, int sense)
{
    Prepare(timeout, sense);
    uint8_t cdb[10] = {0x24};
    PutBe24(cdb + 6, data.GetLength());
    return Send10Cdb(cdb, kScsiDataOut, data);
}

TransportResult CScsiChannel::GetWindow(CScsiBuffer& data, uint32_t timeout, int sense)
{
    Prepare(timeout, sense);
    uint8_t cdb[10] = {0x25};
    PutBe24(cdb + 6, data.GetLength());
    return Send10Cdb(cdb, kScsiDataIn, data);
}

TransportResult CScsiChannel::ReserveUnit(CScsiBuffer& data, uint32_t timeout, int sense)
{
    return SendCount6(0x16, 0, kScsiNoData, data, timeout, sense);
}

TransportResult CScsiChannel::ReleaseUnit(CScsiBuffer& data, uint32_t timeout, int sense)
{
    return SendCount6(0x17, 0, kScsiNoData, data, timeout, sense);
}

TransportResult CScsiChannel::ObjectPositionUnload(CScsiBuffer& data, uint32_t timeout, int sense)
{
    Prepare(timeout, sense);
    const uint8_t cdb[10] = {0x31};
    return Send10Cdb(cdb, kScsiNoData, data);
}

TransportResult CScsiChannel::DefineWindowParams(CScsiBuffer& data, uint32_t timeout, int sense)
{
    return SendCount6(0x04, 9, kScsiDataOut, data, timeout, sense);
}

TransportResult CScsiChannel::Read6(CScsiBuffer& data, uint32_t length, bool synchronous,
                                    uint32_t timeout, int sense)
{
    Prepare(timeout, sense);
    uint8_t cdb[6] = {0x08, 0};
    PutBe24(cdb + 2, length);
    return Send6(cdb, kScsiDataIn, data, synchronous);
}

TransportResult CScsiChannel::GetBufferStatus6(CScsiBuffer& data, uint32_t timeout, int sense)
{
    return SendCount6(0x0F, 6, kScsiDataIn, data, timeout, sense);
}

TransportResult CScsiChannel::GetBufferStatus9(CScsiBuffer& data, uint32_t timeout, int sense)
{
    return SendCount6(0x0F, 9, kScsiDataIn, data, timeout, sense);
}

TransportResult CScsiChannel::SetAccessory(CScsiBuffer& data, uint8_t value, uint32_t timeout,
                                           int sense)
{
    return SendCount6(0x10, value, kScsiNoData, data, timeout, sense);
}

TransportResult CScsiChannel::ModeSelect(CScsiBuffer& data, uint8_t length, uint32_t timeout,
                                         int sense)
{
    return SendCount6(0x15, length, kScsiDataOut, data, timeout, sense);
}

TransportResult CScsiChannel::ModeSelect1(CScsiBuffer& data, uint32_t timeout, int sense)
{
    return SendCount6(0x16, 0x0A, kScsiDataOut, data, timeout, sense);
}

TransportResult CScsiChannel::Scan(CScsiBuffer& data, uint8_t value, uint32_t timeout,
                                   bool synchronous, int sense)
{
    return SendCount6(0x1B, value, kScsiNoData, data, timeout, sense, synchronous);
}

TransportResult CScsiChannel::DownloadLookupTable(CScsiBuffer& data, uint8_t control, uint8_t byte2,
                                                  uint32_t timeout, int sense)
{
    Prepare(timeout, sense);
    uint8_t cdb[10] = {0x55, 0, byte2};
    PutBe16(cdb + 7, data.GetLength());
    cdb[9] = control;
    return Send10Cdb(cdb, kScsiDataOut, data);
}

TransportResult CScsiChannel::StartShadingSampling(CScsiBuffer& data, uint32_t timeout, int sense)
{
    return SendCount6(0x11, 2, kScsiDataOut, data, timeout, sense);
}

TransportResult CScsiChannel::DownloadCalibration(CScsiBuffer& data, uint32_t timeout, int sense)
{
    Prepare(timeout, sense);
    uint8_t cdb[6] = {0x0C, 0, 0};
    PutBe16(cdb + 3, data.GetLength());
    return Send6(cdb, kScsiDataOut, data);
}
