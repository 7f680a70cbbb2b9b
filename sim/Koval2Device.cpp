#include "sim/Koval2Device.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// INQUIRY vendor bytes the driver reads.
constexpr int kInqScaling = 56;
constexpr int kInqImageTypes = 57;
constexpr int kInqAccessories = 63;
constexpr int kInqHighResolution = 64;
constexpr int kInqPageLength = 65;
constexpr int kInqLookupTable = 66;
constexpr size_t kInquiryLength = 96;

// Vendor sense: byte 0 the error class, then bit fields.
constexpr uint8_t kSenseGeneral = 0x80;
constexpr uint8_t kSenseCommand = 0x81;
constexpr uint8_t kSenseUnit = 0x83;
constexpr uint8_t kCommandInvalid = 0x01;
constexpr uint8_t kUnitNotReady = 0x10;
constexpr uint8_t kUnitTransparencyNotReady = 0x40;
constexpr uint8_t kUnitNoPaper = 0x02;              // byte 2

constexpr uint8_t kAccessoryFeeder = 0x01;
constexpr uint8_t kAccessoryTransparency = 0x04;

const char kTags[3] = {'R', 'G', 'B'};

uint16_t Le16(const uint8_t* at) { return uint16_t(at[0] | (at[1] << 8)); }

// Three densities in 1/1000 D from "r,g,b", in D.
void ReadDensities(const std::string& text, const char* fallback, double out[3])
{
    long values[3] = {0, 0, 0};
    if (std::sscanf(text.c_str(), "%ld,%ld,%ld", &values[0], &values[1], &values[2]) != 3)
        std::sscanf(fallback, "%ld,%ld,%ld", &values[0], &values[1], &values[2]);
    for (int c = 0; c < 3; ++c)
        out[c] = double(values[c]) / 1000.0;
}

void PutLe(uint8_t* at, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        at[i] = uint8_t(value >> (8 * i));
}

}  // namespace

CKoval2Device::CKoval2Device(const CSimOptions& options)
    : m_biravo(options.Text("model", "koval2") == "biravo"),
      m_transparencyUnit(options.Number("transparency", 0) != 0),
      m_deviceLineArt(options.Number("lineart", 1) != 0),
      m_highResolutionFlag(options.Number("highres", 1) != 0),
      m_scalingFlag(options.Number("scaling", 1) != 0),
      m_longPage(options.Number("longpage", 0) != 0),
      m_lutBits(uint8_t(options.Number("lut", 0x22))),
      m_feederSheets(int(options.Number("feeder", -1))),
      m_lag(int(options.Number("lag", 2))),
      m_readyLines(uint32_t(options.Number("readylines", 0))),
      m_badTag(options.Number("badtag", -1)),
      m_vendor(options.Text("vendor", "ZELK")),
      m_product(options.Text("product", m_biravo ? "BIRAVO" : "KOVAL II")),
      m_negative(options.Number("negative", 0) != 0),
      m_opticalLow(m_biravo ? 1000 : 600),
      m_opticalHigh(m_biravo ? 2000 : 1200)
{
    ReadDensities(options.Text("filmbase"), "300,500,700", m_filmBase);
    ReadDensities(options.Text("filmrange"), "1000,1100,1200", m_filmRange);
}

std::unique_ptr<CVirtualTarget> CreateKoval2Device(const CSimOptions& options)
{
    return std::make_unique<CKoval2Device>(options);
}

std::vector<uint16_t> CKoval2Device::Lut(int channel) const
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    return channel >= 0 && channel < 4 ? m_luts[channel] : std::vector<uint16_t>();
}

std::vector<uint8_t> CKoval2Device::LastExposurePage(int channel) const
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    return channel >= 0 && channel < 4 ? m_exposure[channel] : std::vector<uint8_t>();
}

void CKoval2Device::VendorCheck(CSimReply& reply, uint8_t senseClass, uint8_t byte1, uint8_t byte2)
{
    const std::vector<uint8_t> sense = {senseClass, byte1, byte2, 0, 0, 0, 0, 0};
    CheckConditionRaw(reply, sense);
}

void CKoval2Device::BuildSense(const CSimSense& sense, CSimReply& reply)
{
    std::memset(reply.sense, 0, sizeof reply.sense);
    reply.senseLength = 8;
    switch (sense.key) {
    case 2:
        reply.sense[0] = kSenseUnit;
        reply.sense[1] = kUnitNotReady;
        break;
    case 5:
        reply.sense[0] = kSenseCommand;
        reply.sense[1] = kCommandInvalid;
        break;
    default:
        reply.sense[0] = kSenseGeneral;
        break;
    }
}

