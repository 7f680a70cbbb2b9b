#pragma once

#include <windows.h>

#include <cstdint>

class CScsiBuffer;

// The 16-bit result of every SCSI command: the target's status byte (ASPI adds the host adapter
// status in the high byte), or one of the transport's own codes.
using TransportResult = uint16_t;
enum : TransportResult {
    kScsiGood = 0,
    kScsiCheckCondition = 2,
    kScsiBusy = 8,
    kScsiReservationConflict = 0x18,
    kScsiTimeout = 48,
    kScsiUserAbort = 252,
    kScsiNoMemory = 254,
    kScsiFailed = 255,
    kScsiNoDevice = 0x1100,
    // Host adapter status 0x12 with target status GOOD: the data phase moved fewer bytes than the
    // block holds. Both transports give it, so that INQUIRY can keep what came.
    kScsiDataUnderrun = 0x1200,
};

// The SCSI access method as the INI key General/SCSIDriver and the try-lists name it.
enum ScsiDriverId : int32_t {
    kScsiDriverNone = 0,
    kScsiDriverPnrCard = 112,
    kScsiDriverPczCard = 113,
    kScsiDriverDosAspi = 114,
    kScsiDriverNtScsi = 141,
    kScsiDriverRpc = 200,
    kScsiDriverAspi32 = 204,
    kScsiDriverWinAspi16 = 243,
};

// The channel's record of the transport in use, read by the settings dialogs.
enum ScsiChannelKind : int32_t {
    kScsiChannelNone = 0,
    kScsiChannelWinAspi16 = 1,
    kScsiChannelAspi32 = 2,
    kScsiChannelDosAspi = 3,
    kScsiChannelNtScsi = 4,
    kScsiChannelPnrCard = 5,
    kScsiChannelPczCard = 6,
    kScsiChannelRpc = 9,
};

// Message ids that Open returns.
enum : uint16_t {
    kMsgScsiNotSupported = 4442,
    kMsgNoNtScsiPort = 4443,
    kMsgAspiLoadFailed = 4444,
    kMsgAspiWrongVersion = 4445,
    kMsgScsiOpened = 4462,
    kMsgAspiNotReady = 3282,
};

// Direction flags of the execution operations (those of ASPI).
enum : int { kScsiNoData = 0, kScsiDataIn = 0x08, kScsiDataOut = 0x10 };

constexpr size_t kScsiSenseAreaUsed = 32;  // sense bytes any transport asks for at most

// Set by the Cancel buttons while a command or device wait runs; the wait that sees it clears it
// and ends with 252.
extern volatile int32_t g_UserAbort;

// The SCSI access method behind every byte that reaches a scanner. The base class is the
// transport of driver id 0: it opens, but every command fails with 255.
class CScsiTransport {
public:
    CScsiTransport();
    virtual ~CScsiTransport();

    virtual uint16_t Open();
    virtual void Close(HANDLE handle);
    virtual int GetBusCount();
    virtual uint32_t GetMaxTransfer();
    virtual int ReservedOperation1();
    virtual int ReservedOperation2();
    virtual bool SupportsAsync();
    virtual TransportResult FinishAsync();
    virtual TransportResult Exec10(const uint8_t* cdb, int direction, CScsiBuffer& data);
    virtual TransportResult Exec6(const uint8_t* cdb, int direction, CScsiBuffer& data);
    virtual TransportResult StartAsync10(const uint8_t* cdb, int direction, CScsiBuffer& data);
    virtual TransportResult StartAsync6(const uint8_t* cdb, int direction, CScsiBuffer& data);
    virtual void SelectAdapter(uint8_t adapter);
    virtual void SetBus(uint8_t bus);
    virtual void SetLun(uint8_t lun);
    virtual void SelectTarget(uint8_t target);
    virtual void SetTimeout(uint32_t milliseconds);
    virtual void SetSenseLength(int bytes);
    virtual uint8_t GetAdapter();
    virtual uint8_t GetBus();
    virtual uint8_t GetLun();
    virtual uint8_t GetTarget();
    virtual uint8_t GetAdapterCount();
    virtual uint8_t GetTargetCount();
    virtual bool IsSparrowAdapter();
    virtual void SetRetry(bool retry);
    virtual const char* GetAdapterName();

    // The access method's own limit, before INI General/ScanBuffer lowers it; known once
    // GetMaxTransfer has run (0 without an access method).
    uint32_t GetTransferLimit() const { return m_maxTransfer; }

    void LogCdb(const uint8_t* cdb, int length, TransportResult result);
    void LogScsiStatus(uint8_t opcode, TransportResult result);
    static const char* OpcodeName(uint8_t opcode);

protected:
    // The transfer limit, lowered by INI General/ScanBuffer (kilobytes) when that is set.
    static uint32_t LimitByScanBuffer(uint32_t limit);
    // A data block whose memory could not be allocated must not reach the device.
    static bool IsDataMissing(CScsiBuffer& data);

    uint8_t m_adapter = 0;
    uint8_t m_bus = 0;
    uint8_t m_lun = 0;
    uint8_t m_target = 0;
    uint8_t m_senseLength = 0;
    uint8_t m_adapterCount = 0;
    uint32_t m_timeout = 0;
    uint32_t m_maxTransfer = 0;
    int32_t m_retry = 0;
    volatile int32_t m_asyncPending = 0;
    int32_t m_logScsi = 0;
};
