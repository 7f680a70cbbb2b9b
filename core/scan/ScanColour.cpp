#include "core/scan/ScanColour.h"

#include "core/messages/MessageReporter.h"

namespace {

constexpr int kMsgNoColourManagement = 3515;

CScanColourServices g_Defaults;
CScanColourServices* g_pColour = nullptr;

bool Refuse()
{
    ReportMessage(kMsgNoColourManagement);
    return false;
}

}  // namespace

void COutputSteps::Add(int32_t kind, float a, float b, float c, float d)
{
    if (count >= kMaxSteps)
        return;
    steps[count] = COutputStep{kind, {a, b, c, d}};
    ++count;
}

bool COutputSteps::Has(int32_t kind) const
{
    for (int i = 0; i < count; ++i)
        if (steps[i].kind == kind)
            return true;
    return false;
}

bool CScanColourServices::RunOutputTransform(CDescriptorPair&, const COutputSteps&, int) { return Refuse(); }

bool CScanColourServices::BeginOutputTransform(CDescriptorPair&, const COutputSteps&) { return Refuse(); }

bool CScanColourServices::TransformOutputBlock(CDescriptorPair&) { return Refuse(); }

bool CScanColourServices::EndOutputTransform() { return true; }

bool CScanColourServices::RebuildScanTransforms(CDescriptorPair&) { return Refuse(); }

void CScanColourServices::FreeScanTransforms() { }

bool CScanColourServices::OpenLinkTransform(CDescriptorPair&, const char*) { return Refuse(); }

void CScanColourServices::FreeMainTransform() { }

bool CScanColourServices::ApplySecondaryTransform(CDescriptorPair&) { return true; }

bool CScanColourServices::ApplyMainTransform(CDescriptorPair&) { return true; }

bool CScanColourServices::ApplyMainTransformChecked(CDescriptorPair&) { return Refuse(); }

bool CScanColourServices::HasFlavourChain() { return false; }

bool CScanColourServices::ApplyFlavourChain(CCmsImageDesc&, CCmsImageDesc&) { return true; }

int CScanColourServices::OpenImageFile(const char*, CCmsImageDesc*) { return 1; }

int CScanColourServices::WriteImageFile(CCmsImageDesc*) { return 1; }

int CScanColourServices::CloseImageFile(CCmsImageDesc*) { return 1; }

CScanColourServices& ScanColour() { return g_pColour != nullptr ? *g_pColour : g_Defaults; }

CScanColourServices* SetScanColourServices(CScanColourServices* services)
{
    CScanColourServices* previous = g_pColour;
    g_pColour = services;
    return previous;
}