void CKoval2Device::OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    switch (cdb.Opcode()) {
    case 0x12: {
        // Served here rather than from the base's image: the feeder bits change as sheets go.
        UpdateInquiry();
        io.PutIn(m_inquiryImage.data(), std::min<size_t>(cdb.Byte(4), m_inquiryImage.size()));
        break;
    }
    case 0x04: OnDefineWindow(io, reply); break;
    case 0x08: OnRead(cdb, io, reply); break;
    case 0x0F: OnBufferStatus(io, reply); break;
    case 0x10: OnAccessory(cdb); break;
    case 0x15: OnModeSelect(cdb, io); break;
    case 0x16: OnBitDepth(io); break;
    case 0x1B: OnScan(cdb, reply); break;
    case 0x55: OnDownloadLut(cdb, io, reply); break;
    default: CVirtualTarget::OnCommand(cdb, io, reply); break;
    }
}

void CKoval2Device::UpdateInquiry()
{
    std::vector<uint8_t> image = MakeInquiryImage(6, m_vendor, m_product, "1.00", kInquiryLength);
    image[kInqScaling] = m_scalingFlag ? 1 : 0;
    image[kInqImageTypes] = uint8_t((m_deviceLineArt ? 0x01 : 0) | 0x04);
    uint8_t accessories = 0;
    if (m_transparencyUnit)
        accessories |= 0x40;
    if (m_feederSheets >= 0)
        accessories |= 0x04;
    if (m_feederSheets > 0)
        accessories |= 0x80;
    image[kInqAccessories] = accessories;
    image[kInqHighResolution] = m_highResolutionFlag ? 1 : 0;
    image[kInqPageLength] = m_longPage ? 0x02 : 0;
    image[kInqLookupTable] = m_lutBits;
    m_inquiryImage = std::move(image);
}

void CKoval2Device::OnDefineWindow(CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> block = io.TakeOut();
    if (block.size() < 9) {
        VendorCheck(reply, kSenseCommand, kCommandInvalid);
        return;
    }
    int x0 = Le16(&block[1]), y0 = Le16(&block[3]), x1 = Le16(&block[5]), y1 = Le16(&block[7]);
    if (x1 <= x0 || y1 <= y0 || (block[0] != 8 && block[0] != 9)) {
        VendorCheck(reply, kSenseCommand, kCommandInvalid);
        return;
    }
    m_window[0] = x0;
    m_window[1] = y0;
    m_window[2] = x1;
    m_window[3] = y1;
    m_windowDefined = true;
}

void CKoval2Device::OnModeSelect(const CSimCdb& cdb, CSimTransfer& io)
{
    std::vector<uint8_t> page = io.TakeOut();
    page.resize(std::min<size_t>(page.size(), cdb.Byte(4)));
    if (page.empty())
        return;
    m_exposure[(page[0] >> 5) & 3] = page;
}

void CKoval2Device::OnBitDepth(CSimTransfer& io)
{
    m_bitDepth = io.TakeOut();
}

void CKoval2Device::OnAccessory(const CSimCdb& cdb)
{
    m_accessory = cdb.Byte(4);
}

void CKoval2Device::OnDownloadLut(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> data = io.TakeOut();
    uint32_t length = cdb.Be16(7);
    uint8_t tableByte = cdb.Byte(9);
    if (cdb.Byte(2) != 0 || length != data.size() || length == 0) {
        VendorCheck(reply, kSenseCommand, kCommandInvalid);
        return;
    }
    std::vector<uint16_t> table;
    if (tableByte & 0x01) {
        for (size_t i = 0; i + 1 < data.size(); i += 2)
            table.push_back(uint16_t((data[i] << 8) | data[i + 1]));
    } else {
        table.assign(data.begin(), data.end());
    }
    m_luts[(tableByte >> 6) & 3] = std::move(table);
    m_deviceLines.clear();
}

void CKoval2Device::OnScan(const CSimCdb& cdb, CSimReply& reply)
{
    uint8_t modeByte = cdb.Byte(4);
    if (modeByte == 0) {
        StopScan();
        return;
    }
    StartScan(modeByte, reply);
}

