#pragma once

#include "core/scsi/ScsiTransport.h"

// The try-list position and the first-choice id, shared with the device search, which sets both
// before its first call.
extern int g_ScsiTryIndex;
extern ScsiDriverId g_FirstScsiDriver;

// Builds and opens the transport of *id, walking the try-list (ending with 0) until one opens,
// and puts it into a new g_pScsiChannel; *id is left as the id that opened.
void CreateTransport(ScsiDriverId* id, const ScsiDriverId* tryList);

// The transport of one id, not opened; the base transport for ids without one.
CScsiTransport* BuildTransport(ScsiDriverId id);
ScsiChannelKind ChannelKindOf(ScsiDriverId id);

// Deletes the channel and its transport (device search, program exit).
void DeleteScsiChannel();
