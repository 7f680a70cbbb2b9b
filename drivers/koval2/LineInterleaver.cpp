#include "drivers/koval2/LineInterleaver.h"

#include "core/driver/ScannerDriver.h"
#include "core/messages/MessageReporter.h"

#include <algorithm>
#include <cstring>

uint16_t WidenDeviceSample(const uint8_t* sample, uint32_t shift)
{
    uint16_t value = uint16_t((sample[0] << 8) | sample[1]);
    if (shift == 0 || shift >= 16)
        return value;
    uint16_t v = uint16_t(value << shift);
    uint16_t topBits = uint16_t(((1u << shift) - 1) << (16 - shift));
    return uint16_t(v + ((v & topBits) >> (16 - shift)));
}

const uint8_t* CLineRecord::Data() const
{
    return m_bDetached ? static_cast<const uint8_t*>(m_Copy.m_pData) : m_pSource;
}

bool CLineRecord::Detach()
{
    if (m_bDetached)
        return true;
    m_Copy.Alloc(m_nLength, 0, GMEM_MOVEABLE);
    if (m_Copy.m_hMem == nullptr || m_Copy.m_pData == nullptr)
        return false;
    std::memcpy(m_Copy.m_pData, m_pSource, m_nLength);
    m_pSource = nullptr;
    m_bDetached = true;
    return true;
}

CLineQueue::~CLineQueue()
{
    for (uint32_t i = 0; i < m_nCount; ++i)
        delete m_Entries[i].m_pRecord;
}

bool CLineQueue::Push(const uint8_t* source, uint32_t length, uint32_t lineNumber)
{
    if (m_nCount >= kCapacity)
        return false;
    m_Entries[m_nCount] = {lineNumber, new CLineRecord(source, length)};
    ++m_nCount;
    return true;
}

CLineRecord* CLineQueue::Pop()
{
    if (m_nCount == 0 || m_Entries[0].m_pRecord == nullptr)
        return nullptr;
    CLineRecord* record = m_Entries[0].m_pRecord;
    --m_nCount;
    std::memmove(&m_Entries[0], &m_Entries[1], m_nCount * sizeof(CEntry));
    m_Entries[m_nCount] = {};
    return record;
}

void CLineQueue::DetachAll(int32_t* error)
{
    for (uint32_t i = 0; i < m_nCount; ++i) {
        if (!m_Entries[i].m_pRecord->Detach()) {
            *error = 255;
            return;
        }
    }
}

bool CLineInterleaver::Queue(CLineQueue& queue, uint32_t& count, const uint8_t* payload,
                             uint32_t length)
{
    if (!queue.Push(payload, length, count))
        return false;
    ++count;
    return true;
}

uint32_t CLineInterleaver::AddLines(const uint8_t* data, uint32_t lineLength, uint32_t records,
                                    uint32_t totalLines, int sixteenBit)
{
    uint32_t recordBytes = sixteenBit ? 2 * lineLength : lineLength;
    if (recordBytes < 2)
        return 255;
    uint32_t payloadBytes = recordBytes - 2;
    for (uint32_t i = 0; i < records; ++i) {
        if (m_nRed == totalLines && m_nGreen == totalLines && m_nBlue == totalLines)
            return 0;
        const uint8_t* record = data + (size_t)i * recordBytes;
        bool queued;
        switch (record[1]) {
        case 'R': queued = Queue(m_Red, m_nRed, record + 2, payloadBytes); break;
        case 'G': queued = Queue(m_Green, m_nGreen, record + 2, payloadBytes); break;
        case 'B': queued = Queue(m_Blue, m_nBlue, record + 2, payloadBytes); break;
        default:
            ReportMessage(kMsgUnknownLineFormat);
            // Later scans read one block at a time, which these devices keep in step.
            if (g_pScannerDriver != nullptr) {
                g_pScannerDriver->m_nBlocking = 1;
                g_pScannerDriver->SaveBlocking();
            }
            return 255;
        }
        if (!queued) {
            // Dropping a record would shift one colour against the others for the rest of the
            // image; stopping is the only honest answer.
            ReportMessage(kMsgLineQueueFull);
            return 255;
        }
    }
    return 0;
}

uint32_t CLineInterleaver::GetLines(uint32_t maxLines, uint32_t outBytes, uint8_t* destination,
                                    int32_t* error, int sixteenBit)
{
    *error = 0;
    uint32_t lines = maxLines;
    for (uint32_t count : {m_Red.Count(), m_Green.Count(), m_Blue.Count()}) {
        if (count < lines)
            lines = count;
    }
    for (uint32_t i = 0; i < lines; ++i)
        InterleaveLine(i, outBytes, destination, sixteenBit);
    m_Red.DetachAll(error);
    if (*error == 0)
        m_Green.DetachAll(error);
    if (*error == 0)
        m_Blue.DetachAll(error);
    return *error != 0 ? 0 : lines;
}

void CLineInterleaver::InterleaveLine(uint32_t index, uint32_t outBytes, uint8_t* destination,
                                      int sixteenBit)
{
    CLineRecord* red = m_Red.Pop();
    CLineRecord* green = m_Green.Pop();
    CLineRecord* blue = m_Blue.Pop();
    uint8_t* out = destination + (size_t)index * outBytes;
    const uint8_t* planes[3] = {red->Data(), green->Data(), blue->Data()};
    // Never read past the shortest record, whatever line width the caller asks for.
    uint32_t recordBytes = std::min({red->Length(), green->Length(), blue->Length()});
    if (sixteenBit) {
        uint16_t* samples = reinterpret_cast<uint16_t*>(out);
        for (uint32_t x = 0; x < std::min(outBytes / 6, recordBytes / 2); ++x) {
            for (int c = 0; c < 3; ++c)
                samples[3 * x + c] = WidenDeviceSample(planes[c] + 2 * x, m_nShift);
        }
    } else {
        // The planes are records of their own, never the output line: with that said, the compiler
        // keeps the three sources in registers instead of reloading them after every store.
        const uint8_t* __restrict r = planes[0];
        const uint8_t* __restrict g = planes[1];
        const uint8_t* __restrict b = planes[2];
        uint8_t* __restrict rgb = out;
        const uint32_t pixels = std::min(outBytes / 3, recordBytes);
        for (uint32_t x = 0; x < pixels; ++x, rgb += 3) {
            rgb[0] = r[x];
            rgb[1] = g[x];
            rgb[2] = b[x];
        }
    }
    ++m_nLinesProduced;
    delete red;
    delete green;
    delete blue;
}