void CKoval2Device::StartScan(uint8_t modeByte, CSimReply& reply)
{
    if (!m_windowDefined) {
        VendorCheck(reply, kSenseCommand, kCommandInvalid);
        return;
    }
    if ((m_accessory & kAccessoryTransparency) && !m_transparencyUnit && !m_biravo) {
        VendorCheck(reply, kSenseUnit, kUnitTransparencyNotReady);
        return;
    }
    if ((m_accessory & kAccessoryFeeder) && m_feederSheets <= 0) {
        VendorCheck(reply, kSenseUnit, 0, kUnitNoPaper);
        return;
    }
    CKoval2Scan scan;
    scan.highResolution = (modeByte & 0x80) != 0;
    int type = modeByte & 0x60;
    scan.mode = type == 0x60 ? 3 : type == 0x40 ? 2 : 0;
    uint8_t depth = m_bitDepth.size() > 2 ? uint8_t(m_bitDepth[2] & 0x0F) : 0;
    scan.bits = scan.mode == 0 ? 1 : depth == 2 ? 10 : depth == 4 ? 12 : depth == 8 ? 16 : 8;
    if (!ResolutionFromPage(scan) || scan.xResolution <= 0 || scan.yResolution <= 0) {
        VendorCheck(reply, kSenseCommand, kCommandInvalid);
        return;
    }
    scan.x0 = m_window[0];
    scan.y0 = m_window[1];
    scan.x1 = m_window[2];
    scan.y1 = m_window[3];
    scan.pixels = (scan.x1 - scan.x0) * scan.xResolution / m_opticalLow;
    scan.lines = (scan.y1 - scan.y0) * scan.yResolution / m_opticalLow;
    scan.accessory = m_accessory;
    if (scan.mode == 0)
        scan.lineLength = (scan.pixels + 7) / 8;
    else if (scan.mode == 2)
        scan.lineLength = scan.pixels;
    else
        scan.lineLength = ColourLineLength(scan.pixels, scan.bits);

    CChartWindow& chart = scan.chart;
    chart.left = double(scan.x0) / m_opticalLow;
    chart.top = double(scan.y0) / m_opticalLow;
    chart.xResolution = scan.xResolution;
    chart.yResolution = scan.yResolution;
    chart.pixelsPerLine = scan.pixels;
    chart.lines = scan.lines;
    chart.bitsPerSample = scan.mode == 0 ? 1 : scan.bits > 8 ? 16 : 8;
    chart.channels = scan.mode == 3 ? 3 : 1;
    chart.bigEndian16 = BigEndianSamples();
    chart.invert = scan.mode == 0 && InkLineArt();

    m_scan = scan;
    m_deviceLines.clear();
    m_scanning = true;
    m_statusSinceScan = false;
    m_unitsDelivered = 0;
    m_recordsSent = 0;
    if (scan.mode == 3 && SendsRecords())
        BuildRecordOrder();
}

bool CKoval2Device::ResolutionFromPage(CKoval2Scan& scan) const
{
    const std::vector<uint8_t>& page = m_exposure[scan.mode == 3 ? 1 : 0];
    if (m_biravo && page.size() >= 14) {
        scan.xResolution = Le16(&page[10]);
        scan.yResolution = Le16(&page[12]);
        return true;
    }
    if (m_biravo || page.size() < 2)
        return false;
    int reference = scan.highResolution ? m_opticalHigh : m_opticalLow;
    scan.xResolution = scan.yResolution = page[1] * reference / 100;
    return true;
}

void CKoval2Device::StopScan()
{
    if (m_scanning && (m_accessory & kAccessoryFeeder) && m_feederSheets > 0)
        --m_feederSheets;
    m_scanning = false;
    m_order.clear();
}

void CKoval2Device::BuildRecordOrder()
{
    // Three sensor rows a few lines apart: a line's green record trails its red one by the lag,
    // blue by twice that, and the order inside each group varies.
    m_order.clear();
    int lines = m_scan.lines;
    for (int step = 0; step < lines + 2 * m_lag; ++step) {
        CRecord group[3];
        int count = 0;
        for (int colour = 0; colour < 3; ++colour) {
            int line = step - colour * m_lag;
            if (line >= 0 && line < lines)
                group[count++] = CRecord{colour, line};
        }
        std::rotate(group, group + (count == 0 ? 0 : step % count), group + count);
        if ((step / 3) % 2 == 1)
            std::reverse(group, group + count);
        m_order.insert(m_order.end(), group, group + count);
    }
}

uint32_t CKoval2Device::DeviceLineBytes() const
{
    uint32_t samples = uint32_t(m_scan.lineLength) * (m_scan.mode == 3 ? 3 : 1);
    return m_scan.bits > 8 ? 2 * samples : samples;
}

