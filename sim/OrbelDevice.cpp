#include "sim/OrbelDevice.h"

#include <algorithm>
#include <cstdlib>
#include <regex>

namespace {

constexpr uint8_t kAnswerByte = 0x30;
constexpr uint8_t kLeftoverByte = 0x5A;
constexpr double kStepInches = 40.0 / COrbelDevice::kAreaSteps / 25.4;
constexpr int kMaximumResolution = 3175;

// Numbers are written without leading zeros.
const char kNumber[] = "(0|[1-9][0-9]*)";

bool Matches(const std::string& text, const std::string& pattern, std::smatch& parts)
{
    return std::regex_match(text, parts, std::regex(pattern));
}

std::vector<long> Numbers(const std::smatch& parts)
{
    std::vector<long> values;
    for (size_t i = 1; i < parts.size(); ++i)
        values.push_back(std::strtol(parts[i].str().c_str(), nullptr, 10));
    return values;
}

}  // namespace

COrbelDevice::COrbelDevice(const CSimOptions& options) : m_nLeftover(uint32_t(options.Number("leftover", 0)))
{
    bool vf = options.Text("model", "orbel") == "vf3510";
    std::string odd = options.Text("linecount");
    if (odd.find(':') != std::string::npos) {
        m_nOddLine = std::atoi(odd.c_str());
        m_nOddCount = uint32_t(std::atoi(odd.c_str() + odd.find(':') + 1));
    }
    SetInquiryImage(MakeInquiryImage(6, options.Text("vendor", vf ? "VARDEN" : "ZELK"),
                                     options.Text("product", vf ? "VF-3510AF" : "ORBEL 35"),
                                     options.Text("revision", "1.50")));
}

std::unique_ptr<CVirtualTarget> CreateOrbelDevice(const CSimOptions& options)
{
    return std::make_unique<COrbelDevice>(options);
}

CChartWindow COrbelDevice::LastChart() const
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    if (m_passes.empty())
        return {};
    CChartWindow chart = m_passes.back().chart;
    chart.channels = m_bColour ? 3 : 1;
    return chart;
}

std::vector<uint8_t> COrbelDevice::Table(int n) const
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    return n >= 1 && n <= 3 ? m_tables[n] : std::vector<uint8_t>();
}

std::string COrbelDevice::TranscriptLine(const CSimLogEntry& entry) const
{
    std::string line = entry.TranscriptLine();
    if (entry.cdb.empty() || entry.cdb[0] != 0x2A || entry.dataOut.empty())
        return line;
    std::string text(entry.dataOut.begin(), entry.dataOut.end());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return line + " \"" + text + "\"";
}

void COrbelDevice::OnSend10(uint8_t dataType, uint16_t, CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> data = io.TakeOut();
    std::string text(data.begin(), data.end());
    if (dataType != 0 || text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) {
        CheckCondition(reply, 5, 0x20, 0);
        return;
    }
    text.resize(text.size() - 2);
    std::lock_guard<std::mutex> guard(m_stateLock);
    if (RunCommand(text, reply)) {
        m_commands.push_back(text);
        m_bAnswerPending = text.find(",R") != std::string::npos;
    }
}

bool COrbelDevice::RunCommand(const std::string& text, CSimReply& reply)
{
    static const char* const kPlain[] = {"APIN", "OUT8", "AF,R", "GML8", "IF15", "SPUP", "NHD", "AP50",
                                         "AVOF", "SDON", "BRT0", "CNT0", "SFT0"};
    for (const char* plain : kPlain)
        if (text == plain)
            return true;
    std::smatch parts;
    if (text == "MP" || text == "CP") {
        m_bColour = text == "CP";
        return true;
    }
    if (text == "FR,R" || text == "FG,R" || text == "FB,R") {
        m_filter = text[1];
        return true;
    }
    if (text == "PSOF" || text == "PVOF" || text == "INM") {
        m_bPassActive = false;
        m_pending.clear();
        m_nPendingAt = 0;
        return true;
    }
    if (Matches(text, std::string("SFC") + kNumber, parts))
        return true;
    if (Matches(text, "DN([0-9][0-9]+)", parts)) {
        m_nDensity = int(Numbers(parts)[0]);
        return true;
    }
    if (Matches(text, std::string("MV") + kNumber + ",R", parts)) {
        m_nMove = int(Numbers(parts)[0]);
        return true;
    }
    if (Matches(text, "GM([123])T8", parts)) {
        m_nTable = int(Numbers(parts)[0]);
        return true;
    }
    if (text.compare(0, 3, "WGM") == 0)
        return LoadTable(text, reply);
    std::string number = kNumber;
    if (Matches(text, "BXZ " + number + "," + number + "," + number + "," + number + "," + number + "," + number + ",V",
                parts))
        return StartPass(Numbers(parts), reply);
    CheckCondition(reply, 5, 0x20, 0);
    return false;
}

