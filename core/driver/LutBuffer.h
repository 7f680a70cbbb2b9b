#pragma once

// The lookup-table download block: each family packs the computed table in its device's format
// (entry count, value range, byte order) and sends the block with its own command.

#include "core/scsi/ScsiBuffer.h"

#include <cstdint>

class CLutBuffer : public CScsiBuffer {
public:
    // GetLength and GetData (from CScsiBuffer) give the packed table to transfer.
    // Packs count entries of the computed table into the device format.
    virtual void LoadTable(const uint16_t* table, uint32_t count) = 0;
    // The largest value an entry may take (255, 4095, 65535, ...).
    virtual uint32_t GetMaxValue() = 0;
    // The number of entries the device expects (256, 1024, 4096, ...).
    virtual uint32_t GetEntryCount() = 0;
};
