#include "sim/VirtualTarget.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

std::string CSimLogEntry::CdbText() const
{
    std::string text;
    char hex[4];
    for (size_t i = 0; i < cdb.size(); ++i) {
        std::snprintf(hex, sizeof hex, "%02x", cdb[i]);
        if (i != 0)
            text += ' ';
        text += hex;
    }
    return text;
}

std::string CSimLogEntry::TranscriptLine() const
{
    if (!(direction & kSimDataOut))
        return CdbText();
    return CdbText() + " > " + std::to_string(length);
}

uint32_t CSimTransfer::PutIn(const void* source, size_t count)
{
    if (m_cmd.data == nullptr || !(m_cmd.direction & kSimDataIn))
        return 0;
    uint32_t n = uint32_t(std::min<size_t>({count, size_t(m_cmd.length), size_t(m_limitedTo)}));
    std::memcpy(m_cmd.data, source, n);
    m_transferred = n;
    return n;
}

std::vector<uint8_t> CSimTransfer::TakeOut() const
{
    if (m_cmd.data == nullptr || !(m_cmd.direction & kSimDataOut))
        return {};
    return std::vector<uint8_t>(m_cmd.data, m_cmd.data + m_cmd.length);
}

void CSimTransfer::LimitTransfer(uint32_t bytes)
{
    m_limitedTo = std::min(m_limitedTo, bytes);
}

CVirtualTarget::CVirtualTarget()
    : m_inquiry(MakeInquiryImage(6, "BRELVANE", "VIRTUAL DEVICE", "1.00"))
{
}

CVirtualTarget::~CVirtualTarget() = default;

std::vector<uint8_t> CVirtualTarget::MakeInquiryImage(uint8_t deviceType, const std::string& vendor,
                                                      const std::string& product,
                                                      const std::string& revision, size_t total)
{
    total = std::clamp<size_t>(total, 36, 255 + 5);
    std::vector<uint8_t> image(total, 0);
    image[0] = deviceType;
    image[2] = 2;  // SCSI-2
    image[4] = uint8_t(total - 5);
    auto put = [&](size_t offset, size_t width, const std::string& text) {
        for (size_t i = 0; i < width; ++i)
            image[offset + i] = i < text.size() ? uint8_t(text[i]) : ' ';
    };
    put(8, 8, vendor);
    put(16, 16, product);
    put(32, 4, revision);
    return image;
}

void CVirtualTarget::SetInquiryImage(std::vector<uint8_t> image)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_inquiry = std::move(image);
}

std::vector<uint8_t> CVirtualTarget::InquiryImage() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_inquiry;
}

void CVirtualTarget::SetTestUnitReadyScript(std::vector<std::pair<TurStep, int>> steps)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_turScript = std::move(steps);
}

void CVirtualTarget::SetForeignReservation(bool held)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_foreignHolder = held;
    if (held)
        m_hostHolder = false;
}

bool CVirtualTarget::IsReservedByHost() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_hostHolder;
}

void CVirtualTarget::AddFault(const CSimFault& fault)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_faults.push_back(CActiveFault{fault});
}

void CVirtualTarget::ClearFaults()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_faults.clear();
}

void CVirtualTarget::SetReadData(uint8_t dataType, uint16_t qualifier, std::vector<uint8_t> bytes)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_readData[{dataType, qualifier}] = std::move(bytes);
}

std::vector<uint8_t> CVirtualTarget::SentData(uint8_t dataType, uint16_t qualifier) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_sentData.find({dataType, qualifier});
    return it == m_sentData.end() ? std::vector<uint8_t>() : it->second;
}

std::vector<CSimLogEntry> CVirtualTarget::Log() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_log;
}

std::vector<std::string> CVirtualTarget::Transcript() const
{
    std::vector<std::string> lines;
    for (const CSimLogEntry& entry : Log())
        lines.push_back(entry.CdbText());
    return lines;
}

void CVirtualTarget::ClearLog()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_log.clear();
}

