#include "sim/ZandorDevice.h"

#include "core/util/ByteOrder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kInquiryLength = 55;
constexpr int kStepUnit = 4000;  // steps of 1/400 inch
constexpr int kBedWidthSteps = 3400;
constexpr int kBedLengthSteps = 4680;
constexpr int kStepsPerInch = kStepUnit / 10;
constexpr int kBufferKilobytes = 256;

constexpr uint8_t kDataImage = 0;
constexpr uint8_t kDataStatus = 0x81;
constexpr uint8_t kScanStart = 0x40;
constexpr uint8_t kScanContinue = 0xC0;

// Sense codes of the family.
constexpr uint8_t kCodeParameter = 0x10;
constexpr uint8_t kCodeSequence = 0x20;

struct CZandorModelInfo {
    const char* name;
    char code;
    int resolutionWord;
};

const CZandorModelInfo kModels[] = {
    {"gs300", '1', 300},
    {"gs400", '1', 400},
    {"la300", '2', 300},
    {"la400", '2', 400},
    {"ii", '3', 400},
    {"color", '4', 400},
};

const CZandorModelInfo& ModelNamed(const std::string& name)
{
    for (const CZandorModelInfo& entry : kModels) {
        if (name == entry.name)
            return entry;
    }
    return kModels[5];
}

}  // namespace

CZandorDevice::CZandorDevice(const CSimOptions& options)
{
    const CZandorModelInfo& model = ModelNamed(options.Text("model", "color"));
    m_bColourModel = model.code == '4';
    m_nBits = options.Number("bits", 8) == 6 ? 6 : 8;
    m_bTransparencyUnit = options.Number("transparency", 0) != 0;
    m_nBand = std::max(1, int(options.Number("band", 64)));
    m_nLevelLow = 40;
    m_nLevelHigh = 220;
    std::sscanf(options.Text("levels", "40,220").c_str(), "%d,%d", &m_nLevelLow, &m_nLevelHigh);
    m_nMinResolution = model.resolutionWord == 300 ? 75 : 100;
    m_nMaxResolution = model.resolutionWord == 300 ? 600 : 800;

    std::vector<uint8_t> image(kInquiryLength, 0);
    image[0] = 6;
    image[4] = uint8_t(kInquiryLength - 5);
    PutBe16(&image[5], uint32_t(model.resolutionWord));
    PutBe16(&image[7], kStepUnit);
    PutBe16(&image[9], uint32_t(m_nMinResolution * 10));
    PutBe16(&image[11], uint32_t(m_nMaxResolution * 10));
    PutBe16(&image[13], kBedWidthSteps);
    PutBe16(&image[15], kBedLengthSteps);
    PutBe16(&image[17], kBufferKilobytes);
    std::memcpy(&image[20], "1.00    ", 8);
    std::memcpy(&image[36], "ZELK0", 5);
    image[41] = uint8_t(model.code);
    image[44] = uint8_t(m_nBits);
    image[45] = m_bTransparencyUnit ? 0x80 : 0;
    image[46] = m_bColourModel ? 0x80 : 0;
    SetInquiryImage(std::move(image));
}

std::unique_ptr<CVirtualTarget> CreateZandorDevice(const CSimOptions& options)
{
    return std::make_unique<CZandorDevice>(options);
}

int CZandorDevice::Pass() const
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    return m_bScanning ? m_nPass : -1;
}

void CZandorDevice::BuildSense(const CSimSense& sense, CSimReply& reply)
{
    std::memset(reply.sense, 0, sizeof reply.sense);
    reply.sense[0] = sense.asc;
    reply.senseLength = 1;
}

void CZandorDevice::Refuse(CSimReply& reply, uint8_t code) { CheckCondition(reply, 0, code, 0); }

void CZandorDevice::OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    switch (cdb.Opcode()) {
    case 0x1B:
        OnScan(cdb, reply);
        break;
    case 0x24:
        OnSetWindow(io, reply);
        break;
    case 0x28:
        OnRead(cdb, io, reply);
        break;
    default:
        CVirtualTarget::OnCommand(cdb, io, reply);
        break;
    }
}

void CZandorDevice::OnSetWindow(CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> list = io.TakeOut();
    size_t wanted = m_bColourModel ? 65 : 37;
    if (list.size() < 8 + wanted || GetBe16(&list[6]) != wanted) {
        Refuse(reply, kCodeParameter);
        return;
    }
    const uint8_t* d = &list[8];
    CZandorWindow w;
    w.descriptorLength = int(wanted);
    w.descriptor.assign(d, d + wanted);
    w.xResolution = int(GetBe16(d + 2));
    w.yResolution = int(GetBe16(d + 4));
    w.left = int(GetBe16(d + 6));
    w.top = int(GetBe16(d + 8));
    w.pixels = int(GetBe16(d + 10));
    w.lines = int(GetBe16(d + 12));
    w.minimumLevel = d[14];
    w.maximumLevel = d[16];
    w.format = d[17];
    w.bits = d[18];
    auto fits = [&](int r) { return r >= m_nMinResolution && r <= m_nMaxResolution; };
    bool formatFits = (w.format == 0 && w.bits == 1) || (w.format == 2 && w.bits == m_nBits) ||
        (w.format == 5 && w.bits == m_nBits && m_bColourModel);
    // The width is sent in whole groups of 16 pixels: it may reach past the bed's edge by less
    // than a group.
    bool inBed = w.pixels > 0 && w.lines > 0 &&
        w.left + w.pixels < (kBedWidthSteps * w.xResolution) / kStepsPerInch + 16 &&
        w.top + w.lines <= (kBedLengthSteps * w.yResolution) / kStepsPerInch;
    bool transparencyFits = !m_bColourModel || d[48] == 1 || m_bTransparencyUnit;
    if (!fits(w.xResolution) || !fits(w.yResolution) || !formatFits || !inBed || !transparencyFits) {
        Refuse(reply, kCodeParameter);
        return;
    }
    w.bytesPerLine = w.format == 0 ? (w.pixels + 7) / 8 : w.pixels;
    CChartWindow& chart = w.chart;
    chart.left = double(w.left) / w.xResolution;
    chart.top = double(w.top) / w.yResolution;
    chart.xResolution = w.xResolution;
    chart.yResolution = w.yResolution;
    chart.pixelsPerLine = w.pixels;
    chart.lines = w.lines;
    chart.bitsPerSample = w.format == 0 ? 1 : 8;
    chart.channels = w.format == 5 ? 3 : 1;
    chart.invert = w.format == 0;
    m_Window = std::move(w);
    m_bWindowDefined = true;
    m_bScanning = false;
    m_PlaneLines.clear();
}

