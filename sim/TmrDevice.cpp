#include "sim/TmrDevice.h"

#include "core/util/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace {

constexpr uint8_t kOpReserve = 0x16;
constexpr uint8_t kOpRelease = 0x17;
constexpr uint8_t kOpSetWindow = 0x24;
constexpr uint8_t kOpGetWindow = 0x25;
constexpr uint8_t kOpScan = 0x1B;
constexpr uint8_t kOpBufferStatus = 0x34;
constexpr uint8_t kDataTypeImage = 0;
constexpr uint8_t kDataTypeParams = 0x81;
constexpr uint8_t kDataTypeLut = 0x93;
constexpr uint8_t kDataTypeValue = 0xA2;
constexpr uint16_t kStatusValue = 10002;
constexpr size_t kInquiryLength = 240;
constexpr size_t kDescriptorBytes = 110;
constexpr size_t kLutBlockBytes = 1030;
constexpr size_t kLutEntries = 1024;
constexpr size_t kParamBlockBytes = 40;
constexpr uint32_t kLowestResolution = 50;
constexpr uint32_t kHighestResolution = 1200;
// Beds in 1/1000 inch.
constexpr uint32_t kReflectiveWidth = 8500;
constexpr uint32_t kReflectiveHeight = 11700;
constexpr uint32_t kTransparencyWidth = 8000;
constexpr uint32_t kTransparencyHeight = 10000;
const uint16_t kCapabilityWords[8] = {2056, 2056, 10, 10, 2, 2, 0, 3600};
constexpr uint32_t kBufferKilobytes = 1024;
constexpr uint32_t kMeasuredMinimum = 1500;
constexpr uint32_t kMeasuredMaximum = 18500;

void PutBe16(std::vector<uint8_t>& image, size_t at, uint32_t value)
{
    image[at] = uint8_t(value >> 8);
    image[at + 1] = uint8_t(value);
}

std::vector<uint32_t> ParseResolutions(const CSimOptions& options)
{
    std::string text = options.Text("resolutions", "1200,600,400,300,200,150,100,75,50");
    std::vector<uint32_t> list;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        if (!item.empty() && list.size() < 16)
            list.push_back(uint32_t(std::stoul(item)));
    return list;
}

// A window the device can scan: a resolution of its range, a width and a length, inside the bed.
bool IsScannable(const CTmrWindow& w, bool transparency)
{
    bool inRange = w.xResolution >= kLowestResolution && w.xResolution <= kHighestResolution &&
        w.yResolution >= kLowestResolution && w.yResolution <= kHighestResolution;
    if (!inRange || w.width == 0 || w.length == 0 || (!w.reflective && !transparency))
        return false;
    uint32_t bedWidth = w.reflective ? kReflectiveWidth : kTransparencyWidth;
    uint32_t bedHeight = w.reflective ? kReflectiveHeight : kTransparencyHeight;
    uint64_t right = uint64_t(w.x0 + w.width) * 1000;
    uint64_t bottom = uint64_t(w.y0 + w.length) * 1000;
    return right <= uint64_t(bedWidth) * w.xResolution + 1000 && bottom <= uint64_t(bedHeight) * w.yResolution + 1000;
}

}  // namespace

CTmrDevice::CTmrDevice(const CSimOptions& options)
    : m_transparency(options.Number("transparency", 1) != 0), m_conflicts(int(options.Number("conflict", 0))),
      m_startPolls(int(options.Number("startpolls", 2))), m_paramLength(uint8_t(options.Number("paramlength", 40)))
{
    bool small = options.Text("model", "tmr") == "tmrs";
    std::vector<uint8_t> inquiry = MakeInquiryImage(6, options.Text("vendor", "ZELK"),
        options.Text("product", small ? "TM-R-S" : "TM-R"), options.Text("revision", "1.00"), kInquiryLength);
    for (size_t range : {96u, 100u, 104u, 142u}) {
        PutBe16(inquiry, range, kLowestResolution);
        PutBe16(inquiry, range + 2, kHighestResolution);
    }
    std::vector<uint32_t> list = ParseResolutions(options);
    for (size_t i = 0; i < list.size(); ++i)
        PutBe16(inquiry, 110 + 2 * i, list[i]);
    PutBe16(inquiry, 184, kReflectiveWidth);
    PutBe16(inquiry, 186, kReflectiveHeight);
    PutBe16(inquiry, 192, m_transparency ? kTransparencyWidth : 0);
    PutBe16(inquiry, 194, m_transparency ? kTransparencyHeight : 0);
    for (size_t i = 0; i < 7; ++i)
        PutBe16(inquiry, 196 + 2 * i, kCapabilityWords[i]);
    PutBe16(inquiry, 218, kCapabilityWords[7]);
    PutBe16(inquiry, 238, kBufferKilobytes);
    SetInquiryImage(inquiry);
}

