#include "sim/OstravelDevice.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint8_t kSenseCommand = 0x81;
constexpr uint8_t kCommandInvalid = 0x01;
constexpr int kGainPeriod = 100;        // sensor pixels: both ends of the gain within 5 mm
constexpr double kStripLevel = 0.8;

uint16_t Le16(const uint8_t* at) { return uint16_t(at[0] | (at[1] << 8)); }

bool IsCalibrationId(uint8_t id) { return id == 0x01 || id == 0x41 || id == 0x81 || id == 0xC1; }

}  // namespace

COstravelDevice::COstravelDevice(const CSimOptions& options)
    : CPendaroDevice(options),
      m_depths(uint8_t(options.Number("depths", 0x0E))),
      m_noHigh(options.Number("nohigh", 0) != 0),
      m_nonUniform(double(options.Number("nonuniform", 0)) / 100.0),
      m_shadingPixels(int(options.Number("shadingpixels", 5100)))
{
    m_product = options.Text("product", "Ostravel");
    m_lutBits = uint8_t(options.Number("lut", 0x22));
    m_opticalLow = 600;
    m_opticalHigh = 1200;
    int levels[3] = {249, 249, 249};
    std::string text = options.Text("levels", "249");
    if (std::sscanf(text.c_str(), "%d,%d,%d", &levels[0], &levels[1], &levels[2]) == 1)
        levels[1] = levels[2] = levels[0];
    for (int c = 0; c < 3; ++c)
        m_levels[c] = uint8_t(std::clamp(levels[c], 0, 255));
}

std::unique_ptr<CVirtualTarget> CreateOstravelDevice(const CSimOptions& options)
{
    return std::make_unique<COstravelDevice>(options);
}

std::vector<uint8_t> COstravelDevice::CalibrationTable(uint8_t id) const
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    auto found = m_calibration.find(id);
    return found != m_calibration.end() ? found->second : std::vector<uint8_t>();
}

double COstravelDevice::SensorGain(int x, int colour) const
{
    // A triangle of period kGainPeriod from -1 to +1, shifted per colour.
    int phase = ((x + colour * kGainPeriod / 3) % kGainPeriod + kGainPeriod) % kGainPeriod;
    double wave = 1.0 - 4.0 * std::abs(double(phase) / kGainPeriod - 0.5);
    return 1.0 - m_nonUniform * wave;
}

void COstravelDevice::UpdateInquiry()
{
    CPendaroDevice::UpdateInquiry();
    m_inquiryImage[74] = m_depths;
    m_inquiryImage[75] = m_noHigh ? 0x08 : 0;
}

void COstravelDevice::OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    {
        std::lock_guard<std::mutex> guard(m_stateLock);
        if (OnShadingCommand(cdb, io, reply))
            return;
    }
    CPendaroDevice::OnCommand(cdb, io, reply);
}

bool COstravelDevice::OnShadingCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    switch (cdb.Opcode()) {
    case 0x11: {
        std::vector<uint8_t> mode = io.TakeOut();
        if (mode.size() != 2) {
            VendorCheck(reply, kSenseCommand, kCommandInvalid);
            return true;
        }
        m_shadingMode = mode;
        m_shading = true;
        m_shadingColour = (mode[0] & 0x01) != 0;
        m_shadingLinesRead = 0;
        return true;
    }
    case 0x0C:
        OnCalibration(cdb, io, reply);
        return true;
    case 0x0F:
        if (cdb.Byte(4) != 9)
            return false;
        if (!m_shading)
            VendorCheck(reply, kSenseCommand, kCommandInvalid);
        else
            OnShadingStatus(io);
        return true;
    case 0x08:
        if (!m_shading)
            return false;
        OnShadingRead(cdb, io);
        return true;
    case 0x1B:
        if (!m_shading || cdb.Byte(4) != 0)
            return false;
        m_shading = false;
        return true;
    default:
        return false;
    }
}

void COstravelDevice::OnShadingStatus(CSimTransfer& io)
{
    uint8_t status[9] = {0};
    status[1] = uint8_t(m_shadingPixels);
    status[2] = uint8_t(m_shadingPixels >> 8);
    status[3] = m_levels[0];
    status[5] = m_levels[1];
    status[7] = m_levels[2];
    io.PutIn(status, sizeof status);
}

void COstravelDevice::OnShadingRead(const CSimCdb& cdb, CSimTransfer& io)
{
    int channels = m_shadingColour ? 3 : 1;
    uint32_t lines = cdb.Be24(2);
    std::vector<uint8_t> data(size_t(lines) * size_t(m_shadingPixels) * size_t(channels) * 2);
    uint8_t* out = data.data();
    for (uint32_t i = 0; i < lines; ++i) {
        for (int x = 0; x < m_shadingPixels; ++x) {
            for (int c = 0; c < channels; ++c) {
                int colour = channels == 3 ? c : 1;
                double target = 4.0 * (m_levels[colour] + 1);
                auto reading = uint16_t(std::lround(kStripLevel * target * SensorGain(x, colour)));
                *out++ = uint8_t(reading);
                *out++ = uint8_t(reading >> 8);
            }
        }
    }
    m_shadingLinesRead += int(lines);
    io.PutIn(data.data(), data.size());
}

