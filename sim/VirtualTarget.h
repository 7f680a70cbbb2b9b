#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// SCSI status bytes a virtual target answers with.
enum : uint8_t {
    kSimGood = 0x00,
    kSimCheckCondition = 0x02,
    kSimBusy = 0x08,
    kSimReservationConflict = 0x18,
};

// Direction flags as the host side passes them (data in, data out, none).
enum : int { kSimDataIn = 0x08, kSimDataOut = 0x10 };

// What became of a command on the bus: completed (with a status), nobody answered the selection,
// or the target took it and never completes it (the host must give up or abort it).
enum class SimDisposition { Complete, NoTarget, Hang };

struct CSimCommand {
    const uint8_t* cdb = nullptr;
    int cdbLength = 0;
    int direction = 0;
    uint8_t* data = nullptr;
    uint32_t length = 0;
    int senseLength = 0;  // sense bytes the host has room for
};

struct CSimReply {
    SimDisposition disposition = SimDisposition::Complete;
    uint8_t status = kSimGood;
    uint8_t sense[32] = {};
    int senseLength = 0;
    uint32_t transferred = 0;
    uint32_t delayMs = 0;  // the carrier waits this long before it reports completion
    uint32_t hangMs = 0;   // Hang: how long until the command dies on its own; 0 = until aborted
    bool abortRequested = false;  // the bus raises its abort hook (the user pressing Cancel)
};

struct CSimSense {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
};

enum class SimFaultKind { Delay, Busy, BusyFor, Hang, Check, ShortTransfer, Abort, NoSelect };

// One injected fault. It hits the matching commands after the first `skip` of them, `count` times
// (0: every time); BusyFor instead lasts `ms` milliseconds from its first hit.
struct CSimFault {
    SimFaultKind kind = SimFaultKind::Busy;
    int opcode = -1;  // -1: any command
    int skip = 0;
    int count = 1;
    uint32_t ms = 0;
    CSimSense sense;
    std::vector<uint8_t> rawSense;  // when not empty, sent as is instead of the fixed format
    uint32_t bytes = 0;             // ShortTransfer: bytes actually moved
};

// One command as the target saw it, for transcript comparison.
struct CSimLogEntry {
    std::vector<uint8_t> cdb;
    int direction = 0;
    uint32_t length = 0;
    std::vector<uint8_t> dataOut;
    int senseLength = 0;
    uint8_t status = kSimGood;
    std::string CdbText() const;
    // CdbText, and for a data-out command " > " and its byte count: a transcript file's line.
    std::string TranscriptLine() const;
};

// Field access of a command block; multi-byte numbers are big-endian as on the wire.
struct CSimCdb {
    const uint8_t* bytes = nullptr;
    int length = 0;
    uint8_t Opcode() const { return bytes[0]; }
    uint8_t Byte(int i) const { return i < length ? bytes[i] : 0; }
    uint32_t Be16(int offset) const { return (uint32_t(Byte(offset)) << 8) | Byte(offset + 1); }
    uint32_t Be24(int offset) const { return (Be16(offset) << 8) | Byte(offset + 2); }
};

// The data phase of one command: a handler puts bytes in or takes the bytes sent out.
class CSimTransfer {
public:
    CSimTransfer(const CSimCommand& cmd) : m_cmd(cmd) {}
    // Copies at most the host's buffer length; returns the bytes moved.
    uint32_t PutIn(const void* source, size_t count);
    std::vector<uint8_t> TakeOut() const;
    uint32_t Length() const { return m_cmd.length; }
    uint32_t Transferred() const { return m_transferred; }
    void LimitTransfer(uint32_t bytes);

private:
    const CSimCommand& m_cmd;
    uint32_t m_transferred = 0;
    uint32_t m_limitedTo = UINT32_MAX;
};

enum class TurStep { Ready, Busy, NotReady };

