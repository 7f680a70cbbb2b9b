#pragma once

// What the engine keeps in a caller's 64-byte CmsHandle: a tag, the kind of object and a pointer
// to the engine's own object. Everything else stays zero, so a cleared handle is empty.

#include <cstdint>
#include <cstring>

#include "core/cms/CmsRecords.h"

enum class EngineObjectKind : uint32_t { None = 0, FilmType = 1 };

struct EngineHandleData {
    uint32_t tag;
    EngineObjectKind kind;
    void* object;
};

constexpr uint32_t kEngineHandleTag = 0x48534D43;  // "CMSH"

inline const EngineHandleData* ReadHandle(const CmsHandle* handle)
{
    auto* data = reinterpret_cast<const EngineHandleData*>(handle->bytes);
    return data->tag == kEngineHandleTag ? data : nullptr;
}

inline void WriteHandle(CmsHandle* handle, EngineObjectKind kind, void* object)
{
    std::memset(handle->bytes, 0, sizeof handle->bytes);
    EngineHandleData data{kEngineHandleTag, kind, object};
    std::memcpy(handle->bytes, &data, sizeof data);
}
