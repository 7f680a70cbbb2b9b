#include "sim/TelmariDevice.h"

#include "core/util/ByteOrder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr uint8_t kOpReserve = 0x16;
constexpr uint8_t kOpRelease = 0x17;
constexpr uint8_t kOpScan = 0x1B;
constexpr uint8_t kOpSetWindow = 0x24;
constexpr uint8_t kOpGetWindow = 0x25;
constexpr uint8_t kOpRead10 = 0x28;
constexpr uint8_t kOpBufferStatus = 0x34;
constexpr uint8_t kDataTypeImage = 0;
constexpr uint8_t kDataTypeInformation = 0x81;
constexpr uint8_t kDataTypeCapabilities = 0x90;
constexpr uint8_t kDataTypeValue = 0xA2;
constexpr uint8_t kDataTypeLut = 0xB0;
constexpr size_t kDescriptorBytes = 110;
constexpr size_t kLutBytes = 1028;
constexpr uint8_t kNextPass = 0x80;
constexpr uint16_t kValueState = 10002;
constexpr int kStalledPolls = 7;
constexpr uint32_t kMinResolution = 50;
constexpr uint32_t kMaxResolution = 2400;
// Beds in 1/1000 inch; the transparency bed by its right and bottom edges.
constexpr uint32_t kReflectiveWidth = 8500;
constexpr uint32_t kReflectiveLength = 11700;
constexpr uint32_t kTransparencyRight = 8000;
constexpr uint32_t kTransparencyBottom = 10000;
// The densities the device settles on under automatic exposure, 1/10000 D.
constexpr uint16_t kChosenMinimum = 1200;
constexpr uint16_t kChosenMaximum = 24500;
constexpr double kFilmGamma = 1.5;

void Put16(uint8_t* at, uint32_t value)
{
    at[0] = uint8_t(value >> 8);
    at[1] = uint8_t(value);
}

bool IsFilmValue(uint16_t id) { return (id >= 31 && id <= 33) || (id >= 41 && id <= 43); }

CTelmariWindow ParseDescriptor(const uint8_t* d)
{
    CTelmariWindow w;
    w.xResolution = GetBe16(d + 2);
    w.yResolution = GetBe16(d + 4);
    w.left = GetBe32(d + 6);
    w.top = GetBe32(d + 10);
    w.width = GetBe16(d + 16);
    w.length = GetBe16(d + 20);
    w.threshold = d[23];
    w.composition = d[25];
    w.bits = d[26];
    w.exposure = d[75];
    w.film = d[56] == 0;
    w.descriptor.assign(d, d + kDescriptorBytes);
    return w;
}

bool ValidFormat(const CTelmariWindow& w)
{
    if (w.composition == 0)
        return w.bits == 1;
    return (w.composition == 2 || w.composition == 5) && (w.bits == 8 || w.bits == 12 || w.bits == 14 || w.bits == 16);
}

}  // namespace

CTelmariDevice::CTelmariDevice(const CSimOptions& options)
    : m_plus(options.Text("model", "telmari") == "plus"), m_ultra(options.Text("model", "telmari") == "ultra"),
      m_transparencyUnit(options.Number("transparency", 1) != 0), m_negatives(options.Number("negatives", 1) != 0),
      m_stall(uint32_t(options.Number("stall", 0))), m_statePolls(int(options.Number("statepolls", 3)))
{
    const char* revision = m_ultra ? "2.60" : m_plus ? "2.40" : "1.00";
    std::vector<uint8_t> inquiry = MakeInquiryImage(6, options.Text("vendor", "ZELK"),
        options.Text("product", m_plus || m_ultra ? "TELMARI PLUS" : "TELMARI"), options.Text("revision", revision),
        240);
    const int kRanges[4] = {96, 100, 104, 142};
    for (int offset : kRanges) {
        Put16(&inquiry[size_t(offset)], kMinResolution);
        Put16(&inquiry[size_t(offset) + 2], kMaxResolution);
    }
    Put16(&inquiry[184], kReflectiveWidth);
    Put16(&inquiry[186], kReflectiveLength);
    if (m_transparencyUnit) {
        Put16(&inquiry[192], kTransparencyRight);
        Put16(&inquiry[194], kTransparencyBottom);
    }
    const uint16_t kCapabilityWords[8] = {2400, 2400, 8, 8, 3, 3, 0, 2400};
    for (int i = 0; i < 7; ++i)
        Put16(&inquiry[size_t(196 + 2 * i)], kCapabilityWords[i]);
    Put16(&inquiry[218], kCapabilityWords[7]);
    Put16(&inquiry[238], 1024);
    SetInquiryImage(inquiry);
    for (int v = 0; v < 256; ++v)
        m_filmGamma[size_t(v)] = uint8_t(std::lround(255.0 * std::pow(v / 255.0, 1.0 / kFilmGamma)));
}

