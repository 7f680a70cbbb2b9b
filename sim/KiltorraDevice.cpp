#include "sim/KiltorraDevice.h"

#include "core/util/ByteOrder.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr uint8_t kOpRelease = 0x17;
constexpr uint8_t kOpScan = 0x1B;
constexpr uint8_t kOpSetWindow = 0x24;
constexpr uint8_t kOpGetWindow = 0x25;
constexpr uint8_t kOpBufferStatus = 0x34;
constexpr uint8_t kDataTypeImage = 0;
constexpr uint8_t kDataTypeStatus = 0x81;
constexpr uint8_t kDataTypeTable = 0x93;
constexpr uint8_t kDataTypeValue = 0xA2;
constexpr size_t kDescriptorBytes = 140;
constexpr size_t kToneBlock = 16390;
constexpr size_t kCurveBlock = 2054;
constexpr uint32_t kToneEntries = 8192;
constexpr uint16_t kMinResolution = 50;
constexpr uint16_t kMaxResolution = 2700;
// Beds in 1/1000 inch.
constexpr uint32_t kReflectiveWidth = 8500, kReflectiveHeight = 11700;
constexpr uint32_t kTransparencyWidth = 8000, kTransparencyHeight = 10000;
constexpr uint8_t kFilmOriginal = 3;  // descriptor byte 74

}  // namespace

CKiltorraDevice::CKiltorraDevice(const CSimOptions& options)
    : m_fill(uint32_t(options.Number("fill", 0))), m_chosenMin(uint16_t(options.Number("chosenmin", 150))),
      m_chosenMax(uint16_t(options.Number("chosenmax", 2800)))
{
    std::vector<uint8_t> inquiry = MakeInquiryImage(
        6, options.Text("vendor", "ZELK"), options.Text("product", "KILTORRA"), options.Text("revision", "1.00"), 240);
    for (int offset : {96, 100, 104, 142}) {
        PutBe16(&inquiry[size_t(offset)], kMinResolution);
        PutBe16(&inquiry[size_t(offset) + 2], kMaxResolution);
    }
    PutBe16(&inquiry[184], kReflectiveWidth);
    PutBe16(&inquiry[186], kReflectiveHeight);
    PutBe16(&inquiry[192], kTransparencyWidth);
    PutBe16(&inquiry[194], kTransparencyHeight);
    PutBe16(&inquiry[238], kBufferBytes / 1024);
    SetInquiryImage(inquiry);
}

std::unique_ptr<CVirtualTarget> CreateKiltorraDevice(const CSimOptions& options)
{
    return std::make_unique<CKiltorraDevice>(options);
}

std::vector<uint16_t> CKiltorraDevice::Table(int channel) const
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    return channel >= 0 && channel < 4 ? m_tables[size_t(channel)] : std::vector<uint16_t>();
}

void CKiltorraDevice::OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    switch (cdb.Opcode()) {
    case kOpSetWindow:
        OnSetWindow(io, reply);
        break;
    case kOpGetWindow:
        OnGetWindow(io);
        break;
    case kOpScan:
        OnScan(io, reply);
        break;
    case kOpBufferStatus:
        OnBufferStatus(io, reply);
        break;
    case kOpRelease:
        m_scanning = false;
        CVirtualTarget::OnCommand(cdb, io, reply);
        break;
    default:
        CVirtualTarget::OnCommand(cdb, io, reply);
        break;
    }
}

void CKiltorraDevice::OnSend10(uint8_t dataType, uint16_t qualifier, CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> block = io.TakeOut();
    if (dataType == kDataTypeValue && block.size() == 4) {
        m_values.emplace_back(qualifier, GetBe32(block.data()));
        return;
    }
    if (dataType == kDataTypeTable && block.size() == kCurveBlock && block[1] == 3 && block[2] == 10) {
        m_curve = block;
        return;
    }
    if (dataType == kDataTypeTable && block.size() == kToneBlock && block[0] >= 1 && block[0] <= 3 && block[2] == 13 &&
        block[3] == 13) {
        std::vector<uint16_t>& table = m_tables[block[0]];
        table.resize(kToneEntries);
        for (uint32_t i = 0; i < kToneEntries; ++i)
            table[i] = uint16_t(GetBe16(&block[6 + 2 * i]));
        return;
    }
    CheckCondition(reply, 5, 0x26, 0);
}