std::unique_ptr<CVirtualTarget> CreateTmrDevice(const CSimOptions& options)
{
    return std::make_unique<CTmrDevice>(options);
}

std::vector<uint8_t> CTmrDevice::Lut(int channel) const
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    return channel >= 0 && channel < 4 ? m_luts[size_t(channel)] : std::vector<uint8_t>();
}

void CTmrDevice::OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    switch (cdb.Opcode()) {
    case kOpReserve:
        OnReserve(reply);
        if (reply.status == kSimGood)
            CVirtualTarget::OnCommand(cdb, io, reply);
        break;
    case kOpRelease:
        m_scanning = false;
        CVirtualTarget::OnCommand(cdb, io, reply);
        break;
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
    default:
        CVirtualTarget::OnCommand(cdb, io, reply);
        break;
    }
}

void CTmrDevice::OnReserve(CSimReply& reply)
{
    ++m_reserves;
    if (m_conflicts > 0) {
        --m_conflicts;
        reply.status = kSimReservationConflict;
    }
}

void CTmrDevice::OnSend10(uint8_t dataType, uint16_t, CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> block = io.TakeOut();
    if (dataType != kDataTypeLut || block.size() != kLutBlockBytes || block[0] > 3 || block[2] != 10 || block[3] != 8) {
        CheckCondition(reply, 5, 0x26, 0);
        return;
    }
    m_luts[block[0]].assign(block.begin() + 6, block.end());
}

void CTmrDevice::OnSetWindow(CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> list = io.TakeOut();
    if (list.size() < 8 + kDescriptorBytes || GetBe16(&list[6]) != kDescriptorBytes) {
        CheckCondition(reply, 5, 0x26, 0);
        return;
    }
    const uint8_t* d = &list[8];
    CTmrWindow w;
    w.id = d[0];
    w.xResolution = GetBe16(d + 2);
    w.yResolution = GetBe16(d + 4);
    w.x0 = GetBe24(d + 7);
    w.y0 = GetBe24(d + 11);
    w.width = GetBe32(d + 14);
    w.length = GetBe24(d + 19);
    w.reflective = d[56] != 0;
    w.descriptor.assign(d, d + kDescriptorBytes);
    if (!IsScannable(w, m_transparency)) {
        CheckCondition(reply, 5, 0x26, 0);
        return;
    }
    m_window = w;
    m_hasWindow = true;
}

void CTmrDevice::OnGetWindow(CSimTransfer& io)
{
    std::vector<uint8_t> list(8 + kDescriptorBytes, 0);
    list[7] = uint8_t(kDescriptorBytes);
    if (m_hasWindow)
        std::copy(m_window.descriptor.begin(), m_window.descriptor.end(), list.begin() + 8);
    // The densities the device measured on the original, 1/10000 D.
    PutBe16(list, 8 + 76, kMeasuredMinimum);
    PutBe16(list, 8 + 78, kMeasuredMaximum);
    io.PutIn(list.data(), list.size());
}

