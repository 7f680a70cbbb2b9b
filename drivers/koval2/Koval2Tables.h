#pragma once

#include "core/driver/FormatEntry.h"
#include "core/driver/HoleRecord.h"

#include <cstdint>

extern const uint32_t kKoval2Resolutions[];
extern const uint32_t kBiravoResolutions[];
extern const CStaticFormatEntry kKoval2Formats[];
extern const CStaticFormatEntry kBiravoFormats[];
extern const HoleRecord kBiravoHolders[];
