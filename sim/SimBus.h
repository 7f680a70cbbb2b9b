#pragma once

#include "sim/VirtualTarget.h"

// One host adapter of the virtual bus as the ASPI manager and the SCSI port report it.
struct CSimHostInfo {
    char name[17] = "VIRTUAL HOST";  // the adapter identifier, at most 16 characters
    int scsiId = 7;
    int buses = 1;
    int targets = 8;               // 8, 16 or 32 (wide adapters)
    bool extendedInquiry = true;   // the manager answers the extended adapter inquiry
    bool immediate = false;        // the manager completes requests inside the send call
    uint32_t maxTransfer = 65536;  // port capabilities
    uint32_t maxPages = 17;
};

struct CSimAddress {
    int host = 0;
    int bus = 0;
    int target = 0;
    int lun = 0;
};

// What the carriers (our ASPI manager DLL and the pass-through seam) see of a bus. Kept abstract
// so that the DLL can run a bus object that lives in the program that loaded it.
class CSimBus {
public:
    virtual ~CSimBus() = default;
    virtual bool ManagerReady() = 0;
    virtual int HostCount() = 0;
    virtual bool GetHost(int host, CSimHostInfo& info) = 0;
    // The device behind "\\.\SCANNERn" of the scanner class driver.
    virtual bool GetScannerDevice(int n, CSimAddress& address) = 0;
    virtual CSimReply Execute(const CSimAddress& address, const CSimCommand& cmd) = 0;
};