void CKoval2Device::OnBufferStatus(CSimTransfer& io, CSimReply& reply)
{
    if (!m_scanning) {
        VendorCheck(reply, kSenseCommand, kCommandInvalid);
        return;
    }
    uint32_t remaining = uint32_t(m_scan.lines) - m_unitsDelivered;
    uint32_t ready = remaining;
    // The first status announces the whole image; later ones what the buffer holds so far.
    if (m_statusSinceScan && m_readyLines != 0)
        ready = std::min(remaining, m_readyLines);
    m_statusSinceScan = true;
    uint8_t status[6] = {0};
    PutLe(status + 1, uint32_t(m_scan.lineLength), 2);
    PutLe(status + 3, ready, 3);
    io.PutIn(status, sizeof status);
}

const std::vector<uint16_t>& CKoval2Device::TableOf(int channel) const
{
    return m_luts[channel].empty() ? m_luts[0] : m_luts[channel];
}

uint16_t CKoval2Device::ApplyLut(int channel, uint16_t value) const
{
    const std::vector<uint16_t>& table = TableOf(channel);
    if (table.empty())
        return value;
    uint32_t full = m_scan.bits > 8 ? (1u << m_scan.bits) - 1 : 255;
    size_t index = size_t(uint64_t(value) * (table.size() - 1) / full);
    return uint16_t(table[index] & full);
}

uint16_t CKoval2Device::ApplyExposure(int channel, uint16_t value, uint32_t full) const
{
    const std::vector<uint8_t>& page = m_exposure[channel];
    if (page.size() < 8 || page[2] < 7 || page[7] <= page[6])
        return value;
    // Byte 2 counts the gain in steps of 3 % from 100 %; bytes 6 and 7 are the levels (of 255)
    // that the page's maximum and minimum density reach after it.
    const uint64_t gain = uint64_t(page[2] - 7) * 3 + 100;
    const int64_t exposed = int64_t(uint64_t(value) * gain / 100);
    const int64_t black = int64_t(page[6]) * full / 255;
    const int64_t stretched = (exposed - black) * 255 / (page[7] - page[6]);
    return uint16_t(std::clamp<int64_t>(stretched, 0, full));
}

double CKoval2Device::ExposedLight(int channel, double light) const
{
    const std::vector<uint8_t>& page = m_exposure[channel];
    if (page.size() < 8 || page[2] < 7 || page[7] <= page[6])
        return light;
    const double gain = ((page[2] - 7) * 3 + 100) / 100.0;
    return std::clamp((light * gain - page[6] / 255.0) * 255.0 / (page[7] - page[6]), 0.0, 1.0);
}

uint16_t CKoval2Device::ApplyLutFine(int channel, uint16_t level) const
{
    uint32_t full = m_scan.bits > 8 ? (1u << m_scan.bits) - 1 : 255;
    const std::vector<uint16_t>& table = TableOf(channel);
    if (table.empty())
        return uint16_t(level * full / 65535u);
    size_t index = size_t(uint64_t(level) * (table.size() - 1) / 65535u);
    return uint16_t(table[index] & full);
}

std::vector<uint8_t> CKoval2Device::ThresholdLine(int line) const
{
    CChartWindow grey = m_scan.chart;
    grey.bitsPerSample = 8;
    grey.invert = false;
    std::vector<uint8_t> levels(CTestChart::BytesPerLine(grey));
    CTestChart::RenderLine(grey, line, levels.data());
    std::vector<uint8_t> bits(CTestChart::BytesPerLine(m_scan.chart), 0);
    for (int x = 0; x < m_scan.pixels; ++x) {
        if (LineArtBit(levels[size_t(x)]))
            bits[size_t(x) / 8] |= uint8_t(0x80 >> (x % 8));
    }
    return bits;
}

bool CKoval2Device::ScansNegative() const
{
    return m_negative && (m_scan.accessory & kAccessoryTransparency) != 0 && m_scan.mode != 0;
}