void CKiltorraDevice::OnSetWindow(CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> list = io.TakeOut();
    if (list.size() != 8 + kDescriptorBytes || GetBe16(&list[6]) != kDescriptorBytes) {
        CheckCondition(reply, 5, 0x26, 0);
        return;
    }
    const uint8_t* d = &list[8];
    uint32_t xres = GetBe16(d + 2), yres = GetBe16(d + 4);
    uint32_t x0 = GetBe32(d + 6), y0 = GetBe32(d + 10), width = GetBe32(d + 14), length = GetBe32(d + 18);
    bool film = d[74] == kFilmOriginal;
    uint64_t bedWidth = film ? kTransparencyWidth : kReflectiveWidth;
    uint64_t bedHeight = film ? kTransparencyHeight : kReflectiveHeight;
    uint8_t composition = d[25];
    bool known = (composition == 0 && d[26] == 1) || ((composition == 2 || composition == 5) && d[26] == 8);
    bool valid = known && xres >= kMinResolution && xres <= kMaxResolution && yres >= kMinResolution &&
        yres <= kMaxResolution && width != 0 && length != 0 && (uint64_t(x0) + width) * 1000 <= bedWidth * xres &&
        (uint64_t(y0) + length) * 1000 <= bedHeight * yres;
    if (!valid) {
        CheckCondition(reply, 5, 0x26, 0);
        return;
    }
    m_window.assign(d, d + kDescriptorBytes);
}

void CKiltorraDevice::OnScan(CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> list = io.TakeOut();
    if (list.size() != 1 || list[0] != (m_window.empty() ? 0xFF : m_window[0])) {
        CheckCondition(reply, 5, 0x24, 0);
        return;
    }
    const uint8_t* d = m_window.data();
    CKiltorraScan scan;
    scan.composition = d[25];
    scan.pixels = GetBe32(d + 14);
    scan.lines = GetBe32(d + 18);
    scan.bytesPerLine = scan.composition == 0 ? (scan.pixels + 7) / 8
        : scan.composition == 5               ? 3 * scan.pixels
                                              : scan.pixels;
    scan.threshold = d[23];
    scan.gamma = d[74] == kFilmOriginal ? GetBe16(d + 118) : 1000;
    scan.holder = uint16_t(GetBe16(d + 60));
    CChartWindow& chart = scan.chart;
    chart.xResolution = int(GetBe16(d + 2));
    chart.yResolution = int(GetBe16(d + 4));
    chart.left = double(GetBe32(d + 6)) / chart.xResolution;
    chart.top = double(GetBe32(d + 10)) / chart.yResolution;
    chart.pixelsPerLine = int(scan.pixels);
    chart.lines = int(scan.lines);
    chart.bitsPerSample = 8;
    chart.channels = scan.composition == 5 ? 3 : 1;
    m_scan = scan;
    m_scanning = true;
    m_bytesSent = 0;
    m_scanStart = GetTickCount();
    m_statusPolls = 0;
    m_busyReads = 0;
    m_deviceLines.clear();
}

uint32_t CKiltorraDevice::BytesBuffered() const
{
    uint64_t total = uint64_t(m_scan.bytesPerLine) * m_scan.lines;
    uint64_t made = total;
    if (m_fill != 0)
        made =
            std::min<uint64_t>(total, uint64_t(m_fill) * ((GetTickCount() - m_scanStart) / 100) * m_scan.bytesPerLine);
    return uint32_t(std::min<uint64_t>(made - std::min(made, m_bytesSent), kBufferBytes));
}

void CKiltorraDevice::OnBufferStatus(CSimTransfer& io, CSimReply& reply)
{
    if (!m_scanning) {
        CheckCondition(reply, 5, 0x2C, 0);
        return;
    }
    ++m_statusPolls;
    uint32_t filled = BytesBuffered();
    uint8_t status[12] = {0, 0, 10};
    PutBe24(status + 6, kBufferBytes - filled);
    PutBe24(status + 9, filled);
    io.PutIn(status, sizeof status);
}