void CTmrDevice::OnScan(CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> windows = io.TakeOut();
    if (!m_hasWindow || windows.size() != 1 || windows[0] != m_window.id) {
        CheckCondition(reply, 5, 0x24, 0);
        return;
    }
    // The host's SCAN after its own start names the running scan: it goes on where it is.
    if (m_scanning) {
        ++m_scan.scans;
        return;
    }
    CTmrScan scan;
    scan.scans = 1;
    scan.pixels = m_window.width;
    scan.lines = m_window.length;
    scan.bytesPerLine = 3 * m_window.width;
    CChartWindow& chart = scan.chart;
    chart.left = double(m_window.x0) / m_window.xResolution;
    chart.top = double(m_window.y0) / m_window.yResolution;
    chart.xResolution = int(m_window.xResolution);
    chart.yResolution = int(m_window.yResolution);
    chart.pixelsPerLine = int(scan.pixels);
    chart.lines = int(scan.lines);
    chart.bitsPerSample = 8;
    chart.channels = 3;
    m_scan = scan;
    m_scanning = true;
    m_statusPolls = 0;
    m_bytesSent = 0;
    m_deviceLines.clear();
}

uint8_t CTmrDevice::Sample(int channel, uint16_t light) const
{
    const std::vector<uint8_t>& table = m_luts[size_t(channel)].empty() ? m_luts[0] : m_luts[size_t(channel)];
    if (table.empty())
        return uint8_t(light >> 8);
    return uint8_t(255 - table[light >> 6]);
}

const std::vector<uint8_t>& CTmrDevice::DeviceLine(uint32_t line)
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
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = Sample(int(i % 3) + 1, uint16_t((light[2 * i] << 8) | light[2 * i + 1]));
    return out;
}

void CTmrDevice::OnBufferStatus(CSimTransfer& io, CSimReply& reply)
{
    if (!m_scanning) {
        CheckCondition(reply, 5, 0x2C, 0);
        return;
    }
    uint64_t total = uint64_t(m_scan.bytesPerLine) * m_scan.lines;
    uint32_t held = uint32_t(std::min<uint64_t>(total - m_bytesSent, 0xFFFFFF));
    uint8_t status[12] = {0, 0, 9};
    status[9] = uint8_t(held >> 16);
    status[10] = uint8_t(held >> 8);
    status[11] = uint8_t(held);
    io.PutIn(status, sizeof status);
}

void CTmrDevice::OnRead10(uint8_t dataType, uint16_t qualifier, CSimTransfer& io, CSimReply& reply)
{
    switch (dataType) {
    case kDataTypeImage:
        ReadImage(io, reply);
        return;
    case kDataTypeParams:
        ReadParamBlock(io, reply);
        return;
    case kDataTypeValue:
        if (qualifier == kStatusValue) {
            bool underWay = m_scanning && ++m_statusPolls > m_startPolls;
            uint8_t value[4] = {0, 0, 0, uint8_t(underWay ? 0x90 : 0x00)};
            io.PutIn(value, sizeof value);
            return;
        }
        break;
    default:
        break;
    }
    CheckCondition(reply, 5, 0x24, 0);
}

void CTmrDevice::ReadParamBlock(CSimTransfer& io, CSimReply& reply)
{
    if (!m_scanning) {
        CheckCondition(reply, 5, 0x2C, 0);
        return;
    }
    std::vector<uint8_t> block(kParamBlockBytes, 0);
    block[1] = m_paramLength;
    PutBe16(block, 8, m_scan.pixels);
    PutBe16(block, 10, m_scan.lines);
    PutBe16(block, 12, m_scan.bytesPerLine);
    PutBe16(block, 14, 1);
    block[36] = 1;
    block[37] = 1;
    PutBe16(block, 38, 1);
    // The two bytes that give the length always come.
    io.PutIn(block.data(), std::min<size_t>(block.size(), std::max<size_t>(2, m_paramLength)));
}

void CTmrDevice::ReadImage(CSimTransfer& io, CSimReply& reply)
{
    uint64_t total = uint64_t(m_scan.bytesPerLine) * m_scan.lines;
    if (!m_scanning || m_bytesSent >= total) {
        CheckCondition(reply, 5, 0x2C, 0);
        return;
    }
    uint32_t count = uint32_t(std::min<uint64_t>(io.Length(), total - m_bytesSent));
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
