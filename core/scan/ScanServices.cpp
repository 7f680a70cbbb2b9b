// The scan core's side of the status line and of the shell's and view's scan options.

#include "core/scan/ScanServices.h"

#include "core/driver/ScannerDriver.h"
#include "core/scan/ShellServices.h"
#include "core/scsi/ScsiChannel.h"

#include <windows.h>

#include <cstdio>

namespace {

constexpr int32_t kDriverIdle = 3;

}  // namespace

CString DeviceBusyAtomName()
{
    unsigned adapter = 0, bus = 0, target = 0;
    if (g_pScsiChannel != nullptr && g_pScsiChannel->GetTransport() != nullptr) {
        CScsiTransport* transport = g_pScsiChannel->GetTransport();
        adapter = transport->GetAdapter();
        bus = transport->GetBus();
        target = transport->GetTarget();
    }
    char name[32];
    snprintf(name, sizeof name, "%u:%u:%u", adapter, bus, target);
    return CString(name);
}

int ReportScanStatus(int messageId, int32_t value)
{
    CString name = DeviceBusyAtomName();
    ATOM atom = GlobalFindAtomA(name);
    bool idle = g_pScannerDriver == nullptr || g_pScannerDriver->m_nState == kDriverIdle;
    if (idle && atom != 0)
        GlobalDeleteAtom(atom);
    else if (!idle && atom == 0)
        GlobalAddAtomA(name);
    Shell().ShowScanStatus(messageId, value);
    return 0;
}
