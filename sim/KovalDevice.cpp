#include "sim/KovalDevice.h"

#include "core/util/ByteOrder.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t kOpSetWindow = 0x24;
constexpr uint8_t kOpScan = 0x1B;
constexpr uint8_t kOpRelease = 0x17;
constexpr uint8_t kOpObjectPosition = 0x31;
constexpr uint8_t kOpBufferStatus = 0x34;
constexpr uint8_t kDataTypeImage = 0;
constexpr uint8_t kDataTypeLut = 3;
constexpr size_t kDescriptorBytes = 48;
constexpr size_t kLutEntries = 1024;
constexpr uint32_t kStepsPerInch = 1200;
constexpr uint8_t kTransparencyOriginal = 255;
// The beds in 1/1200 inch, and where the transparency unit's window lies on the glass.
constexpr uint32_t kReflectiveWidth = 9600;
constexpr uint32_t kReflectiveLength = 16800;
constexpr uint32_t kTransparencyWidth = 7181;
constexpr uint32_t kTransparencyLength = 10158;
constexpr double kTransparencyLeft = 3175 / 2540.0;
constexpr double kTransparencyTop = 2896 / 2540.0;
constexpr double kBedHeight = 29400;  // 1/100 mm, what the carriage travels over

CKovalWindow ParseDescriptor(const uint8_t* d)
{
    CKovalWindow w;
    w.id = d[0];
    w.resolution = GetBe16(d + 2) == GetBe16(d + 4) ? GetBe16(d + 2) : 0;
    w.x0 = GetBe32(d + 6);
    w.y0 = GetBe32(d + 10);
    w.width = GetBe32(d + 14);
    w.length = GetBe32(d + 18);
    w.threshold = d[23];
    w.composition = d[25];
    w.bits = d[26];
    w.colour = d[41];
    w.shadow = d[42];
    w.highlight = d[43];
    w.original = d[47];
    return w;
}

bool SameArea(const CKovalWindow& a, const CKovalWindow& b)
{
    return a.resolution == b.resolution && a.x0 == b.x0 && a.y0 == b.y0 && a.width == b.width && a.length == b.length;
}

}  // namespace

CKovalDevice::CKovalDevice(const CSimOptions& options)
    : m_plus(options.Text("model", "koval") == "kovalplus"), m_transparencyUnit(options.Number("transparency", 0) != 0),
      m_fill(uint32_t(options.Number("fill", 0))), m_carriage(options.Number("carriage", 0) != 0)
{
    std::vector<uint8_t> inquiry = MakeInquiryImage(6, options.Text("vendor", "ZELK"),
        options.Text("product", m_plus ? "KOVAL PLUS" : "KOVAL"), options.Text("revision", "1.00"));
    if (m_transparencyUnit)
        inquiry[1] |= 0x02;
    SetInquiryImage(inquiry);
}

std::unique_ptr<CVirtualTarget> CreateKovalDevice(const CSimOptions& options)
{
    return std::make_unique<CKovalDevice>(options);
}

uint32_t CKovalDevice::KeptSteps(uint32_t length, uint32_t resolution)
{
    if (length == 0)
        return 0;
    resolution = std::min(resolution, kStepsPerInch);
    uint32_t grid = resolution <= 600 ? 600 : 1200;
    uint32_t rest = length % kStepsPerInch;
    if (grid == 600)
        rest /= 2;
    uint32_t drops = grid - std::min(resolution, grid);
    // Step grid x i / drops is left out, for i = 1 .. drops.
    uint32_t dropped = 0;
    for (uint32_t i = 1; i <= drops && grid * i / drops <= rest; ++i)
        ++dropped;
    uint32_t kept = length / kStepsPerInch * resolution + rest - dropped;
    return std::max<uint32_t>(kept, 1);
}

std::vector<uint8_t> CKovalDevice::Lut(int channel) const
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    return channel >= 0 && channel < 4 ? m_luts[size_t(channel)] : std::vector<uint8_t>();
}

