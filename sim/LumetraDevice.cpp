#include "sim/LumetraDevice.h"

#include "core/util/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace {

constexpr uint8_t kOpSetWindow = 0x24;
constexpr uint8_t kOpGetWindow = 0x25;
constexpr uint8_t kOpScan = 0x1B;
constexpr uint8_t kOpRelease = 0x17;
constexpr uint8_t kOpRead = 0x28;
constexpr uint8_t kOpBufferStatus = 0x34;
constexpr uint8_t kDataTypeLut = 0x93;
constexpr size_t kInquiryBytes = 242;
constexpr size_t kDescriptorBytes = 60;
constexpr size_t kGetWindowBytes = 68;
constexpr size_t kLutEntries = 4096;
constexpr uint32_t kMinimumResolution = 100;
constexpr uint32_t kBufferKilobytes = 1024;
constexpr uint32_t kMostListed = 16;

// Red, green and blue lines of a pair of pixel lines as {line of the pair, colour}: each colour
// keeps its own lines in order, the colours interleave differently from pair to pair.
constexpr int kPatterns[3][6][2] = {
    {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}},
    {{0, 1}, {0, 0}, {1, 1}, {0, 2}, {1, 2}, {1, 0}},
    {{0, 2}, {0, 0}, {1, 2}, {0, 1}, {1, 0}, {1, 1}},
};
constexpr char kLetters[3] = {'R', 'G', 'B'};

std::vector<uint32_t> ParseResolutions(const std::string& text)
{
    std::vector<uint32_t> list;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        if (!item.empty())
            list.push_back(uint32_t(std::stoul(item)));
    return list;
}

void PutList(uint8_t* at, const std::vector<uint32_t>& list)
{
    uint32_t n = std::min<uint32_t>(uint32_t(list.size()), kMostListed);
    PutBe16(at, n);
    for (uint32_t i = 0; i < n; ++i)
        PutBe16(at + 2 + 2 * i, list[i]);
}

uint32_t SensorPixels(uint32_t pixels, uint32_t resolution)
{
    return pixels * resolution / CLumetraDevice::kMaximumResolution;
}

}  // namespace

CLumetraDevice::CLumetraDevice(const CSimOptions& options)
    : m_resolutions(ParseResolutions(options.Text("resolutions", "1200,600,300,150"))),
      m_badLetter(options.Number("badletter", -1))
{
    bool ocellus = options.Text("model", "lumetra") == "ocellus";
    std::vector<uint8_t> inquiry = MakeInquiryImage(6, options.Text("vendor", "ZELK"),
        options.Text("product", ocellus ? "Ocellus Camera" : "LUMETRA"), options.Text("revision", "1.00"),
        kInquiryBytes);
    inquiry[4] = uint8_t(kInquiryBytes - 5);
    uint8_t* d = inquiry.data();
    for (uint32_t offset : {104u, 142u}) {
        PutBe16(d + offset, kMinimumResolution);
        PutBe16(d + offset + 2, kMaximumResolution);
    }
    PutList(d + 108, m_resolutions);
    PutList(d + 146, m_resolutions);
    const uint16_t capabilities[6] = {2056, 2056, 10, 10, 2, 2};
    for (int i = 0; i < 6; ++i)
        PutBe16(d + 196 + 2 * i, capabilities[i]);
    PutBe16(d + 220, kSensorWidth);
    PutBe16(d + 222, kSensorHeight);
    PutBe16(d + 238, kBufferKilobytes);
    SetInquiryImage(inquiry);
}

std::unique_ptr<CVirtualTarget> CreateLumetraDevice(const CSimOptions& options)
{
    return std::make_unique<CLumetraDevice>(options);
}

std::vector<uint16_t> CLumetraDevice::Lut(int channel) const
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    return channel >= 0 && channel < 4 ? m_luts[size_t(channel)] : std::vector<uint16_t>();
}