void CKiltorraDevice::OnGetWindow(CSimTransfer& io)
{
    std::vector<uint8_t> list(8 + kDescriptorBytes, 0);
    PutBe16(&list[6], kDescriptorBytes);
    if (!m_window.empty())
        std::copy(m_window.begin(), m_window.end(), list.begin() + 8);
    PutBe16(&list[8 + 76], uint32_t(m_chosenMin) * 10);
    PutBe16(&list[8 + 78], uint32_t(m_chosenMax) * 10);
    io.PutIn(list.data(), list.size());
}

void CKiltorraDevice::OnRead10(uint8_t dataType, uint16_t, CSimTransfer& io, CSimReply& reply)
{
    if (dataType == kDataTypeStatus && m_scanning) {
        uint8_t status[42] = {};
        PutBe16(status + 8, m_scan.pixels);
        PutBe16(status + 10, m_scan.lines);
        PutBe16(status + 12, m_scan.bytesPerLine);
        PutBe16(status + 14, uint32_t(m_scan.chart.xResolution));
        PutBe16(status + 34, m_scan.composition == 0 ? 1 : 8);
        status[36] = 1;
        status[37] = m_scan.composition == 0 ? 8 : 1;
        PutBe16(status + 38, 1);
        io.PutIn(status, sizeof status);
        return;
    }
    if (dataType == kDataTypeImage && m_scanning) {
        ReadImage(io, reply);
        return;
    }
    CheckCondition(reply, 5, dataType == kDataTypeImage || dataType == kDataTypeStatus ? 0x2C : 0x24, 0);
}

void CKiltorraDevice::ReadImage(CSimTransfer& io, CSimReply& reply)
{
    uint64_t total = uint64_t(m_scan.bytesPerLine) * m_scan.lines;
    uint32_t count = io.Length();
    if (count == 0)
        return;
    if (m_bytesSent + count > total) {
        CheckCondition(reply, 5, 0x2C, 0);
        return;
    }
    if (count > BytesBuffered()) {
        ++m_busyReads;
        reply.status = kSimBusy;
        return;
    }
    std::vector<uint8_t> data(count);
    for (uint32_t done = 0; done < count;) {
        uint32_t line = uint32_t((m_bytesSent + done) / m_scan.bytesPerLine);
        uint32_t offset = uint32_t((m_bytesSent + done) % m_scan.bytesPerLine);
        uint32_t piece = std::min(count - done, m_scan.bytesPerLine - offset);
        std::memcpy(data.data() + done, DeviceLine(line).data() + offset, piece);
        done += piece;
    }
    m_bytesSent += count;
    io.PutIn(data.data(), data.size());
}

uint8_t CKiltorraDevice::Sample(int channel, uint16_t light16) const
{
    uint32_t light13 = light16 >> 3;
    const std::vector<uint16_t>& table = m_tables[size_t(channel)];
    uint32_t entry = table.empty() ? light13 : std::min<uint32_t>(table[light13], kToneEntries - 1);
    if (m_scan.gamma == 1000 || m_scan.gamma == 0)
        return uint8_t(entry / 32);
    double v = std::pow(entry / double(kToneEntries - 1), 1000.0 / m_scan.gamma);
    return uint8_t(std::lround(v * 255.0));
}

const std::vector<uint8_t>& CKiltorraDevice::DeviceLine(uint32_t line)
{
    CChartWindow fine = m_scan.chart;
    fine.bitsPerSample = 16;
    fine.bigEndian16 = true;
    std::vector<uint8_t>& out = m_deviceLines[CTestChart::LineKind(fine, int(line))];
    if (!out.empty())
        return out;
    std::vector<uint8_t> light(CTestChart::BytesPerLine(fine));
    CTestChart::RenderLine(fine, int(line), light.data());
    out.assign(m_scan.bytesPerLine, 0);
    size_t samples = size_t(m_scan.pixels) * size_t(fine.channels);
    for (size_t i = 0; i < samples; ++i) {
        uint16_t value = uint16_t((light[2 * i] << 8) | light[2 * i + 1]);
        if (m_scan.composition == 0) {
            if (255 - (value >> 8) > m_scan.threshold)
                out[i / 8] |= uint8_t(0x80 >> (i % 8));
        } else {
            // Grey goes through the green table.
            out[i] = Sample(fine.channels == 3 ? int(i % 3) + 1 : 2, value);
        }
    }
    return out;
}