void CKovalDevice::OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    switch (cdb.Opcode()) {
    case kOpSetWindow:
        OnSetWindow(io, reply);
        break;
    case kOpScan:
        OnScan(io, reply);
        break;
    case kOpBufferStatus:
        if (m_plus)
            OnBufferStatus(io, reply);
        else
            CVirtualTarget::OnCommand(cdb, io, reply);
        break;
    case kOpObjectPosition:
        m_scanning = false;
        ++m_unloads;
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

void CKovalDevice::OnSend10(uint8_t dataType, uint16_t, CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> block = io.TakeOut();
    size_t tables = block.empty() ? 0 : block[0];
    if (dataType != kDataTypeLut || (tables != 1 && tables != 3) || block.size() != 1 + tables * (kLutEntries + 1)) {
        CheckCondition(reply, 5, 0x26, 0);
        return;
    }
    for (size_t t = 0; t < tables; ++t) {
        const uint8_t* table = block.data() + 1 + t * (kLutEntries + 1);
        if (table[0] > 3) {
            CheckCondition(reply, 5, 0x26, 0);
            return;
        }
        m_luts[table[0]].assign(table + 1, table + 1 + kLutEntries);
    }
}

void CKovalDevice::OnSetWindow(CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> list = io.TakeOut();
    size_t bytes = list.size() >= 8 ? GetBe16(&list[6]) : 0;
    size_t count = bytes / kDescriptorBytes;
    if (bytes % kDescriptorBytes != 0 || (count != 1 && count != 3) || list.size() < 8 + bytes) {
        CheckCondition(reply, 5, 0x26, 0);
        return;
    }
    std::vector<CKovalWindow> windows;
    for (size_t i = 0; i < count; ++i) {
        CKovalWindow w = ParseDescriptor(&list[8 + i * kDescriptorBytes]);
        bool transparency = w.original == kTransparencyOriginal;
        uint32_t width = transparency ? kTransparencyWidth : kReflectiveWidth;
        uint32_t length = transparency ? kTransparencyLength : kReflectiveLength;
        bool valid = w.resolution >= 30 && w.resolution <= 600 && w.width != 0 && w.length != 0 &&
            w.x0 + w.width <= width && w.y0 + w.length <= length && (!transparency || m_transparencyUnit);
        if (!valid) {
            CheckCondition(reply, 5, 0x26, 0);
            return;
        }
        windows.push_back(w);
    }
    m_windows = windows;
}

void CKovalDevice::OnScan(CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> list = io.TakeOut();
    std::vector<const CKovalWindow*> chosen;
    for (uint8_t id : list) {
        auto named =
            std::find_if(m_windows.begin(), m_windows.end(), [id](const CKovalWindow& w) { return w.id == id; });
        if (named != m_windows.end()) {
            chosen.push_back(&*named);
        } else if (id == 0) {
            // Window 0 after a colour definition of windows 1-3 means every defined window.
            for (const CKovalWindow& w : m_windows)
                chosen.push_back(&w);
        }
    }
    if (list.empty() || chosen.empty()) {
        CheckCondition(reply, 5, 0x24, 0);
        return;
    }
    StartScan(chosen, reply);
}

void CKovalDevice::StartScan(const std::vector<const CKovalWindow*>& windows, CSimReply& reply)
{
    const CKovalWindow& first = *windows[0];
    bool colour = windows.size() == 3;
    static const uint8_t kColours[3] = {0x80, 0x40, 0x20};
    bool valid = windows.size() == 1 ? first.composition == 0 || first.composition == 2 : colour;
    for (size_t i = 0; colour && i < 3; ++i)
        valid =
            valid && windows[i]->composition == 5 && windows[i]->colour == kColours[i] && SameArea(first, *windows[i]);
    if (!valid) {
        CheckCondition(reply, 5, 0x26, 0);
        return;
    }
    CKovalScan scan;
    scan.mode = first.composition;
    scan.windows = int(windows.size());
    scan.threshold = first.threshold;
    uint32_t kept = KeptSteps(first.width, first.resolution);
    if (scan.mode == 0) {
        scan.bytesPerLine = std::max<uint32_t>(kept / 8, 1);
        scan.pixels = 8 * scan.bytesPerLine;
    } else {
        scan.pixels = kept;
        scan.bytesPerLine = colour ? 3 * kept : kept;
    }
    scan.lines = KeptSteps(first.length, first.resolution);
    bool transparency = first.original == kTransparencyOriginal;
    CChartWindow& chart = scan.chart;
    chart.left = double(first.x0) / kStepsPerInch + (transparency ? kTransparencyLeft : 0);
    chart.top = double(first.y0) / kStepsPerInch + (transparency ? kTransparencyTop : 0);
    chart.xResolution = chart.yResolution = int(first.resolution);
    chart.pixelsPerLine = int(scan.pixels);
    chart.lines = int(scan.lines);
    chart.bitsPerSample = 8;
    chart.channels = colour ? 3 : 1;
    m_scan = scan;
    m_scanning = true;
    m_bytesSent = 0;
    m_scanStart = GetTickCount();
    m_deviceLines.clear();
}

uint8_t CKovalDevice::Sample(int channel, uint16_t light) const
{
    const std::vector<uint8_t>& table = m_luts[size_t(channel)].empty() ? m_luts[0] : m_luts[size_t(channel)];
    if (table.empty())
        return uint8_t(light >> 8);
    return table[light >> 6];
}

const std::vector<uint8_t>& CKovalDevice::DeviceLine(uint32_t line)
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
        if (m_scan.mode == 0) {
            if ((value >> 8) < m_scan.threshold)
                out[i / 8] |= uint8_t(0x80 >> (i % 8));
        } else {
            int channel = fine.channels == 3 ? int(i % 3) + 1 : 0;
            out[i] = Sample(channel, value);
        }
    }
    return out;
}

