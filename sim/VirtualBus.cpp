#include "sim/VirtualBus.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "sim/DeviceKinds.h"

std::string CSimOptions::Text(const std::string& key, const std::string& fallback) const
{
    auto it = m_values.find(key);
    return it == m_values.end() ? fallback : it->second;
}

long CSimOptions::Number(const std::string& key, long fallback) const
{
    auto it = m_values.find(key);
    if (it == m_values.end() || it->second.empty())
        return fallback;
    char* end = nullptr;
    long value = std::strtol(it->second.c_str(), &end, 0);
    return *end == '\0' ? value : fallback;
}

namespace {

// Splits a line into words; a value may be quoted to hold blanks (name="AHA 2940").
std::vector<std::string> SplitWords(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool any = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\r')) {
            if (any)
                words.push_back(word);
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any)
        words.push_back(word);
    return words;
}

bool ParseFaultKind(const std::string& name, SimFaultKind& kind)
{
    static const struct {
        const char* name;
        SimFaultKind kind;
    } kNames[] = {
        {"delay", SimFaultKind::Delay},     {"busy", SimFaultKind::Busy},
        {"busyfor", SimFaultKind::BusyFor}, {"hang", SimFaultKind::Hang},
        {"check", SimFaultKind::Check},     {"short", SimFaultKind::ShortTransfer},
        {"abort", SimFaultKind::Abort},     {"noselect", SimFaultKind::NoSelect},
    };
    for (const auto& entry : kNames) {
        if (name == entry.name) {
            kind = entry.kind;
            return true;
        }
    }
    return false;
}

// "busy:2,notready:1,ready" -> the test unit ready script.
bool ParseTurScript(const std::string& text, std::vector<std::pair<TurStep, int>>& steps)
{
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) {
        std::string name = item.substr(0, item.find(':'));
        int count =
            item.find(':') == std::string::npos ? 1 : std::atoi(item.c_str() + item.find(':') + 1);
        TurStep step;
        if (name == "ready")
            step = TurStep::Ready;
        else if (name == "busy")
            step = TurStep::Busy;
        else if (name == "notready")
            step = TurStep::NotReady;
        else
            return false;
        steps.emplace_back(step, count < 1 ? 1 : count);
    }
    return !steps.empty();
}

// "70/00/05/00" -> the sense bytes as given; each byte one or two hex digits, at most the 32 bytes
// a reply carries.
bool ParseRawSense(const std::string& text, std::vector<uint8_t>& bytes)
{
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, '/')) {
        char* end = nullptr;
        unsigned long value = std::strtoul(item.c_str(), &end, 16);
        if (item.empty() || item.size() > 2 || *end != '\0' || !std::isxdigit((unsigned char)item[0]))
            return false;
        bytes.push_back(uint8_t(value));
    }
    return !bytes.empty() && bytes.size() <= sizeof(CSimReply::sense) && text.back() != '/';
}

}  // namespace

CVirtualBus::CVirtualBus() = default;
CVirtualBus::~CVirtualBus() = default;

int CVirtualBus::AddHost(const CSimHostInfo& info)
{
    m_hosts.push_back(info);
    return int(m_hosts.size()) - 1;
}

CSimHostInfo* CVirtualBus::Host(int host)
{
    return host >= 0 && host < int(m_hosts.size()) ? &m_hosts[host] : nullptr;
}

CVirtualTarget* CVirtualBus::Attach(const CSimAddress& address,
                                    std::unique_ptr<CVirtualTarget> target)
{
    while (int(m_hosts.size()) <= address.host)
        m_hosts.push_back(CSimHostInfo());
    CVirtualTarget* raw = target.get();
    m_targets[KeyOf(address)] = std::move(target);
    return raw;
}

CVirtualTarget* CVirtualBus::Target(const CSimAddress& address) const
{
    auto it = m_targets.find(KeyOf(address));
    return it == m_targets.end() ? nullptr : it->second.get();
}

void CVirtualBus::AddScannerDevice(int n, const CSimAddress& address)
{
    m_scanners[n] = address;
}

bool CVirtualBus::GetHost(int host, CSimHostInfo& info)
{
    if (host < 0 || host >= int(m_hosts.size()))
        return false;
    info = m_hosts[host];
    return true;
}

bool CVirtualBus::GetScannerDevice(int n, CSimAddress& address)
{
    auto it = m_scanners.find(n);
    if (it == m_scanners.end())
        return false;
    address = it->second;
    return true;
}

CSimReply CVirtualBus::Execute(const CSimAddress& address, const CSimCommand& cmd)
{
    CVirtualTarget* target = Target(address);
    CSimHostInfo info;
    if (target == nullptr || !GetHost(address.host, info) || address.bus >= info.buses ||
        address.target >= info.targets) {
        CSimReply none;
        none.disposition = SimDisposition::NoTarget;
        return none;
    }
    CSimReply reply = target->Execute(cmd);
    if (reply.abortRequested && m_abortHook)
        m_abortHook();
    return reply;
}

bool CVirtualBus::LoadDescriptionFile(const char* path, std::string* error)
{
    std::ifstream file(path);
    if (!file) {
        if (error)
            *error = std::string("cannot open ") + path;
        return false;
    }
    std::stringstream text;
    text << file.rdbuf();
    return LoadDescription(text.str(), error);
}