// The film's density rises with the light the original sent it (0 to 1 of the positive's level)
// from its bare density over its dye range; the device sees the light the film lets through.
std::vector<uint8_t> CKoval2Device::NegativeLine(int line) const
{
    CChartWindow positive = m_scan.chart;
    positive.bitsPerSample = 16;
    positive.bigEndian16 = true;
    std::vector<uint8_t> chart(CTestChart::BytesPerLine(positive));
    CTestChart::RenderLine(positive, line, chart.data());
    int colours = m_scan.mode == 3 ? 3 : 1;
    bool wide = m_scan.bits > 8;
    std::vector<uint8_t> samples(size_t(colours) * size_t(m_scan.pixels) * (wide ? 2 : 1));
    uint8_t* out = samples.data();
    for (int colour = 0; colour < colours; ++colour) {
        int dye = colours == 3 ? colour : 1;
        for (int x = 0; x < m_scan.pixels; ++x) {
            size_t at = size_t(colours * x + colour) * 2;
            double level = ((chart[at] << 8) | chart[at + 1]) / 65535.0;
            double density = m_filmBase[dye] + m_filmRange[dye] * level;
            uint16_t light = uint16_t(std::lround(65535.0 * std::pow(10.0, -density)));
            uint16_t value = ApplyLutFine(colours == 3 ? colour + 1 : 0, light);
            if (wide)
                *out++ = uint8_t(value >> 8);
            *out++ = uint8_t(value);
        }
    }
    return samples;
}

std::vector<uint8_t> CKoval2Device::ApplyLuts(const std::vector<uint8_t>& chart) const
{
    // Colour comes out as three single-colour records, so the samples are kept by colour.
    int colours = m_scan.mode == 3 ? 3 : 1;
    bool wide = m_scan.bits > 8;
    size_t sampleBytes = wide ? 2 : 1;
    std::vector<uint8_t> samples(size_t(colours) * size_t(m_scan.pixels) * sampleBytes);
    uint8_t* out = samples.data();
    for (int colour = 0; colour < colours; ++colour) {
        int lut = m_scan.mode == 3 ? colour + 1 : 0;
        for (int x = 0; x < m_scan.pixels; ++x) {
            size_t at = size_t(colours * x + colour) * sampleBytes;
            if (wide) {
                uint16_t value = uint16_t((chart[at] << 8) | chart[at + 1]) >> (16 - m_scan.bits);
                value = ApplyLut(lut, ApplyExposure(lut, value, (1u << m_scan.bits) - 1));
                *out++ = uint8_t(value >> 8);
                *out++ = uint8_t(value);
            } else {
                *out++ = uint8_t(ApplyLut(lut, ApplyExposure(lut, chart[at], 255)));
            }
        }
    }
    return samples;
}

const std::vector<uint8_t>& CKoval2Device::DeviceLine(int line)
{
    std::vector<uint8_t>& samples = m_deviceLines[CTestChart::LineKind(m_scan.chart, line)];
    if (samples.empty() && m_scan.mode == 0) {
        samples = ThresholdLine(line);
    } else if (samples.empty() && ScansNegative()) {
        samples = NegativeLine(line);
    } else if (samples.empty()) {
        samples = ImageLine(line);
    }
    return samples;
}

std::vector<uint8_t> CKoval2Device::ImageLine(int line)
{
    std::vector<uint8_t> chart(CTestChart::BytesPerLine(m_scan.chart));
    CTestChart::RenderLine(m_scan.chart, line, chart.data());
    return ApplyLuts(chart);
}

void CKoval2Device::RenderRecord(const CRecord& record, uint32_t index, uint8_t* out)
{
    size_t payload = size_t(m_scan.pixels) * (m_scan.bits > 8 ? 2 : 1);
    out[0] = uint8_t(record.line);
    out[1] = long(index) == m_badTag ? 0 : uint8_t(kTags[record.colour]);
    std::memcpy(out + 2, DeviceLine(record.line).data() + payload * size_t(record.colour), payload);
}

void CKoval2Device::OnRead(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    if (!m_scanning) {
        VendorCheck(reply, kSenseCommand, kCommandInvalid);
        return;
    }
    uint32_t lines = std::min(cdb.Be24(2), uint32_t(m_scan.lines) - m_unitsDelivered);
    std::vector<uint8_t> data(size_t(DeviceLineBytes()) * lines, 0);
    uint8_t* out = data.data();
    if (m_scan.mode == 3 && SendsRecords()) {
        uint32_t recordBytes = DeviceLineBytes() / 3;
        for (uint32_t i = 0; i < 3 * lines && m_recordsSent < m_order.size(); ++i, ++m_recordsSent) {
            RenderRecord(m_order[m_recordsSent], m_recordsSent, out);
            out += recordBytes;
        }
    } else {
        for (uint32_t i = 0; i < lines; ++i) {
            const std::vector<uint8_t>& line = DeviceLine(int(m_unitsDelivered + i));
            std::memcpy(out, line.data(), std::min<size_t>(line.size(), DeviceLineBytes()));
            out += DeviceLineBytes();
        }
    }
    m_unitsDelivered += lines;
    io.PutIn(data.data(), data.size());
}