std::unique_ptr<CVirtualTarget> CreateTelmariDevice(const CSimOptions& options)
{
    return std::make_unique<CTelmariDevice>(options);
}

std::vector<uint8_t> CTelmariDevice::TableSamples(int channel) const
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    return channel >= 1 && channel <= 3 ? m_tables[size_t(channel)] : std::vector<uint8_t>();
}

int64_t CTelmariDevice::Value(uint16_t id) const
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    auto found = m_values.find(id);
    return found == m_values.end() ? -1 : int64_t(found->second);
}

uint8_t CTelmariDevice::Sample(int channel, uint8_t light, bool film) const
{
    const std::vector<uint8_t>& table = m_tables[size_t(channel)];
    uint8_t value = table.empty() ? light : table[light];
    return film ? m_filmGamma[value] : value;
}

void CTelmariDevice::OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
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
        OnScan(cdb, io, reply);
        break;
    case kOpBufferStatus:
        OnBufferStatus(io, reply);
        break;
    case kOpRead10:
        // Image reads count lines in the CDB, not bytes.
        if (cdb.Byte(2) == kDataTypeImage)
            OnReadImage(cdb.Be24(6), io, reply);
        else
            CVirtualTarget::OnCommand(cdb, io, reply);
        break;
    case kOpReserve:
    case kOpRelease:
        m_scanning = false;
        CVirtualTarget::OnCommand(cdb, io, reply);
        break;
    default:
        CVirtualTarget::OnCommand(cdb, io, reply);
        break;
    }
}

void CTelmariDevice::OnSend10(uint8_t dataType, uint16_t qualifier, CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> block = io.TakeOut();
    if (dataType == kDataTypeValue) {
        bool refused = block.size() != 4 || (IsFilmValue(qualifier) && !m_negatives);
        if (refused)
            CheckCondition(reply, 5, 0x26, 0);
        else
            m_values[qualifier] = GetBe32(block.data());
        return;
    }
    bool valid = dataType == kDataTypeLut && block.size() == kLutBytes && block[0] >= 1 && block[0] <= 3 &&
        block[1] == 0 && block[2] == 1 && block[3] == 0;
    std::vector<uint8_t> samples(256);
    for (size_t j = 0; valid && j < 256; ++j) {
        uint32_t input = GetBe16(&block[4 + 4 * j]);
        uint32_t output = GetBe16(&block[6 + 4 * j]);
        valid = input % 257 == 0;
        // The device works on ink: entry (255 - light) x 257 gives 255 - sample, x 256.
        samples[255 - input / 257] = uint8_t(255 - (output >> 8));
    }
    if (!valid) {
        CheckCondition(reply, 5, 0x26, 0);
        return;
    }
    m_tables[block[0]] = samples;
}

void CTelmariDevice::OnRead10(uint8_t dataType, uint16_t qualifier, CSimTransfer& io, CSimReply& reply)
{
    switch (dataType) {
    case kDataTypeInformation:
        PutInformation(io, reply);
        return;
    case kDataTypeCapabilities:
        if (m_plus || m_ultra) {
            PutCapabilities(io);
            return;
        }
        break;
    case kDataTypeValue:
        if (qualifier == kValueState) {
            PutState(io);
            return;
        }
        if (m_values.count(qualifier) != 0) {
            uint8_t bytes[4];
            Put16(bytes, m_values[qualifier] >> 16);
            Put16(bytes + 2, m_values[qualifier]);
            io.PutIn(bytes, 4);
            return;
        }
        break;
    default:
        break;
    }
    CheckCondition(reply, 5, 0x24, 0);
}

uint32_t CTelmariDevice::BytesPerLine(const CTelmariWindow& w) const
{
    if (w.composition == 0)
        return (w.width + 7) / 8;
    return w.width * (w.bits > 8 ? 2 : 1);
}

