#pragma once

// Colour management as the scan core sees it: the scan's steps, transforms and image files through
// the colour engine. The programs install one instance at start-up (SetScanColourServices).

#include "core/scan/ScanColour.h"

class CEngineScanColour : public CScanColourServices {
public:
    bool RunOutputTransform(CDescriptorPair& pair, const COutputSteps& steps, int sizing) override;
    bool BeginOutputTransform(CDescriptorPair& pair, const COutputSteps& steps) override;
    bool TransformOutputBlock(CDescriptorPair& pair) override;
    bool EndOutputTransform() override;
    bool RebuildScanTransforms(CDescriptorPair& pair) override;
    void FreeScanTransforms() override;
    bool OpenLinkTransform(CDescriptorPair& pair, const char* linkName) override;
    void FreeMainTransform() override;
    bool ApplySecondaryTransform(CDescriptorPair& pair) override;
    bool ApplyMainTransform(CDescriptorPair& pair) override;
    bool ApplyMainTransformChecked(CDescriptorPair& pair) override;
    bool HasFlavourChain() override;
    bool ApplyFlavourChain(CCmsImageDesc& source, CCmsImageDesc& destination) override;
    int OpenImageFile(const char* path, CCmsImageDesc* desc) override;
    int WriteImageFile(CCmsImageDesc* desc) override;
    int CloseImageFile(CCmsImageDesc* desc) override;
};
