#pragma once

// A colour-negative film type: the density of the bare film (base plus fog) and the density range
// each dye layer spans, per channel red, green, blue, in density units. Stored as a small text
// file "<name>.flm" in the film-type folder.

#include <string>

#include "core/cms/CmsRecords.h"
#include "engine/EngineHandle.h"

class CEngineError;

struct CFilmType : CEngineObject {
    std::string description;
    float base[3] = {};
    float range[3] = {};

    // 0, or 1 with the error set (missing file, unreadable or out-of-range values).
    int Load(const std::string& path, CEngineError& error);
    // Writes beside the target and then replaces it, so a failed write keeps the old file.
    int Save(const std::string& path, CEngineError& error) const;

    // The minimum and maximum densities the scan of this film should map, into the block's result
    // fields, and the inversion curve of each channel that maps them to a positive.
    void ComputeCorrection(CmsCorrectionBlock& block) const;

    void FillInfo(CmsObjectInfo& info, const std::string& name, int32_t created) const;
};