void CTelmariDevice::OnSetWindow(CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> list = io.TakeOut();
    if (list.size() != 8 + kDescriptorBytes || GetBe16(&list[6]) != kDescriptorBytes) {
        CheckCondition(reply, 5, 0x26, 0);
        return;
    }
    CTelmariWindow w = ParseDescriptor(&list[8]);
    uint32_t right = w.film ? kTransparencyRight : kReflectiveWidth;
    uint32_t bottom = w.film ? kTransparencyBottom : kReflectiveLength;
    auto inRange = [](uint32_t r) { return r >= kMinResolution && r <= kMaxResolution; };
    bool valid = inRange(w.xResolution) && inRange(w.yResolution) && w.width != 0 && w.length != 0 &&
        w.left + w.width <= right * w.xResolution / 1000 && w.top + w.length <= bottom * w.yResolution / 1000 &&
        (!w.film || m_transparencyUnit) && ValidFormat(w);
    if (!valid) {
        CheckCondition(reply, 5, 0x26, 0);
        return;
    }
    m_windows.assign(1, w);
}

void CTelmariDevice::OnGetWindow(CSimTransfer& io, CSimReply& reply)
{
    if (m_windows.empty()) {
        CheckCondition(reply, 5, 0x2C, 0);
        return;
    }
    const CTelmariWindow& w = m_windows.back();
    std::vector<uint8_t> list(8 + kDescriptorBytes, 0);
    Put16(&list[6], kDescriptorBytes);
    uint8_t* d = &list[8];
    // Geometry and format, and the bytes it keeps: threshold, holder, exposure and densities.
    std::memcpy(d, w.descriptor.data(), 27);
    d[23] = w.descriptor[23];
    std::memcpy(d + 60, w.descriptor.data() + 60, 2);
    std::memcpy(d + 75, w.descriptor.data() + 75, 9);
    if (w.exposure & 0x14) {
        Put16(d + 76, kChosenMinimum);
        Put16(d + 78, kChosenMaximum);
    }
    io.PutIn(list.data(), list.size());
}

void CTelmariDevice::PutInformation(CSimTransfer& io, CSimReply& reply)
{
    if (m_windows.empty()) {
        CheckCondition(reply, 5, 0x2C, 0);
        return;
    }
    const CTelmariWindow& w = m_windows.back();
    const uint8_t* d = w.descriptor.data();
    uint8_t block[40] = {};
    Put16(block + 8, w.width);
    Put16(block + 10, w.length);
    Put16(block + 12, BytesPerLine(w));
    Put16(block + 30, GetBe16(d + 58));
    block[36] = d[67];
    block[37] = d[68];
    Put16(block + 38, d[69]);
    io.PutIn(block, sizeof block);
}

void CTelmariDevice::PutCapabilities(CSimTransfer& io)
{
    uint8_t block[146] = {};
    // Line art, grey and colour maxima, X then Y; the ULTRA's colour stops at 1800 lines per inch.
    Put16(block + 4, 2400);
    Put16(block + 12, 2400);
    Put16(block + 28, 2400);
    Put16(block + 36, 2400);
    Put16(block + 64, 2400);
    Put16(block + 72, m_ultra ? 1800 : 2400);
    io.PutIn(block, sizeof block);
}

void CTelmariDevice::PutState(CSimTransfer& io)
{
    uint32_t state = m_busyPolls > 0 ? 0xC0 : 0;
    if (m_busyPolls > 0)
        --m_busyPolls;
    uint8_t bytes[4] = {0, 0, 0, uint8_t(state)};
    io.PutIn(bytes, 4);
}

uint64_t CTelmariDevice::PassBytes() const { return uint64_t(m_scan.bytesPerLine) * m_scan.lines; }

void CTelmariDevice::OnScan(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> list = io.TakeOut();
    if (list.size() != 1 || list[0] != 0 || m_windows.empty()) {
        CheckCondition(reply, 5, 0x2C, 0);
        return;
    }
    if (cdb.Byte(5) != kNextPass) {
        StartScan(reply);
        return;
    }
    bool passDone = m_scanning && m_bytesSent == PassBytes();
    if (!passDone || m_scan.mode != 5 || m_pass >= 2) {
        CheckCondition(reply, 5, 0x2C, 0);
        return;
    }
    if (m_busyPolls > 0) {
        --m_busyPolls;
        reply.status = kSimBusy;
        return;
    }
    ++m_pass;
    ++m_scan.passes;
    m_bytesSent = 0;
}