void COstravelDevice::OnCalibration(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> table = io.TakeOut();
    uint32_t length = cdb.Be16(3);
    if (length != table.size() || length != 2u * uint32_t(m_shadingPixels) + 2 || table[0] != 0 ||
        !IsCalibrationId(table[1])) {
        VendorCheck(reply, kSenseCommand, kCommandInvalid);
        return;
    }
    m_calibrationOrder.push_back(table[1]);
    m_calibration[table[1]] = std::move(table);
    m_deviceLines.clear();
}

bool COstravelDevice::LineArtBit(uint8_t level) const
{
    const std::vector<uint16_t>& table = TableOf(0);
    if (table.empty())
        return level < 128;
    return table[size_t(level) * (table.size() - 1) / 255] != 0;
}

bool COstravelDevice::ResolutionFromPage(CKoval2Scan& scan) const
{
    const std::vector<uint8_t>& page = m_exposure[scan.mode == 3 ? 1 : 0];
    if (page.size() < 14)
        return false;
    scan.xResolution = Le16(&page[10]);
    scan.yResolution = Le16(&page[12]);
    return true;
}

uint16_t COstravelDevice::Sample(double light, int x, int colour, int channels) const
{
    int sensor = std::clamp(m_scan.x0 + x * m_opticalLow / std::max(m_scan.xResolution, 1), 0, m_shadingPixels - 1);
    int gainColour = channels == 3 ? colour : 1;
    double downloaded = 1.0;
    auto found = m_calibration.find(channels == 3 ? uint8_t(0x41 + 0x40 * colour) : uint8_t(0x01));
    if (found != m_calibration.end()) {
        const std::vector<uint8_t>& table = found->second;
        uint16_t gain = uint16_t(table[2 + sensor] | (table[2 + m_shadingPixels + sensor] << 8));
        downloaded = gain == 0xFFFF ? 1.0 : gain / 1024.0;
    }
    const double exposed = ExposedLight(channels == 3 ? colour + 1 : 0, light);
    double level = std::clamp(exposed * kStripLevel * SensorGain(sensor, gainColour) * downloaded, 0.0, 1.0);
    uint32_t full = m_scan.bits > 8 ? 65535u : 255u;
    const std::vector<uint16_t>& table = TableOf(channels == 3 ? colour + 1 : 0);
    if (table.empty())
        return uint16_t(std::lround(level * full));
    size_t index = size_t(std::lround(level * double(table.size() - 1)));
    uint32_t value = std::min<uint32_t>(table[index], LutMaximum());
    return uint16_t(std::lround(double(value) * full / LutMaximum()));
}

std::vector<uint8_t> COstravelDevice::ImageLine(int line)
{
    CChartWindow window = m_scan.chart;
    std::vector<uint8_t> chart(CTestChart::BytesPerLine(window));
    CTestChart::RenderLine(window, line, chart.data());
    int channels = m_scan.mode == 3 ? 3 : 1;
    bool wide = m_scan.bits > 8;
    size_t count = size_t(channels) * size_t(m_scan.pixels);
    std::vector<uint16_t> samples(count);
    for (size_t i = 0; i < count; ++i) {
        double light = wide ? Le16(&chart[2 * i]) / 65535.0 : chart[i] / 255.0;
        samples[i] = Sample(light, int(i / size_t(channels)), int(i % size_t(channels)), channels);
    }
    std::vector<uint8_t> out;
    out.reserve(count * (wide ? 2 : 1));
    if (wide) {
        for (uint16_t value : samples) {
            out.push_back(uint8_t(value));
            out.push_back(uint8_t(value >> 8));
        }
        return out;
    }
    if (channels == 1) {
        out.assign(samples.begin(), samples.end());
        return out;
    }
    // Pixel pairs as R R G G B B; an odd last pixel as R G B.
    size_t pixels = size_t(m_scan.pixels);
    size_t x = 0;
    for (; x + 2 <= pixels; x += 2) {
        for (int c = 0; c < 3; ++c) {
            out.push_back(uint8_t(samples[3 * x + size_t(c)]));
            out.push_back(uint8_t(samples[3 * (x + 1) + size_t(c)]));
        }
    }
    for (; x < pixels; ++x) {
        for (int c = 0; c < 3; ++c)
            out.push_back(uint8_t(samples[3 * x + size_t(c)]));
    }
    return out;
}
