#pragma once

// The colour engine's side of a scan: the scan transforms (profile to profile, or a stored colour
// link), the output transform (the processing steps combined into one engine object, run block by
// block) and the TIFF file the engine writes. The output stage decides when each is used; this
// decides what each computes.

#include "core/scan/ScanColour.h"

#include <cstdint>

// The scan transforms. BuildScanTransforms returns the engine's result (1 is failure) and reports
// nothing; the others report a failure through CheckCmsResult.
int BuildScanTransforms();
bool RebuildScanTransforms(CDescriptorPair& pair);
int FreeScanTransforms();
int FreeMainTransform();
bool OpenLinkTransform(CDescriptorPair& pair, const char* linkName);
// The engine's raw result; 1 when the transform is absent.
int ApplySecondaryTransform(CDescriptorPair& pair);
int ApplyMainTransform(CDescriptorPair& pair);
bool ApplyMainTransformChecked(CDescriptorPair& pair);
// Which of the two the last build made.
bool IsSecondaryTransformInUse();
bool IsMainTransformInUse();

// The output transform.
bool BuildOutputTransform(const COutputSteps& steps);
bool RunOutputTransform(CDescriptorPair& pair, const COutputSteps& steps, int sizing);
bool BeginOutputTransform(CDescriptorPair& pair, const COutputSteps& steps);
bool TransformOutputBlock(CDescriptorPair& pair);
bool EndOutputTransform();

// The sink of the TIFF writer: each returns the engine's result, 0 on success.
class CEngineImageFile {
public:
    int Open(const char* path, CCmsImageDesc* desc, int flags);
    int Write(CCmsImageDesc* desc);
    int Close(CCmsImageDesc* desc);

    int32_t m_nLinesWritten = 0;
    int m_nOpenError = 0;  // the engine's code after a failed open

private:
    int32_t m_FileSlot[2] = {};  // only the engine writes here
};

extern CEngineImageFile g_EngineImageFile;
