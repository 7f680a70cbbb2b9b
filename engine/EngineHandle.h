#pragma once

// What the engine keeps in a caller's 64-byte CmsHandle: a tag, the kind of object and a pointer
// to the engine's own object. Everything else stays zero, so a cleared handle is empty.

#include <cstdint>
#include <cstring>

#include "core/cms/CmsRecords.h"

enum class EngineObjectKind : uint32_t {
    None = 0,
    FilmType = 1,
    Step = 2,       // a processing step, or several combined into one
    Transform = 3,  // a colour transform between profiles, or an opened colour link
    Profile = 4,    // an opened profile
    CurveSet = 5,   // the curves of a ".tc" file being read or written
    Curve = 6,      // a fitted tone curve
    Object = 7,     // a stored object (a flavour part or a combined chain) held in memory
};

class CEngineObject {
public:
    virtual ~CEngineObject() = default;
};

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

// The object of a handle of that kind, else null.
template <class T>
T* HandleObject(const CmsHandle* handle, EngineObjectKind kind)
{
    const EngineHandleData* data = handle != nullptr ? ReadHandle(handle) : nullptr;
    if (data == nullptr || data->kind != kind)
        return nullptr;
    return static_cast<T*>(static_cast<CEngineObject*>(data->object));
}

inline void WriteHandle(CmsHandle* handle, EngineObjectKind kind, CEngineObject* object)
{
    std::memset(handle->bytes, 0, sizeof handle->bytes);
    EngineHandleData data{kEngineHandleTag, kind, object};
    std::memcpy(handle->bytes, &data, sizeof data);
}
