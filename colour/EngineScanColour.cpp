#include "colour/EngineScanColour.h"

#include "colour/ChromabondChain.h"
#include "colour/CmsResult.h"
#include "colour/ScanTransforms.h"

bool CEngineScanColour::RunOutputTransform(CDescriptorPair& pair, const COutputSteps& steps, int sizing)
{
    return ::RunOutputTransform(pair, steps, sizing);
}

bool CEngineScanColour::BeginOutputTransform(CDescriptorPair& pair, const COutputSteps& steps)
{
    return ::BeginOutputTransform(pair, steps);
}

bool CEngineScanColour::TransformOutputBlock(CDescriptorPair& pair) { return ::TransformOutputBlock(pair); }

bool CEngineScanColour::EndOutputTransform() { return ::EndOutputTransform(); }

bool CEngineScanColour::RebuildScanTransforms(CDescriptorPair& pair) { return ::RebuildScanTransforms(pair); }

void CEngineScanColour::FreeScanTransforms() { ::FreeScanTransforms(); }

bool CEngineScanColour::OpenLinkTransform(CDescriptorPair& pair, const char* linkName)
{
    return ::OpenLinkTransform(pair, linkName);
}

void CEngineScanColour::FreeMainTransform() { ::FreeMainTransform(); }

// A transform that is not in use passes the block; one that is and fails stops the scan.
bool CEngineScanColour::ApplySecondaryTransform(CDescriptorPair& pair)
{
    return !IsSecondaryTransformInUse() || CheckCmsResult(::ApplySecondaryTransform(pair));
}

bool CEngineScanColour::ApplyMainTransform(CDescriptorPair& pair)
{
    return !IsMainTransformInUse() || CheckCmsResult(::ApplyMainTransform(pair));
}

bool CEngineScanColour::ApplyMainTransformChecked(CDescriptorPair& pair) { return ::ApplyMainTransformChecked(pair); }

bool CEngineScanColour::HasFlavourChain() { return g_pCurrentFlavor != nullptr && g_pCurrentFlavor->GetCount() > 0; }

bool CEngineScanColour::ApplyFlavourChain(CCmsImageDesc& source, CCmsImageDesc& destination)
{
    return g_pCurrentFlavor == nullptr || g_pCurrentFlavor->Apply(source, destination);
}

int CEngineScanColour::OpenImageFile(const char* path, CCmsImageDesc* desc)
{
    return g_EngineImageFile.Open(path, desc, 0);
}

int CEngineScanColour::WriteImageFile(CCmsImageDesc* desc) { return g_EngineImageFile.Write(desc); }

int CEngineScanColour::CloseImageFile(CCmsImageDesc* desc) { return g_EngineImageFile.Close(desc); }
