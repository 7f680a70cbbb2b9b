#include "core/scsi/StubTransports.h"

#include "core/messages/TraceLog.h"

uint16_t CStubTransport::Open()
{
    if (g_pTraceLog != nullptr)
        g_pTraceLog->Printf("%s", m_traceLine);
    return kMsgScsiNotSupported;
}