bool CVirtualTarget::SetTranscriptFile(const std::string& path)
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file)
        return false;
    m_strTranscriptFile = path;
    return true;
}

void CVirtualTarget::AppendToTranscriptFile(const CSimLogEntry& entry) const
{
    if (m_strTranscriptFile.empty())
        return;
    // Opened for each line, so that the file is complete whenever the process ends and another
    // process may read it meanwhile.
    std::ofstream file(m_strTranscriptFile, std::ios::binary | std::ios::app);
    file << TranscriptLine(entry) << '\n';
}

CSimReply CVirtualTarget::Execute(const CSimCommand& cmd)
{
    std::lock_guard<std::mutex> guard(m_lock);
    CSimReply reply;
    CSimCdb cdb{cmd.cdb, cmd.cdbLength};
    CSimLogEntry entry;
    entry.cdb.assign(cmd.cdb, cmd.cdb + cmd.cdbLength);
    entry.direction = cmd.direction;
    entry.length = cmd.length;
    entry.senseLength = cmd.senseLength;
    if ((cmd.direction & kSimDataOut) && cmd.data != nullptr)
        entry.dataOut.assign(cmd.data, cmd.data + cmd.length);

    CSimTransfer io(cmd);
    uint32_t shortBytes = UINT32_MAX;
    if (cmd.cdbLength < 6) {
        CheckCondition(reply, 5, 0x20, 0);
    } else if (!ApplyFault(cdb, reply, shortBytes) && !HeldByForeignHost(cdb, reply)) {
        io.LimitTransfer(shortBytes);
        OnCommand(cdb, io, reply);
    }
    reply.transferred = io.Transferred();
    entry.status = reply.status;
    AppendToTranscriptFile(entry);
    m_log.push_back(std::move(entry));
    Remember(reply);
    return reply;
}

bool CVirtualTarget::ApplyFault(const CSimCdb& cdb, CSimReply& reply, uint32_t& shortBytes)
{
    for (CActiveFault& active : m_faults) {
        const CSimFault& f = active.fault;
        if (f.opcode >= 0 && f.opcode != cdb.Opcode())
            continue;
        if (active.seen++ < f.skip)
            continue;
        if (f.kind == SimFaultKind::BusyFor) {
            DWORD now = GetTickCount();
            if (!active.started) {
                active.started = true;
                active.firstHit = now;
            }
            if (now - active.firstHit >= f.ms)
                continue;
        } else {
            if (f.count != 0 && active.hits >= f.count)
                continue;
            ++active.hits;
        }
        switch (f.kind) {
        case SimFaultKind::Delay:
            reply.delayMs += f.ms;
            break;
        case SimFaultKind::ShortTransfer:
            shortBytes = f.bytes;
            break;
        case SimFaultKind::Busy:
        case SimFaultKind::BusyFor:
            reply.status = kSimBusy;
            return true;
        case SimFaultKind::Hang:
            reply.disposition = SimDisposition::Hang;
            reply.hangMs = f.ms;
            return true;
        case SimFaultKind::Check:
            if (f.rawSense.empty())
                CheckCondition(reply, f.sense.key, f.sense.asc, f.sense.ascq);
            else
                CheckConditionRaw(reply, f.rawSense);
            return true;
        case SimFaultKind::Abort:
            reply.abortRequested = true;
            reply.status = kSimBusy;
            return true;
        case SimFaultKind::NoSelect:
            reply.disposition = SimDisposition::NoTarget;
            return true;
        }
    }
    return false;
}

bool CVirtualTarget::HeldByForeignHost(const CSimCdb& cdb, CSimReply& reply)
{
    // INQUIRY, REQUEST SENSE and RELEASE pass a foreign reservation, as on a real target.
    uint8_t op = cdb.Opcode();
    if (!m_foreignHolder || op == 0x12 || op == 0x03 || op == 0x17)
        return false;
    reply.status = kSimReservationConflict;
    return true;
}

