#include "sim/FennikDevice.h"

#include "core/util/ByteOrder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kInquiryLength = 96;
constexpr int kOpticalResolution = 600;
constexpr int kTiming = 24;

constexpr uint8_t kFlagFeederSheet = 0x10;
constexpr uint8_t kFlagTransparency = 0x08;

constexpr uint8_t kDataImage = 0;
constexpr uint8_t kDataTable = 3;
constexpr uint8_t kDataPrepare = 0x80;
constexpr uint8_t kDataSpeed = 0x81;
constexpr uint8_t kDataShading = 0x82;

// The calibration strip's level for a gain of 1; the sensor reads full white as this much.
constexpr double kStripLevel = 200.0;
constexpr uint8_t kHighOutlier = 255;
constexpr uint8_t kLowOutlier = 20;

struct CModelName {
    const char* model;
    const char* vendor;
    const char* product;
};

const CModelName kModels[] = {
    {"fennik", "ZELK", "FENNIK"},
    {"kestscana4", "KESTRIAN", "KESTSCAN_A4____1"},
    {"kestscanlgl", "KESTRIAN", "KESTSCAN_LGL___1"},
};

const CModelName& ModelNamed(const std::string& model)
{
    for (const CModelName& entry : kModels) {
        if (model == entry.model)
            return entry;
    }
    return kModels[0];
}

int Planes(int composition) { return composition == 5 ? 3 : 1; }

}  // namespace

CFennikDevice::CFennikDevice(const CSimOptions& options)
    : m_vendor(options.Text("vendor", ModelNamed(options.Text("model", "fennik")).vendor)),
      m_product(options.Text("product", ModelNamed(options.Text("model", "fennik")).product)),
      m_transparencyUnit(options.Number("transparency", 0) != 0),
      m_feederSheets(int(options.Number("feeder", -1))),
      m_speedFlag(options.Number("speed", 1) != 0),
      m_averageFlag(options.Number("average", 0) != 0),
      m_hostCalibration(options.Number("hostcal", 1) != 0),
      m_lineTime{5, 0},
      m_nonuniform(double(options.Number("nonuniform", 0)) / 100.0),
      m_jamSheet(int(options.Number("jam", -1)))
{
    unsigned whole = 0;
    unsigned tenths = 0;
    if (std::sscanf(options.Text("linetime", "5.0").c_str(), "%u.%u", &whole, &tenths) >= 1) {
        m_lineTime[0] = uint8_t(whole);
        m_lineTime[1] = uint8_t(tenths);
    }
    UpdateInquiry();
}

std::unique_ptr<CVirtualTarget> CreateFennikDevice(const CSimOptions& options)
{
    return std::make_unique<CFennikDevice>(options);
}

std::vector<uint8_t> CFennikDevice::Lut(int channel) const
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    return channel >= 0 && channel < 4 ? m_luts[channel] : std::vector<uint8_t>();
}

// A triangle over 40 columns (under 5 mm): both ends of the range in every stretch of 5 mm, and
// each plane's sensor shifted against the others.
double CFennikDevice::Gain(int plane, int column) const
{
    int k = (column + 13 * plane) % 40;
    double wave = k < 20 ? -1.0 + k / 10.0 : 1.0 - (k - 20) / 10.0;
    return 1.0 + m_nonuniform * wave;
}

void CFennikDevice::UpdateInquiry()
{
    std::vector<uint8_t> image = MakeInquiryImage(6, m_vendor, m_product, "1.00", kInquiryLength);
    image[36] = 'A';
    uint8_t flags = 0;
    if (m_feederSheets > 0 && !m_jammed)
        flags |= 0x40;
    if (m_transparencyUnit)
        flags |= 0x20;
    if (m_speedFlag)
        flags |= 0x10;
    if (m_averageFlag)
        flags |= 0x02;
    if (m_hostCalibration)
        flags |= 0x01;
    image[37] = flags;
    if (m_windowDefined) {
        PutBe16(&image[42], uint32_t(m_scan.pixels));
        PutBe16(&image[44], uint32_t(m_scan.bytesPerLine));
        PutBe16(&image[46], uint32_t(m_scan.lines));
    }
    PutBe16(&image[48], kOpticalResolution);
    image[51] = kTiming;
    image[52] = m_lineTime[0];
    image[53] = m_lineTime[1];
    m_inquiryImage = std::move(image);
}

void CFennikDevice::OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    switch (cdb.Opcode()) {
    case 0x00:
        if (m_feeding > 0) {
            --m_feeding;
            CheckCondition(reply, 2, 0x04, 0x01);
            return;
        }
        CVirtualTarget::OnCommand(cdb, io, reply);
        break;
    case 0x12:
        UpdateInquiry();
        io.PutIn(m_inquiryImage.data(), std::min<size_t>(cdb.Byte(4), m_inquiryImage.size()));
        break;
    case 0x1B: OnScan(reply); break;
    case 0x24: OnSetWindow(io, reply); break;
    case 0x28: OnRead(cdb, io, reply); break;
    case 0x2A: OnSend(cdb, io, reply); break;
    default: CVirtualTarget::OnCommand(cdb, io, reply); break;
    }
}