bool CVirtualBus::LoadDescription(const std::string& text, std::string* error)
{
    std::stringstream stream(text);
    std::string line;
    int number = 0;
    while (std::getline(stream, line)) {
        ++number;
        std::string why;
        if (!ParseLine(line, &why)) {
            if (error)
                *error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
    }
    return true;
}

bool CVirtualBus::ParseLine(const std::string& line, std::string* error)
{
    std::vector<std::string> words = SplitWords(line.substr(0, line.find('#')));
    if (words.empty())
        return true;
    std::vector<std::string> numbers;
    CSimOptions options;
    for (size_t i = 1; i < words.size(); ++i) {
        size_t equals = words[i].find('=');
        if (equals == std::string::npos)
            numbers.push_back(words[i]);
        else
            options.Set(words[i].substr(0, equals), words[i].substr(equals + 1));
    }
    const std::string& keyword = words[0];
    if (keyword == "manager") {
        m_managerReady = numbers.empty() || numbers[0] != "down";
        return true;
    }
    if (keyword == "host") {
        if (ParseHost(numbers, options))
            return true;
        *error = "host needs its number";
        return false;
    }
    if ((keyword == "device" || keyword == "fault") &&
        (numbers.size() == 3 || numbers.size() == 4)) {
        CSimAddress a;
        a.host = std::atoi(numbers[0].c_str());
        a.bus = std::atoi(numbers[1].c_str());
        a.target = std::atoi(numbers[2].c_str());
        a.lun = numbers.size() == 4 ? std::atoi(numbers[3].c_str()) : 0;
        return keyword == "device" ? ParseDevice(a, options, error) : ParseFault(a, options, error);
    }
    *error = "cannot read \"" + keyword + "\" line";
    return false;
}

bool CVirtualBus::ParseHost(const std::vector<std::string>& numbers, const CSimOptions& options)
{
    if (numbers.size() != 1)
        return false;
    int host = std::atoi(numbers[0].c_str());
    if (host < 0 || host > 15)
        return false;
    while (int(m_hosts.size()) <= host)
        m_hosts.push_back(CSimHostInfo());
    CSimHostInfo& info = m_hosts[host];
    if (options.Has("name")) {
        std::memset(info.name, 0, sizeof info.name);
        std::strncpy(info.name, options.Text("name").c_str(), sizeof info.name - 1);
    }
    info.scsiId = int(options.Number("scsiid", info.scsiId));
    info.buses = int(options.Number("buses", info.buses));
    info.targets = int(options.Number("targets", info.targets));
    info.extendedInquiry = options.Number("extended", info.extendedInquiry) != 0;
    info.immediate = options.Number("immediate", info.immediate) != 0;
    info.maxTransfer = uint32_t(options.Number("maxtransfer", long(info.maxTransfer)));
    info.maxPages = uint32_t(options.Number("pages", long(info.maxPages)));
    return true;
}

bool CVirtualBus::ParseDevice(const CSimAddress& address, const CSimOptions& options,
                              std::string* error)
{
    std::string kind = options.Text("kind", "generic");
    std::unique_ptr<CVirtualTarget> target = CreateVirtualDevice(kind, options);
    if (!target) {
        *error = "unknown device kind \"" + kind + "\"";
        return false;
    }
    if (options.Has("tur")) {
        std::vector<std::pair<TurStep, int>> steps;
        if (!ParseTurScript(options.Text("tur"), steps)) {
            *error = "bad tur script";
            return false;
        }
        target->SetTestUnitReadyScript(steps);
    }
    if (options.Has("transcript") && !target->SetTranscriptFile(options.Text("transcript"))) {
        *error = "cannot write transcript \"" + options.Text("transcript") + "\"";
        return false;
    }
    target->SetForeignReservation(options.Text("reserved") == "foreign");
    if (options.Has("scanner"))
        AddScannerDevice(int(options.Number("scanner")), address);
    Attach(address, std::move(target));
    return true;
}

bool CVirtualBus::ParseFault(const CSimAddress& address, const CSimOptions& options,
                             std::string* error)
{
    CVirtualTarget* target = Target(address);
    CSimFault fault;
    if (target == nullptr || !ParseFaultKind(options.Text("kind"), fault.kind)) {
        *error = "fault needs a device and a known kind";
        return false;
    }
    fault.opcode = int(options.Number("opcode", -1));
    fault.skip = int(options.Number("skip", 0));
    fault.count = int(options.Number("count", 1));
    fault.ms = uint32_t(options.Number("ms", 0));
    fault.bytes = uint32_t(options.Number("bytes", 0));
    unsigned key = 0, asc = 0, ascq = 0;
    if (options.Has("sense") &&
        std::sscanf(options.Text("sense").c_str(), "%x/%x/%x", &key, &asc, &ascq) != 3) {
        *error = "sense is key/asc/ascq in hex";
        return false;
    }
    fault.sense = CSimSense{uint8_t(key), uint8_t(asc), uint8_t(ascq)};
    if (options.Has("rawsense") && !ParseRawSense(options.Text("rawsense"), fault.rawSense)) {
        *error = "rawsense is 1 to 32 hex bytes b0/b1/...";
        return false;
    }
    target->AddFault(fault);
    return true;
}
