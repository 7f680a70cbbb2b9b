#pragma once

#include "core/driver/FormatEntry.h"

#include <cstdint>

extern const uint32_t kPendaroResolutions[];
extern const uint32_t kPendaro2Resolutions[];
extern const uint32_t kOstravelResolutions[];
extern const CStaticFormatEntry kPendaroFormats[];
extern const CStaticFormatEntry kOstravelFormats[];
