#pragma once

// The colour line reorder of the KOVAL II family: the device sends a colour scan as single-colour
// line records tagged 'R', 'G' or 'B', in whatever order its sensor rows produce them (green and
// blue trail red by a few lines). The interleaver queues the records per colour and writes out
// pixel-interleaved RGB lines once a line of every colour is there. Records wait in place in the
// driver's transfer block and are copied only when they outlive one transfer.

#include "core/util/GlobalBlock.h"

#include <cstdint>

// Message reported when the device sends a record whose tag is none of R, G, B.
constexpr int kMsgUnknownLineFormat = 4132;
// Message reported when one colour runs so far ahead that its queue is full.
constexpr int kMsgLineQueueFull = 3414;

// A 16-bit sample as the device sends it (high byte first), in the machine's order. With shift
// s > 0 (16 minus the bits per channel) the value moves to the top and its top s bits are repeated
// into the freed low bits, so that full scale stays full scale.
uint16_t WidenDeviceSample(const uint8_t* sample, uint32_t shift);

// One queued line record: its bytes in the transfer block, or its own copy once detached.
class CLineRecord {
public:
    CLineRecord(const uint8_t* source, uint32_t length) : m_pSource(source), m_nLength(length) {}
    ~CLineRecord() { m_Copy.Free(); }
    CLineRecord(const CLineRecord&) = delete;
    CLineRecord& operator=(const CLineRecord&) = delete;

    const uint8_t* Data() const;
    uint32_t Length() const { return m_nLength; }
    // Copies the bytes out of the transfer block; false when no memory could be had.
    bool Detach();

private:
    CGlobalBlock m_Copy;
    const uint8_t* m_pSource;
    bool m_bDetached = false;
    uint32_t m_nLength;
};

// First-in first-out queue of the records of one colour.
class CLineQueue {
public:
    static constexpr uint32_t kCapacity = 2048;

    CLineQueue() = default;
    ~CLineQueue();
    CLineQueue(const CLineQueue&) = delete;
    CLineQueue& operator=(const CLineQueue&) = delete;

    // False when the queue is full: a full queue never overwrites a waiting record.
    bool Push(const uint8_t* source, uint32_t length, uint32_t lineNumber);
    // The oldest record (the caller deletes it), or null when the queue is empty.
    CLineRecord* Pop();
    // Gives every waiting record its own copy; sets error to 255 and stops when memory runs out.
    void DetachAll(int32_t* error);
    uint32_t Count() const { return m_nCount; }

private:
    struct CEntry {
        uint32_t m_nLine;
        CLineRecord* m_pRecord;
    };
    uint32_t m_nCount = 0;
    CEntry m_Entries[kCapacity] = {};
};

// Records of each colour queued in the current scan.
class CLineCounters {
public:
    virtual ~CLineCounters() = default;

    uint32_t m_nRed = 0;
    uint32_t m_nGreen = 0;
    uint32_t m_nBlue = 0;
};

class CLineInterleaver : public CLineCounters {
public:
    // shift: 0 delivers 16-bit samples as they are; else 16 minus the bits per channel (see
    // WidenDeviceSample).
    explicit CLineInterleaver(uint32_t shift = 0) : m_nShift(shift) {}
    ~CLineInterleaver() override = default;

    // Writes at most maxLines interleaved lines of outBytes each to destination and returns how many;
    // the records still waiting are detached. error := 255 (and 0 lines) when a copy failed.
    virtual uint32_t GetLines(uint32_t maxLines, uint32_t outBytes, uint8_t* destination,
                              int32_t* error, int sixteenBit);

    // Queues r records of lineLength samples each (words when sixteenBit) from data; records past
    // the scan's totalLines of every colour are ignored. 0, or 255 after reporting an unknown tag
    // (which also makes later scans read blocking) or a full queue.
    virtual uint32_t AddLines(const uint8_t* data, uint32_t lineLength, uint32_t records,
                              uint32_t totalLines, int sixteenBit);

    uint32_t LinesProduced() const { return m_nLinesProduced; }

private:
    bool Queue(CLineQueue& queue, uint32_t& count, const uint8_t* payload, uint32_t length);
    void InterleaveLine(uint32_t index, uint32_t outBytes, uint8_t* destination, int sixteenBit);

    uint32_t m_nShift;
    uint32_t m_nLinesProduced = 0;
    CLineQueue m_Red;
    CLineQueue m_Green;
    CLineQueue m_Blue;
};