bool CFennikDevice::FeederRefuses(CSimReply& reply)
{
    if (m_jammed) {
        CheckCondition(reply, 2, 0x3B, 0x05);
        return true;
    }
    if (m_feederSheets <= 0) {
        CheckCondition(reply, 2, 0x00, 0x05);
        return true;
    }
    return false;
}

bool CFennikDevice::WindowFits(const CFennikScan& scan) const
{
    bool transparency = (scan.flags & kFlagTransparency) != 0;
    bool feeder = (scan.flags & kFlagFeederSheet) != 0;
    int widthLimit = transparency ? 2374 : 2550;
    int lengthLimit = transparency ? 2976 : feeder ? 4192 : 3507;
    auto resolutionFits = [](int r) { return r >= 20 && r <= 2 * kOpticalResolution; };
    return resolutionFits(scan.xResolution) && resolutionFits(scan.yResolution) && scan.width > 0 &&
           scan.length > 0 && scan.left + scan.width <= widthLimit && scan.top + scan.length <= lengthLimit &&
           (scan.composition == 0 || scan.composition == 2 || scan.composition == 5) &&
           (!transparency || m_transparencyUnit);
}

void CFennikDevice::OnSetWindow(CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> list = io.TakeOut();
    if (list.size() < 8 + 46 || GetBe16(&list[6]) < 46) {
        CheckCondition(reply, 5, 0x26, 0);
        return;
    }
    const uint8_t* d = &list[8];
    CFennikScan scan;
    scan.xResolution = int(GetBe16(d + 2));
    scan.yResolution = int(GetBe16(d + 4));
    scan.left = int(GetBe32(d + 6));
    scan.top = int(GetBe32(d + 10));
    scan.width = int(GetBe32(d + 14));
    scan.length = int(GetBe32(d + 18));
    scan.threshold = d[23];
    scan.composition = d[25];
    scan.flags = d[42];
    bool bitsFit = scan.composition == 0 ? d[26] == 1 : d[26] == 8;
    if (!bitsFit || !WindowFits(scan)) {
        CheckCondition(reply, 5, 0x26, 0);
        return;
    }
    if ((scan.flags & kFlagFeederSheet) && FeederRefuses(reply))
        return;
    scan.pixels = scan.width * scan.xResolution / 300;
    scan.lines = scan.length * scan.yResolution / 300;
    scan.bytesPerLine = scan.composition == 0 ? (scan.pixels + 7) / 8 : scan.pixels * Planes(scan.composition);
    CChartWindow& chart = scan.chart;
    chart.left = scan.left / 300.0;
    chart.top = scan.top / 300.0;
    chart.xResolution = scan.xResolution;
    chart.yResolution = scan.yResolution;
    chart.pixelsPerLine = scan.pixels;
    chart.lines = scan.lines;
    chart.bitsPerSample = scan.composition == 0 ? 1 : 8;
    chart.channels = Planes(scan.composition);
    m_scan = scan;
    m_windowDefined = true;
    m_scanning = false;
    m_stripPosition = 0;
    // A new window is a new scan: its calibration comes after it.
    m_shading.clear();
    m_deviceLines.clear();
}

void CFennikDevice::OnScan(CSimReply& reply)
{
    if (!m_windowDefined) {
        CheckCondition(reply, 5, 0x2C, 0);
        return;
    }
    if (m_scan.flags & kFlagFeederSheet) {
        if (FeederRefuses(reply))
            return;
        if (m_sheetsTaken + 1 == m_jamSheet) {
            m_jammed = true;
            CheckCondition(reply, 2, 0x3B, 0x05);
            return;
        }
        --m_feederSheets;
        ++m_sheetsTaken;
        m_feeding = 1;
    }
    m_scanning = true;
    m_imagePosition = 0;
    m_deviceLines.clear();
}

void CFennikDevice::OnRead(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    uint8_t type = cdb.Byte(2);
    uint16_t qualifier = uint16_t(cdb.Be16(4));
    uint32_t length = cdb.Be24(6);
    if (type == kDataPrepare && (qualifier == 0 || qualifier == 1)) {
        std::vector<uint8_t> zeros(length, 0);
        io.PutIn(zeros.data(), zeros.size());
    } else if (type == kDataShading && m_windowDefined && qualifier >= 2) {
        ReadStrip(qualifier, io, length);
    } else if (type == kDataImage && m_scanning) {
        ReadImage(io, length);
    } else {
        CheckCondition(reply, 5, m_windowDefined ? 0x24 : 0x2C, 0);
    }
}