bool COrbelDevice::LoadTable(const std::string& text, CSimReply& reply)
{
    // Read by hand: a pattern over a line of a thousand characters would cost the matcher its stack.
    static const std::regex kEntry(kNumber);
    if (text.size() < 5 || text[3] < '1' || text[3] > '3' || text[4] != 'T') {
        CheckCondition(reply, 5, 0x20, 0);
        return false;
    }
    std::vector<uint8_t> table;
    size_t at = 5;
    while (at < text.size()) {
        size_t end = text.find(',', at + 1);
        std::string entry = text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
        if (text[at] != ',' || entry.empty() || entry.size() > 5 || !std::regex_match(entry, kEntry)) {
            CheckCondition(reply, 5, 0x20, 0);
            return false;
        }
        long value = std::strtol(entry.c_str(), nullptr, 10);
        if (value > 255) {
            CheckCondition(reply, 5, 0x26, 0);
            return false;
        }
        table.push_back(uint8_t(value));
        at = end == std::string::npos ? text.size() : end;
    }
    if (table.size() != 256) {
        CheckCondition(reply, 5, 0x20, 0);
        return false;
    }
    m_tables[text[3] - '0'] = table;
    return true;
}

bool COrbelDevice::StartPass(const std::vector<long>& v, CSimReply& reply)
{
    COrbelPass pass;
    pass.top = v[0];
    pass.left = v[1];
    pass.bottom = v[2];
    pass.right = v[3];
    pass.stepY = v[4];
    pass.stepX = v[5];
    if (pass.bottom <= pass.top || pass.right <= pass.left || pass.bottom > kAreaSteps || pass.right > kAreaSteps ||
        pass.stepX < 1 || pass.stepY < 1 || pass.stepX > kMaximumResolution || pass.stepY > kMaximumResolution) {
        CheckCondition(reply, 5, 0x26, 0);
        return false;
    }
    pass.filter = m_filter;
    pass.table = m_nTable;
    pass.density = m_nDensity;
    pass.move = m_nMove;
    pass.pixels = std::max<int>(int((pass.right - pass.left) / pass.stepX), 1);
    pass.lines = std::max<int>(int((pass.bottom - pass.top) / pass.stepY), 1);
    CChartWindow& chart = pass.chart;
    chart.left = double(pass.left) * kStepInches;
    chart.top = double(pass.top) * kStepInches;
    chart.xResolution = int(kMaximumResolution / pass.stepX);
    chart.yResolution = int(kMaximumResolution / pass.stepY);
    chart.pixelsPerLine = pass.pixels;
    chart.lines = pass.lines;
    chart.channels = m_bColour ? 3 : 1;
    m_passes.push_back(pass);
    m_bPassActive = true;
    m_nNextLine = 0;
    m_bLeftoverSent = false;
    m_pending.clear();
    m_nPendingAt = 0;
    m_lineCache.clear();
    return true;
}

const std::vector<uint8_t>& COrbelDevice::DeviceLine(int line)
{
    const COrbelPass& pass = m_passes.back();
    std::vector<uint8_t>& out = m_lineCache[CTestChart::LineKind(pass.chart, line)];
    if (!out.empty())
        return out;
    std::vector<uint8_t> light(CTestChart::BytesPerLine(pass.chart));
    CTestChart::RenderLine(pass.chart, line, light.data());
    const int channels = pass.chart.channels;
    const int plane = channels == 1 ? 0 : pass.filter == 'R' ? 0 : pass.filter == 'G' ? 1 : 2;
    const std::vector<uint8_t>& table = m_tables[pass.table];
    out.resize(size_t(pass.pixels));
    for (int i = 0; i < pass.pixels; ++i) {
        uint8_t value = light[size_t(i) * channels + plane];
        out[size_t(i)] = table.size() == 256 ? table[255 - value] : value;
    }
    return out;
}

void COrbelDevice::QueueNext()
{
    m_pending.clear();
    m_nPendingAt = 0;
    if (!m_bPassActive)
        return;
    const COrbelPass& pass = m_passes.back();
    uint32_t count = 0;
    if (m_nNextLine < pass.lines) {
        int index = m_nNextLine++;
        const std::vector<uint8_t>& line = DeviceLine(index);
        count = index == m_nOddLine ? m_nOddCount : uint32_t(line.size());
        m_pending.assign(4, 0);
        m_pending.insert(m_pending.end(), line.begin(), line.begin() + std::min<size_t>(count, line.size()));
        m_pending.resize(4 + count, line.back());
    } else if (!m_bLeftoverSent && m_nLeftover != 0) {
        m_bLeftoverSent = true;
        count = m_nLeftover;
        m_pending.assign(4, 0);
        m_pending.insert(m_pending.end(), count, kLeftoverByte);
    } else {
        return;
    }
    m_pending[1] = uint8_t(count >> 8);
    m_pending[2] = uint8_t(count);
}

void COrbelDevice::OnRead10(uint8_t dataType, uint16_t, CSimTransfer& io, CSimReply&)
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    const std::vector<uint8_t> filler(io.Length(), 0);
    if (dataType == 1) {
        if (m_bAnswerPending && io.Length() != 0) {
            m_bAnswerPending = false;
            io.PutIn(&kAnswerByte, 1);
            return;
        }
        io.PutIn(filler.data(), filler.size());
        return;
    }
    if (m_nPendingAt >= m_pending.size())
        QueueNext();
    size_t available = m_pending.size() - m_nPendingAt;
    if (available == 0) {
        io.PutIn(filler.data(), filler.size());
        return;
    }
    size_t n = std::min<size_t>(available, io.Length());
    m_nPendingAt += io.PutIn(m_pending.data() + m_nPendingAt, n);
}