void CVirtualTarget::Remember(const CSimReply& reply)
{
    if (reply.status == kSimCheckCondition)
        m_lastSense.assign(reply.sense, reply.sense + reply.senseLength);
}

void CVirtualTarget::OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    switch (cdb.Opcode()) {
    case 0x00:
        OnTestUnitReady(reply);
        break;
    case 0x03:
        OnRequestSense(cdb, io, reply);
        break;
    case 0x12:
        OnInquiry(cdb, io, reply);
        break;
    case 0x16:
        m_hostHolder = true;
        break;
    case 0x17:
        m_hostHolder = false;
        break;
    case 0x28:
        io.LimitTransfer(cdb.Be24(6));
        OnRead10(cdb.Byte(2), uint16_t(cdb.Be16(4)), io, reply);
        break;
    case 0x2A:
        OnSend10(cdb.Byte(2), uint16_t(cdb.Be16(4)), io, reply);
        break;
    default:
        OnUnknown(cdb, io, reply);
        break;
    }
}

void CVirtualTarget::OnInquiry(const CSimCdb& cdb, CSimTransfer& io, CSimReply&)
{
    io.PutIn(m_inquiry.data(), std::min<size_t>(cdb.Byte(4), m_inquiry.size()));
}

void CVirtualTarget::OnTestUnitReady(CSimReply& reply)
{
    if (m_turScript.empty())
        return;
    auto& step = m_turScript.front();
    TurStep kind = step.first;
    if (--step.second <= 0 && m_turScript.size() > 1)
        m_turScript.erase(m_turScript.begin());
    if (kind == TurStep::Busy)
        reply.status = kSimBusy;
    else if (kind == TurStep::NotReady)
        CheckCondition(reply, 2, 0x04, 0x01);
}

void CVirtualTarget::OnRequestSense(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> sense = m_lastSense;
    if (sense.empty()) {
        CSimReply none;
        BuildSense(CSimSense{}, none);
        sense.assign(none.sense, none.sense + none.senseLength);
    }
    io.PutIn(sense.data(), std::min<size_t>(cdb.Byte(4), sense.size()));
    m_lastSense.clear();
    (void)reply;
}

void CVirtualTarget::OnRead10(uint8_t dataType, uint16_t qualifier, CSimTransfer& io,
                              CSimReply& reply)
{
    auto it = m_readData.find({dataType, qualifier});
    if (it == m_readData.end()) {
        CheckCondition(reply, 5, 0x24, 0);
        return;
    }
    io.PutIn(it->second.data(), it->second.size());
}

void CVirtualTarget::OnSend10(uint8_t dataType, uint16_t qualifier, CSimTransfer& io, CSimReply&)
{
    m_sentData[{dataType, qualifier}] = io.TakeOut();
}

void CVirtualTarget::OnUnknown(const CSimCdb&, CSimTransfer&, CSimReply& reply)
{
    CheckCondition(reply, 5, 0x20, 0);
}

void CVirtualTarget::BuildSense(const CSimSense& sense, CSimReply& reply)
{
    std::memset(reply.sense, 0, sizeof reply.sense);
    reply.sense[0] = 0x70;
    reply.sense[2] = sense.key;
    reply.sense[7] = 10;
    reply.sense[12] = sense.asc;
    reply.sense[13] = sense.ascq;
    reply.senseLength = 18;
}

void CVirtualTarget::CheckCondition(CSimReply& reply, uint8_t key, uint8_t asc, uint8_t ascq)
{
    reply.status = kSimCheckCondition;
    BuildSense(CSimSense{key, asc, ascq}, reply);
}

void CVirtualTarget::CheckConditionRaw(CSimReply& reply, const std::vector<uint8_t>& sense)
{
    reply.status = kSimCheckCondition;
    std::memset(reply.sense, 0, sizeof reply.sense);
    reply.senseLength = int(std::min(sense.size(), sizeof reply.sense));
    std::memcpy(reply.sense, sense.data(), reply.senseLength);
}