uint32_t CKovalDevice::CarriageMs(uint32_t lines) const
{
    double channels = m_scan.mode == 5 ? 3 : 1;
    double linesPerSecond = double(m_scan.chart.yResolution) * kBedHeight / (channels * 60960.0);
    return uint32_t(lines * 1000.0 / linesPerSecond);
}

uint32_t CKovalDevice::BytesFilled() const
{
    uint64_t total = uint64_t(m_scan.bytesPerLine) * m_scan.lines;
    if (m_fill == 0)
        return uint32_t(total);
    uint64_t lines = uint64_t(m_fill) * ((GetTickCount() - m_scanStart) / 100);
    return uint32_t(std::min(total, lines * m_scan.bytesPerLine));
}

void CKovalDevice::OnBufferStatus(CSimTransfer& io, CSimReply& reply)
{
    if (!m_scanning) {
        CheckCondition(reply, 5, 0x2C, 0);
        return;
    }
    // The count has three bytes: a page that holds more says "at least this much" rather than
    // wrapping to a small number the host would wait on for ever.
    uint32_t held = std::min<uint32_t>(uint32_t(BytesFilled() - m_bytesSent), 0xFFFFFF);
    uint8_t status[12] = {0, 0, 9};
    status[9] = uint8_t(held >> 16);
    status[10] = uint8_t(held >> 8);
    status[11] = uint8_t(held);
    io.PutIn(status, sizeof status);
}

void CKovalDevice::OnRead10(uint8_t dataType, uint16_t, CSimTransfer& io, CSimReply& reply)
{
    uint64_t total = uint64_t(m_scan.bytesPerLine) * m_scan.lines;
    if (dataType != kDataTypeImage || !m_scanning || m_bytesSent >= total) {
        CheckCondition(reply, 5, dataType != kDataTypeImage ? 0x24 : 0x2C, 0);
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
    if (m_carriage && !m_plus) {
        uint32_t lastLine = uint32_t((m_bytesSent + count - 1) / m_scan.bytesPerLine) + 1;
        uint32_t elapsed = GetTickCount() - m_scanStart;
        uint32_t due = CarriageMs(lastLine);
        if (elapsed < due)
            reply.delayMs = due - elapsed;
    }
    m_bytesSent += count;
    io.PutIn(data.data(), data.size());
}
