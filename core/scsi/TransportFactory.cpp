#include "core/scsi/TransportFactory.h"

#include "core/scsi/AspiTransport.h"
#include "core/scsi/DeviceIo.h"
#include "core/scsi/NtScsiTransport.h"
#include "core/scsi/ScsiChannel.h"
#include "core/scsi/StubTransports.h"

int g_ScsiTryIndex = 0;
ScsiDriverId g_FirstScsiDriver = kScsiDriverNone;

CScsiTransport* BuildTransport(ScsiDriverId id)
{
    switch (id) {
    case kScsiDriverPnrCard:
        return new CPnrCardTransport;
    case kScsiDriverPczCard:
        return new CPczCardTransport;
    case kScsiDriverDosAspi:
        return new CDosAspiTransport;
    case kScsiDriverNtScsi:
        return new CNtScsiTransport(CurrentDeviceIo());
    case kScsiDriverRpc:
        return new CRpcTransport;
    case kScsiDriverAspi32:
        return new CAspiTransport;
    case kScsiDriverWinAspi16:
        return new CWinAspi16Transport;
    default:
        return new CScsiTransport;
    }
}

ScsiChannelKind ChannelKindOf(ScsiDriverId id)
{
    switch (id) {
    case kScsiDriverPnrCard:
        return kScsiChannelPnrCard;
    case kScsiDriverPczCard:
        return kScsiChannelPczCard;
    case kScsiDriverDosAspi:
        return kScsiChannelDosAspi;
    case kScsiDriverNtScsi:
        return kScsiChannelNtScsi;
    case kScsiDriverRpc:
        return kScsiChannelRpc;
    case kScsiDriverAspi32:
        return kScsiChannelAspi32;
    case kScsiDriverWinAspi16:
        return kScsiChannelWinAspi16;
    default:
        return kScsiChannelNone;
    }
}

void DeleteScsiChannel()
{
    if (g_pScsiChannel == nullptr)
        return;
    delete g_pScsiChannel->GetTransport();
    delete g_pScsiChannel;
    g_pScsiChannel = nullptr;
}

namespace {

// The next try-list entry, skipping the first choice (already tried). The index stays on the
// terminating 0, so a later search cannot read past the list.
ScsiDriverId NextTryListEntry(const ScsiDriverId* tryList)
{
    ScsiDriverId id = tryList[g_ScsiTryIndex];
    if (id == kScsiDriverNone)
        return id;
    ++g_ScsiTryIndex;
    if (id != g_FirstScsiDriver)
        return id;
    id = tryList[g_ScsiTryIndex];
    if (id != kScsiDriverNone)
        ++g_ScsiTryIndex;
    return id;
}

}  // namespace

void CreateTransport(ScsiDriverId* id, const ScsiDriverId* tryList)
{
    DeleteScsiChannel();
    CScsiTransport* transport = BuildTransport(*id);
    while (transport->Open() != kMsgScsiOpened) {
        delete transport;
        *id = NextTryListEntry(tryList);
        transport = BuildTransport(*id);
    }
    g_pScsiChannel = new CScsiChannel(transport, ChannelKindOf(*id));
}