void CTelmariDevice::StartScan(CSimReply& reply)
{
    const CTelmariWindow& w = m_windows.back();
    if (!ValidFormat(w)) {
        CheckCondition(reply, 5, 0x26, 0);
        return;
    }
    CTelmariScan scan;
    scan.mode = w.composition;
    scan.passes = 1;
    scan.pixels = w.width;
    scan.lines = w.length;
    scan.bytesPerLine = BytesPerLine(w);
    scan.lightThreshold = m_plus ? w.threshold : uint8_t(255 - w.threshold);
    CChartWindow& chart = scan.chart;
    chart.left = double(w.left) / w.xResolution;
    chart.top = double(w.top) / w.yResolution;
    chart.xResolution = int(w.xResolution);
    chart.yResolution = int(w.yResolution);
    chart.pixelsPerLine = int(w.width);
    chart.lines = int(w.length);
    chart.bitsPerSample = 8;
    chart.channels = w.composition == 5 ? 3 : 1;
    m_scan = scan;
    m_scanning = true;
    m_pass = 0;
    m_bytesSent = 0;
    m_stallPolls = 0;
    m_busyPolls = 0;
    m_deviceLines.clear();
}

void CTelmariDevice::OnBufferStatus(CSimTransfer& io, CSimReply& reply)
{
    if (!m_scanning) {
        CheckCondition(reply, 5, 0x2C, 0);
        return;
    }
    // The count has three bytes: a page that holds more says "at least this much".
    uint32_t held = uint32_t(std::min<uint64_t>(PassBytes() - m_bytesSent, 0xFFFFFF));
    if (m_stall != 0 && m_stallPolls < kStalledPolls) {
        ++m_stallPolls;
        held = std::min(held, m_stall);
    }
    uint8_t status[12] = {0, 0, 9};
    status[9] = uint8_t(held >> 16);
    status[10] = uint8_t(held >> 8);
    status[11] = uint8_t(held);
    io.PutIn(status, sizeof status);
}

const std::vector<uint8_t>& CTelmariDevice::DeviceLine(uint32_t line)
{
    CChartWindow fine = m_scan.chart;
    fine.bitsPerSample = 16;
    fine.bigEndian16 = true;
    std::vector<uint8_t>& out = m_deviceLines[CTestChart::LineKind(fine, int(line)) * 4 + m_pass];
    if (!out.empty())
        return out;
    const CTelmariWindow& w = m_windows.back();
    std::vector<uint8_t> light(CTestChart::BytesPerLine(fine));
    CTestChart::RenderLine(fine, int(line), light.data());
    out.assign(m_scan.bytesPerLine, 0);
    bool colour = fine.channels == 3;
    int table = colour ? m_pass + 1 : 2;
    for (uint32_t x = 0; x < m_scan.pixels; ++x) {
        size_t at = 2 * (size_t(x) * size_t(fine.channels) + size_t(colour ? m_pass : 0));
        uint16_t value = uint16_t((light[at] << 8) | light[at + 1]);
        if (m_scan.mode == 0) {
            if ((value >> 8) < m_scan.lightThreshold)
                out[x / 8] |= uint8_t(0x80 >> (x % 8));
        } else if (w.bits > 8) {
            Put16(&out[2 * size_t(x)], uint32_t(value) >> (16 - w.bits));
        } else {
            out[x] = Sample(table, uint8_t(value >> 8), w.film);
        }
    }
    return out;
}

void CTelmariDevice::OnReadImage(uint32_t lines, CSimTransfer& io, CSimReply& reply)
{
    uint64_t bytes = uint64_t(lines) * m_scan.bytesPerLine;
    if (!m_scanning || lines == 0 || bytes != io.Length() || m_bytesSent + bytes > PassBytes()) {
        CheckCondition(reply, 5, m_scanning ? 0x24 : 0x2C, 0);
        return;
    }
    std::vector<uint8_t> data(bytes);
    uint32_t first = uint32_t(m_bytesSent / m_scan.bytesPerLine);
    for (uint32_t i = 0; i < lines; ++i)
        std::memcpy(&data[size_t(i) * m_scan.bytesPerLine], DeviceLine(first + i).data(), m_scan.bytesPerLine);
    m_bytesSent += bytes;
    io.PutIn(data.data(), data.size());
    if (m_bytesSent < PassBytes())
        return;
    if (m_scan.mode == 5 && m_pass < 2)
        m_busyPolls = m_statePolls;
    else
        m_scanning = false;
}
