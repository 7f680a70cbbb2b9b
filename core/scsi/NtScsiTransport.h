#pragma once

#include <windows.h>

#include "core/scsi/NtPassThrough.h"
#include "core/scsi/ScsiTransport.h"

class CDeviceIo;
class CWorkerThread;

// One pass-through request with what the worker needs to send it. Held by the user-interface
// thread and, while it runs, by the worker; the last one to let go frees it, so a request given
// up on stays valid until the worker has finished with it.
struct CNtRequest {
    NtPassThroughRequest request;
    CDeviceIo* io;
    HANDLE device;
    volatile LONG holders;
    uint32_t asked;  // the port writes the bytes it moved over DataTransferLength

    // A read whose data phase moved fewer bytes than asked left stale bytes in the buffer.
    bool IsShortRead() const
    {
        return request.header.DataIn == kNtDataIn && request.header.DataTransferLength < asked;
    }
};

// Shared with the worker thread (one transport exists at a time).
extern HANDLE g_NtDevice;
extern CNtRequest* volatile g_pNtRequest;
extern volatile LONG g_NtBusy;
extern volatile uint16_t g_NtResult;

// SCSI through the Windows NT pass-through: the SCSI port devices "\\.\ScsiN:" or, with the
// scanner class driver, the devices "\\.\SCANNERn", reached through the device-I/O seam.
class CNtScsiTransport : public CScsiTransport {
public:
    explicit CNtScsiTransport(CDeviceIo* io);
    ~CNtScsiTransport() override;

    uint16_t Open() override;
    void Close(HANDLE handle) override;
    int GetBusCount() override;
    uint32_t GetMaxTransfer() override;
    bool SupportsAsync() override;
    TransportResult FinishAsync() override;
    TransportResult Exec10(const uint8_t* cdb, int direction, CScsiBuffer& data) override;
    TransportResult Exec6(const uint8_t* cdb, int direction, CScsiBuffer& data) override;
    TransportResult StartAsync10(const uint8_t* cdb, int direction, CScsiBuffer& data) override;
    TransportResult StartAsync6(const uint8_t* cdb, int direction, CScsiBuffer& data) override;
    void SelectAdapter(uint8_t adapter) override;
    void SelectTarget(uint8_t target) override;

    // The scanner device number of an address, 0xFFFF for none or an address beyond the table.
    uint16_t ScannerIndex(int port, int path, int target) const;

private:
    TransportResult Exec(const uint8_t* cdb, int length, int direction, CScsiBuffer& data);
    TransportResult StartAsync(const uint8_t* cdb, int length, int direction, CScsiBuffer& data);
    // The checks before a command is sent, then the request built and made the current one;
    // kScsiGood or why the command was refused.
    TransportResult StartRequest(const uint8_t* cdb, int length, int direction, CScsiBuffer& data,
                                 CNtRequest*& request);
    CNtRequest* BuildRequest(const uint8_t* cdb, int length, int direction, CScsiBuffer& data);
    TransportResult NtExecRequest(CNtRequest* request, CScsiBuffer& data);
    void NtWaitPumping(uint32_t milliseconds);
    void BuildScannerIndexTable();
    void CloseDevice();

    CDeviceIo* m_pIo;
    int32_t m_async = 0;
    bool m_workerHolds = false;
    DWORD m_share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    DWORD m_access = GENERIC_READ | GENERIC_WRITE;
    CWorkerThread* m_pWorker = nullptr;
    uint8_t m_busCount = 1;
    uint32_t m_adapterLimit = 61440;
    int32_t m_scannerClass = 0;
    uint16_t m_scannerIndex[128];
};