void CFennikDevice::OnSend(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    uint8_t type = cdb.Byte(2);
    uint16_t qualifier = uint16_t(cdb.Be16(4));
    std::vector<uint8_t> data = io.TakeOut();
    if (type == kDataTable && qualifier >= 0x80 && qualifier <= 0x83 && data.size() == 1024) {
        m_luts[qualifier - 0x80] = std::move(data);
        m_deviceLines.clear();
    } else if (type == kDataSpeed && data.size() == 2) {
        m_speed = int(GetBe16(data.data()));
    } else if (type == kDataShading && (data.size() == kShadingColumns || data.size() == 3 * kShadingColumns)) {
        m_shading = std::move(data);
        m_deviceLines.clear();
    } else {
        CheckCondition(reply, 5, 0x24, 0);
    }
}

// Raw strip lines: 200 x the column's gain, and a few samples far off that a robust mean drops
// (two high and one low per column at most).
uint8_t CFennikDevice::StripByte(uint16_t lines, uint64_t position) const
{
    uint64_t lineBytes = uint64_t(kShadingColumns) * Planes(m_scan.composition);
    int line = int(position / lineBytes);
    int offset = int(position % lineBytes);
    int plane = offset / kShadingColumns;
    int column = offset % kShadingColumns;
    if (column % 5 == 0 && line == (column / 5) % lines)
        return kHighOutlier;
    if (column % 3 == 0 && line == (column / 3 + 1) % lines)
        return kLowOutlier;
    return uint8_t(std::lround(kStripLevel * Gain(plane, column)));
}

void CFennikDevice::ReadStrip(uint16_t lines, CSimTransfer& io, uint32_t length)
{
    std::vector<uint8_t> bytes(length);
    for (uint32_t i = 0; i < length; ++i)
        bytes[i] = StripByte(lines, m_stripPosition + i);
    m_stripPosition += length;
    io.PutIn(bytes.data(), bytes.size());
}

int CFennikDevice::Column(int pixel) const
{
    int column = m_scan.left + int((pixel + 0.5) * 300.0 / m_scan.xResolution);
    return std::clamp(column, 0, kShadingColumns - 1);
}

// The sensor reads light x gain x 200 / 255; the shading line (or the nominal 200) brings it back
// to full scale, and the channel's table maps the 10-bit light.
uint8_t CFennikDevice::Sample(uint8_t light, int plane, int column) const
{
    double value = light;
    if (m_hostCalibration) {
        double raw = light * Gain(plane, column) * kStripLevel / 255.0;
        double reference = kStripLevel;
        if (!m_shading.empty()) {
            size_t planes = m_shading.size() / kShadingColumns;
            reference = m_shading[std::min<size_t>(plane, planes - 1) * kShadingColumns + size_t(column)];
        }
        value = reference > 0 ? raw * 255.0 / reference : 255.0;
    }
    int level = int(std::clamp(std::lround(value), 0L, 255L));
    if (m_scan.composition == 0)
        return uint8_t(level);
    const std::vector<uint8_t>& table = m_luts[m_scan.composition == 5 ? plane + 1 : 0];
    if (table.empty())
        return uint8_t(level);
    // The 10-bit light is the lowest code that reaches the level, so that a table rising as
    // entry = code x 255 / 1023 gives the level back.
    return table[size_t((level * 1023 + 254) / 255)];
}

const std::vector<uint8_t>& CFennikDevice::DeviceLine(int line)
{
    std::vector<uint8_t>& out = m_deviceLines[CTestChart::LineKind(m_scan.chart, line)];
    if (!out.empty())
        return out;
    CChartWindow light = m_scan.chart;
    light.bitsPerSample = 8;
    std::vector<uint8_t> chart(CTestChart::BytesPerLine(light));
    CTestChart::RenderLine(light, line, chart.data());
    int planes = Planes(m_scan.composition);
    int w = m_scan.pixels;
    out.assign(size_t(m_scan.bytesPerLine), 0);
    for (int x = 0; x < w; ++x) {
        int column = Column(x);
        if (m_scan.composition == 0) {
            if (Sample(chart[size_t(x)], 0, column) >= m_scan.threshold)
                out[size_t(x) / 8] |= uint8_t(0x80 >> (x % 8));
            continue;
        }
        for (int c = 0; c < planes; ++c)
            out[size_t(c * w + x)] = Sample(chart[size_t(planes * x + c)], c, column);
    }
    return out;
}

void CFennikDevice::ReadImage(CSimTransfer& io, uint32_t length)
{
    uint64_t total = uint64_t(m_scan.lines) * uint64_t(m_scan.bytesPerLine);
    uint64_t count = std::min<uint64_t>(length, total - m_imagePosition);
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    uint64_t lineBytes = uint64_t(m_scan.bytesPerLine);
    for (uint64_t i = 0; i < count;) {
        uint64_t at = m_imagePosition + i;
        const std::vector<uint8_t>& line = DeviceLine(int(at / lineBytes));
        uint64_t offset = at % lineBytes;
        uint64_t piece = std::min(count - i, lineBytes - offset);
        std::memcpy(bytes.data() + i, line.data() + offset, size_t(piece));
        i += piece;
    }
    m_imagePosition += count;
    if (m_imagePosition == total)
        m_scanning = false;
    io.PutIn(bytes.data(), bytes.size());
}