void CZandorDevice::StartBand() { m_nBandEnd = std::min(m_nPassLine + m_nBand, m_Window.lines); }

void CZandorDevice::OnScan(const CSimCdb& cdb, CSimReply& reply)
{
    uint8_t control = cdb.Byte(5);
    m_Controls.push_back(control);
    if (!m_bWindowDefined) {
        Refuse(reply, kCodeSequence);
        return;
    }
    if (control == kScanStart) {
        m_bScanning = true;
        m_nPass = 0;
        m_nPassLine = 0;
        StartBand();
        return;
    }
    int passes = m_Window.format == 5 ? 3 : 1;
    // The lines of a band must all be read before the next band or pass is asked for.
    if (control != kScanContinue || !m_bScanning || m_nPassLine < m_nBandEnd) {
        Refuse(reply, kCodeSequence);
        return;
    }
    if (m_nPassLine < m_Window.lines) {
        StartBand();
        return;
    }
    if (m_nPass + 1 >= passes) {
        Refuse(reply, kCodeSequence);
        return;
    }
    ++m_nPass;
    m_nPassLine = 0;
    StartBand();
}

void CZandorDevice::OnRead(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    uint8_t type = cdb.Byte(2);
    if (type == kDataStatus) {
        ReadStatus(io);
    } else if (type == kDataImage) {
        ReadLines(cdb.Be24(6), io, reply);
    } else {
        Refuse(reply, kCodeParameter);
    }
}

void CZandorDevice::ReadStatus(CSimTransfer& io)
{
    std::vector<uint8_t> status(m_bColourModel ? 40 : 24, 0);
    if (m_bWindowDefined) {
        PutBe16(&status[8], uint32_t(m_Window.pixels));
        PutBe16(&status[10], uint32_t(m_Window.lines));
        PutBe16(&status[12], uint32_t(m_Window.bytesPerLine));
    }
    PutBe16(&status[14], uint32_t(m_nBand));
    status[16] = uint8_t(m_nLevelLow);
    status[17] = uint8_t(m_nLevelHigh);
    if (m_bColourModel && m_bWindowDefined) {
        // The window values the device took, as it reports them back.
        const std::vector<uint8_t>& d = m_Window.descriptor;
        status[30] = d[50];
        status[31] = d[51];
        status[33] = d[18];
        status[35] = d[60];
        status[37] = d[59];
        status[39] = d[61];
    }
    io.PutIn(status.data(), status.size());
}

const std::vector<uint8_t>& CZandorDevice::PlaneLine(int line)
{
    std::vector<uint8_t>& out = m_PlaneLines[{m_nPass, CTestChart::LineKind(m_Window.chart, line)}];
    if (!out.empty())
        return out;
    const CChartWindow& chart = m_Window.chart;
    std::vector<uint8_t> light(CTestChart::BytesPerLine(chart));
    CTestChart::RenderLine(chart, line, light.data());
    if (m_Window.format == 0) {
        out = std::move(light);
        return out;
    }
    out.resize(size_t(m_Window.pixels));
    int channels = chart.channels;
    for (int x = 0; x < m_Window.pixels; ++x) {
        uint8_t ink = uint8_t(255 - light[size_t(channels * x + (channels == 3 ? m_nPass : 0))]);
        out[size_t(x)] = m_nBits == 6 ? uint8_t(ink >> 2) : ink;
    }
    return out;
}

void CZandorDevice::ReadLines(uint32_t lines, CSimTransfer& io, CSimReply& reply)
{
    if (!m_bScanning || lines == 0 || int(lines) > m_nBandEnd - m_nPassLine) {
        Refuse(reply, kCodeSequence);
        return;
    }
    size_t lineBytes = size_t(m_Window.bytesPerLine);
    std::vector<uint8_t> bytes(lines * lineBytes);
    for (uint32_t i = 0; i < lines; ++i) {
        const std::vector<uint8_t>& line = PlaneLine(m_nPassLine + int(i));
        std::memcpy(bytes.data() + i * lineBytes, line.data(), lineBytes);
    }
    m_nPassLine += int(lines);
    io.PutIn(bytes.data(), bytes.size());
}
