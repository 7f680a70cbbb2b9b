#pragma once

#include "core/scsi/ScsiTransport.h"

// Access methods of the configuration that this program no longer carries: each opens with
// "not supported", and its commands fail like the base transport's.
class CStubTransport : public CScsiTransport {
public:
    explicit CStubTransport(const char* traceLine) : m_traceLine(traceLine) {}
    uint16_t Open() override;

private:
    const char* m_traceLine;
};

class CPnrCardTransport : public CStubTransport {
public:
    CPnrCardTransport() : CStubTransport("PNR card not supported") {}
};

class CPczCardTransport : public CStubTransport {
public:
    CPczCardTransport() : CStubTransport("PCZ card not supported") {}
};

class CDosAspiTransport : public CStubTransport {
public:
    CDosAspiTransport() : CStubTransport("Dos ASPI not supported") {}
};

class CRpcTransport : public CStubTransport {
public:
    CRpcTransport() : CStubTransport("RPC not supported") {}
};

class CWinAspi16Transport : public CStubTransport {
public:
    CWinAspi16Transport() : CStubTransport("Winaspi 16 not supported") {}
};