void CLumetraDevice::OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    switch (cdb.Opcode()) {
    case kOpSetWindow:
        OnSetWindow(io, reply);
        break;
    case kOpGetWindow:
        OnGetWindow(io, reply);
        break;
    case kOpScan:
        OnScan(reply);
        break;
    case kOpBufferStatus:
        OnBufferStatus(io, reply);
        break;
    case kOpRead:
        OnRead(cdb, io, reply);
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

void CLumetraDevice::OnSend10(uint8_t dataType, uint16_t, CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> block = io.TakeOut();
    bool wide = block.size() >= 4 && block[3] > 8;
    size_t expected = 4 + kLutEntries * (wide ? 2 : 1);
    if (dataType != kDataTypeLut || block.size() != expected || block[0] < 1 || block[0] > 3 || block[2] != 12) {
        CheckCondition(reply, 5, 0x26, 0);
        return;
    }
    std::vector<uint16_t>& table = m_luts[block[0]];
    table.resize(kLutEntries);
    for (size_t i = 0; i < kLutEntries; ++i)
        table[i] = wide ? uint16_t(GetBe16(&block[4 + 2 * i])) : block[4 + i];
}

void CLumetraDevice::OnSetWindow(CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> list = io.TakeOut();
    if (list.size() < 8 + kDescriptorBytes || GetBe16(&list[6]) != kDescriptorBytes) {
        CheckCondition(reply, 5, 0x26, 0);
        return;
    }
    const uint8_t* d = &list[8];
    CLumetraWindow w;
    w.resolution = GetBe16(d + 2) == GetBe16(d + 4) ? GetBe16(d + 2) : 0;
    w.x0 = GetBe24(d + 7);
    w.y0 = GetBe24(d + 11);
    w.width = GetBe24(d + 15);
    w.length = GetBe24(d + 19);
    w.composition = d[25];
    w.bits = d[26];
    w.speed = d[40];
    w.code = d[41];
    bool listed = std::find(m_resolutions.begin(), m_resolutions.end(), w.resolution) != m_resolutions.end();
    bool valid = listed && (w.composition == 2 || w.composition == 5) && (w.bits == 8 || w.bits == 12) &&
        w.width != 0 && w.length != 0 && w.x0 + w.width <= SensorPixels(kSensorWidth, w.resolution) &&
        w.y0 + w.length <= SensorPixels(kSensorHeight, w.resolution);
    if (!valid) {
        CheckCondition(reply, 5, 0x26, 0);
        return;
    }
    m_window = w;
    m_windowSet = true;
}

void CLumetraDevice::OnScan(CSimReply& reply)
{
    if (!m_windowSet) {
        CheckCondition(reply, 5, 0x2C, 0);
        return;
    }
    const CLumetraWindow& w = m_window;
    CLumetraScan scan;
    scan.colour = w.composition == 5;
    scan.bits = w.bits;
    scan.pixels = w.width;
    scan.lines = w.length;
    bool wide = w.bits > 8;
    uint32_t sampleBytes = wide ? 2 : 1;
    uint32_t tag = scan.colour ? 2 : 0;
    scan.lineBytes = scan.pixels * sampleBytes + tag;
    scan.lineSize = scan.lineBytes / sampleBytes;
    CChartWindow& chart = scan.chart;
    // The window counts from the far edges; the picture comes upright.
    chart.left = double(SensorPixels(kSensorWidth, w.resolution) - w.x0 - w.width) / w.resolution;
    chart.top = double(SensorPixels(kSensorHeight, w.resolution) - w.y0 - w.length) / w.resolution;
    chart.xResolution = chart.yResolution = int(w.resolution);
    chart.pixelsPerLine = int(scan.pixels);
    chart.lines = int(scan.lines);
    chart.bitsPerSample = 8;
    chart.channels = scan.colour ? 3 : 1;
    m_scan = scan;
    m_scanning = true;
    m_linesSent = 0;
    m_letters.clear();
    m_light.clear();
}

void CLumetraDevice::OnGetWindow(CSimTransfer& io, CSimReply& reply)
{
    if (!m_windowSet) {
        CheckCondition(reply, 5, 0x2C, 0);
        return;
    }
    const CLumetraWindow& w = m_window;
    bool colour = w.composition == 5;
    bool wide = w.bits > 8;
    uint8_t data[kGetWindowBytes] = {};
    PutBe16(data + 6, kDescriptorBytes);
    PutBe32(data + 22, w.width);
    PutBe32(data + 26, w.length);
    data[34] = w.bits;
    PutBe16(data + 66, colour ? w.width + (wide ? 1 : 2) : w.width);
    io.PutIn(data, sizeof data);
}

void CLumetraDevice::OnBufferStatus(CSimTransfer& io, CSimReply& reply)
{
    if (!m_scanning) {
        CheckCondition(reply, 5, 0x2C, 0);
        return;
    }
    uint64_t held = uint64_t(DeviceLines() - m_linesSent) * m_scan.lineBytes;
    uint32_t count = uint32_t(std::min<uint64_t>(held, 0xFFFFFF));
    uint8_t status[12] = {0, 0, 9};
    status[9] = uint8_t(count >> 16);
    status[10] = uint8_t(count >> 8);
    status[11] = uint8_t(count);
    io.PutIn(status, sizeof status);
}

void CLumetraDevice::Schedule(uint32_t index, uint32_t& line, int& colour) const
{
    if (!m_scan.colour) {
        line = index;
        colour = 0;
        return;
    }
    uint32_t pairs = m_scan.lines / 2;
    uint32_t pair = index / 6;
    uint32_t j = index % 6;
    const int(*pattern)[2] = kPatterns[pair % 3];
    if (pair >= pairs) {
        // The last pixel line alone: the pattern's entries of its first line.
        uint32_t seen = 0;
        for (int e = 0; e < 6; ++e) {
            if (pattern[e][0] != 0)
                continue;
            if (seen++ == j) {
                line = 2 * pair;
                colour = pattern[e][1];
                return;
            }
        }
    }
    line = 2 * pair + uint32_t(pattern[j][0]);
    colour = pattern[j][1];
}

const std::vector<uint16_t>& CLumetraDevice::Light(uint32_t line)
{
    CChartWindow fine = m_scan.chart;
    fine.bitsPerSample = 16;
    fine.bigEndian16 = true;
    std::vector<uint16_t>& light = m_light[CTestChart::LineKind(fine, int(line))];
    if (!light.empty())
        return light;
    std::vector<uint8_t> bytes(CTestChart::BytesPerLine(fine));
    CTestChart::RenderLine(fine, int(line), bytes.data());
    light.resize(bytes.size() / 2);
    for (size_t i = 0; i < light.size(); ++i)
        light[i] = uint16_t((bytes[2 * i] << 8) | bytes[2 * i + 1]);
    return light;
}

uint32_t CLumetraDevice::Sample(int channel, uint16_t light) const
{
    const std::vector<uint16_t>& table = m_luts[size_t(channel)];
    if (table.empty())
        return m_scan.bits > 8 ? light >> 4 : light >> 8;
    return table[light >> 4];
}

void CLumetraDevice::RenderDeviceLine(uint32_t index, uint8_t* out)
{
    uint32_t line = 0;
    int colour = 0;
    Schedule(index, line, colour);
    const std::vector<uint16_t>& light = Light(line);
    bool wide = m_scan.bits > 8;
    uint8_t* samples = out;
    if (m_scan.colour) {
        char letter = long(index) == m_badLetter ? 'X' : kLetters[colour];
        m_letters.push_back(letter);
        out[0] = wide ? uint8_t(letter) : 0;
        out[1] = wide ? 0 : uint8_t(letter);
        samples = out + 2;
    }
    uint32_t channels = m_scan.colour ? 3 : 1;
    // Grey takes the table the host sends for it under the green channel byte.
    int table = m_scan.colour ? colour + 1 : 2;
    for (uint32_t p = 0; p < m_scan.pixels; ++p) {
        uint32_t v = Sample(table, light[size_t(p) * channels + uint32_t(m_scan.colour ? colour : 0)]);
        if (wide) {
            samples[2 * p] = uint8_t(v);
            samples[2 * p + 1] = uint8_t(v >> 8);
        } else {
            samples[p] = uint8_t(v);
        }
    }
}

void CLumetraDevice::OnRead(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    uint32_t lineSize = cdb.Be16(6);
    uint32_t count = cdb.Byte(8);
    if (cdb.Byte(2) != 0 || !m_scanning || lineSize != m_scan.lineSize) {
        CheckCondition(reply, 5, 0x24, 0);
        return;
    }
    count = std::min(count, DeviceLines() - m_linesSent);
    std::vector<uint8_t> data(size_t(count) * m_scan.lineBytes);
    for (uint32_t i = 0; i < count; ++i)
        RenderDeviceLine(m_linesSent + i, data.data() + size_t(i) * m_scan.lineBytes);
    m_linesSent += count;
    io.PutIn(data.data(), data.size());
}
