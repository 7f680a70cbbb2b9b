#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "sim/SimBus.h"
#include "sim/SimOptions.h"

// The virtual SCSI bus: host adapters, the targets on them and the scanner class devices. Built
// in code by a test, or from a bus description text (see sim/README.md) by our ASPI manager DLL.
class CVirtualBus : public CSimBus {
public:
    CVirtualBus();
    ~CVirtualBus() override;

    int AddHost(const CSimHostInfo& info);
    CSimHostInfo* Host(int host);
    void SetManagerReady(bool ready) { m_managerReady = ready; }
    CVirtualTarget* Attach(const CSimAddress& address, std::unique_ptr<CVirtualTarget> target);
    CVirtualTarget* Target(const CSimAddress& address) const;
    void AddScannerDevice(int n, const CSimAddress& address);
    // Runs when a target's abort fault fires: the stand-in for the user pressing Cancel.
    void SetAbortHook(std::function<void()> hook) { m_abortHook = std::move(hook); }

    bool LoadDescription(const std::string& text, std::string* error);
    bool LoadDescriptionFile(const char* path, std::string* error);

    bool ManagerReady() override { return m_managerReady; }
    int HostCount() override { return int(m_hosts.size()); }
    bool GetHost(int host, CSimHostInfo& info) override;
    bool GetScannerDevice(int n, CSimAddress& address) override;
    CSimReply Execute(const CSimAddress& address, const CSimCommand& cmd) override;

private:
    using Key = std::tuple<int, int, int, int>;
    static Key KeyOf(const CSimAddress& a) { return Key(a.host, a.bus, a.target, a.lun); }
    bool ParseLine(const std::string& line, std::string* error);
    bool ParseHost(const std::vector<std::string>& words, const CSimOptions& options);
    bool ParseDevice(const CSimAddress& address, const CSimOptions& options, std::string* error);
    bool ParseFault(const CSimAddress& address, const CSimOptions& options, std::string* error);

    bool m_managerReady = true;
    std::vector<CSimHostInfo> m_hosts;
    std::map<Key, std::unique_ptr<CVirtualTarget>> m_targets;
    std::map<int, CSimAddress> m_scanners;
    std::function<void()> m_abortHook;
};