// A copy of a device's member taken under its lock: the bus runs the device's commands on the ASPI
// manager's thread while a test reads what the device saw.
template <class T> T LockedCopy(std::mutex& lock, const T& member)
{
    std::lock_guard<std::mutex> guard(lock);
    return member;
}

// The base of every virtual device: decodes the command, applies the injected faults, answers the
// commands all scanners share and logs every command. Families derive and override the handlers.
class CVirtualTarget {
public:
    CVirtualTarget();
    virtual ~CVirtualTarget();

    // Thread-safe: the ASPI manager, the pass-through worker and the tests may all call in.
    CSimReply Execute(const CSimCommand& cmd);

    static std::vector<uint8_t> MakeInquiryImage(uint8_t deviceType, const std::string& vendor,
                                                 const std::string& product,
                                                 const std::string& revision, size_t total = 36);
    void SetInquiryImage(std::vector<uint8_t> image);
    std::vector<uint8_t> InquiryImage() const;

    // Steps are used up in order; the last one stays. E.g. {{Busy,2},{Ready,1}}.
    void SetTestUnitReadyScript(std::vector<std::pair<TurStep, int>> steps);
    void SetForeignReservation(bool held);
    bool IsReservedByHost() const;

    void AddFault(const CSimFault& fault);
    void ClearFaults();

    void SetReadData(uint8_t dataType, uint16_t qualifier, std::vector<uint8_t> bytes);
    std::vector<uint8_t> SentData(uint8_t dataType, uint16_t qualifier) const;

    std::vector<CSimLogEntry> Log() const;
    std::vector<std::string> Transcript() const;  // one "12 00 00 00 05 00" line per command
    void ClearLog();
    // Empties the file and from then on appends each command's TranscriptLine as it arrives, so
    // that the commands of a run can be read after its process has ended. False when the file
    // cannot be written.
    bool SetTranscriptFile(const std::string& path);

protected:
    // Handlers run under the target's lock.
    virtual void OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply);
    virtual void OnInquiry(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply);
    virtual void OnTestUnitReady(CSimReply& reply);
    virtual void OnRequestSense(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply);
    virtual void OnRead10(uint8_t dataType, uint16_t qualifier, CSimTransfer& io, CSimReply& reply);
    virtual void OnSend10(uint8_t dataType, uint16_t qualifier, CSimTransfer& io, CSimReply& reply);
    virtual void OnUnknown(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply);
    // Fixed format 0x70; families with their own sense layout override it.
    virtual void BuildSense(const CSimSense& sense, CSimReply& reply);
    // A transcript file's line for the command; families whose data carry text add it.
    virtual std::string TranscriptLine(const CSimLogEntry& entry) const { return entry.TranscriptLine(); }

    void CheckCondition(CSimReply& reply, uint8_t key, uint8_t asc, uint8_t ascq);
    void CheckConditionRaw(CSimReply& reply, const std::vector<uint8_t>& sense);

private:
    struct CActiveFault {
        CSimFault fault;
        int seen = 0;
        int hits = 0;
        uint32_t firstHit = 0;
        bool started = false;
    };
    bool ApplyFault(const CSimCdb& cdb, CSimReply& reply, uint32_t& shortBytes);
    bool HeldByForeignHost(const CSimCdb& cdb, CSimReply& reply);
    void Remember(const CSimReply& reply);
    void AppendToTranscriptFile(const CSimLogEntry& entry) const;

    mutable std::mutex m_lock;
    std::vector<uint8_t> m_inquiry;
    std::vector<std::pair<TurStep, int>> m_turScript;
    bool m_foreignHolder = false;
    bool m_hostHolder = false;
    std::vector<CActiveFault> m_faults;
    std::map<std::pair<uint8_t, uint16_t>, std::vector<uint8_t>> m_readData;
    std::map<std::pair<uint8_t, uint16_t>, std::vector<uint8_t>> m_sentData;
    std::vector<CSimLogEntry> m_log;
    std::string m_strTranscriptFile;
    std::vector<uint8_t> m_lastSense;
};
