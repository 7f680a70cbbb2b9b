#include "core/devices/ModelTable.h"

#include "core/devices/ZandorInquiryBlock.h"
#include "core/driver/ScannerDriver.h"
#include "core/scsi/ScsiBuffer.h"

#include <algorithm>
#include <cstring>

uint32_t g_ModelEnableMask = 0xFFFFFFFF;

namespace {

// Standard INQUIRY layout: the fields are compared byte for byte, padding included.
constexpr int kVendorOffset = 8;
constexpr int kVendorLength = 8;
constexpr int kProductOffset = 16;
constexpr int kProductLength = 16;
constexpr int kRevisionOffset = 32;
constexpr int kRevisionLength = 4;

bool FieldIs(const uint8_t* data, int offset, int length, const char* text)
{
    return memcmp(data + offset, text, (size_t)length) == 0;
}

bool FieldInList(const uint8_t* data, int offset, int length, const char* const* list)
{
    for (; *list != nullptr; ++list)
        if (FieldIs(data, offset, length, *list))
            return true;
    return false;
}

// Vendor lists.
const char* const kPendaroVendors[] = {"TLX SC31", "ZELK    ", "GENORA  ", nullptr};
const char* const kZelk[] = {"ZELK    ", nullptr};
const char* const kOrbelVendors[] = {"VARDEN  ", "ZELK    ", nullptr};
const char* const kKoval2Vendors[] = {"TALVINEX", "TLX SC31", "ZELK    ", "GENORA  ", nullptr};

// Product lists.
const char* const kPendaro[] = {"Pendaro         ", "DX-690          ", nullptr};
const char* const kPendaro2[] = {"Pendaro II      ", nullptr};
const char* const kKovalPlus[] = {"KOVAL PLUS      ", nullptr};
const char* const kKoval[] = {"KOVAL           ", nullptr};
const char* const kOstravel[] = {"Ostravel        ", nullptr};
const char* const kOrbel[] = {"ORBEL 35        ", "VF-3510AF       ", nullptr};
const char* const kTmr[] = {"TM-R-S          ", "TM-R            ", nullptr};
const char* const kTelmari[] = {"TELMARI         ", nullptr};
const char* const kTelmariPlus[] = {"TELMARI PLUS    ", nullptr};
const char* const kKiltorra[] = {"KILTORRA        ", nullptr};
const char* const kKoval2[] = {"KOVAL II        ", "DX-700          ", nullptr};
const char* const kBiravo[] = {"BIRAVO          ", nullptr};
const char* const kLumetra[] = {"Ocellus Camera  ", "LUMETRA         ", nullptr};
// The FENNIK entry takes another vendor's two products whatever the mask says.
const char* const kKestrian[] = {"KESTSCAN_A4____1", "KESTSCAN_LGL___1", nullptr};
const char* const kFennik[] = {"FENNIK          ", "Fennik          ", nullptr};

const CProductGroup kPendaroGroups[] = {{kPendaro, 0x100}, {kPendaro2, 0x1000}, {nullptr, 0}};
const CProductGroup kKovalGroups[] = {{kKovalPlus, 0x20}, {kKoval, 0x2}, {nullptr, 0}};
const CProductGroup kOstravelGroups[] = {{kOstravel, 0x8000}, {nullptr, 0}};
const CProductGroup kOrbelGroups[] = {{kOrbel, 0x40}, {nullptr, 0}};
const CProductGroup kTmrGroups[] = {{kTmr, 0x200}, {nullptr, 0}};
const CProductGroup kTelmariGroups[] = {{kTelmari, 0x4}, {nullptr, 0}};
const CProductGroup kTelmariUltraGroups[] = {{kTelmariPlus, 0x80}, {nullptr, 0}};
const CProductGroup kKiltorraGroups[] = {{kKiltorra, 0x400}, {nullptr, 0}};
const CProductGroup kKoval2Groups[] = {{kKoval2, 0x800}, {kBiravo, 0x4000}, {nullptr, 0}};
const CProductGroup kLumetraGroups[] = {{kLumetra, 0x2000}, {nullptr, 0}};

// The FENNIK rows pair each vendor with its own products only.
class CFennikDescriptor : public CModelDescriptor {
public:
    CFennikDescriptor() : CModelDescriptor(nullptr, nullptr) { }
    bool Match(CScsiInquiryBuffer& inquiry) override
    {
        const uint8_t* data = inquiry.GetData();
        if (FieldIs(data, kVendorOffset, kVendorLength, "KESTRIAN"))
            return FieldInList(data, kProductOffset, kProductLength, kKestrian);
        return FieldIs(data, kVendorOffset, kVendorLength, "ZELK    ") &&
               FieldInList(data, kProductOffset, kProductLength, kFennik) &&
               (g_ModelEnableMask & 0x10000) != 0;
    }
};

CModelDescriptor g_PendaroDescriptor(kPendaroVendors, kPendaroGroups);
CModelDescriptor g_KovalDescriptor(kZelk, kKovalGroups);
CModelDescriptor g_OstravelDescriptor(kPendaroVendors, kOstravelGroups);
CModelDescriptor g_OrbelDescriptor(kOrbelVendors, kOrbelGroups);
CModelDescriptor g_TmrDescriptor(kZelk, kTmrGroups);
CModelDescriptor g_TelmariDescriptor(kZelk, kTelmariGroups);
CTelmariUltraDescriptor g_TelmariUltraDescriptor(kZelk, kTelmariUltraGroups);
CModelDescriptor g_KiltorraDescriptor(kZelk, kKiltorraGroups);
CZandorDescriptor g_ZandorDescriptor;
CModelDescriptor g_Koval2Descriptor(kKoval2Vendors, kKoval2Groups);
CModelDescriptor g_LumetraDescriptor(kZelk, kLumetraGroups);
CFennikDescriptor g_FennikDescriptor;

}  // namespace

CModelDescriptor* const g_ModelDescriptors[kModelCount + 1] = {
    &g_PendaroDescriptor, &g_KovalDescriptor,  &g_OstravelDescriptor,     &g_OrbelDescriptor,
    &g_TmrDescriptor,     &g_TelmariDescriptor, &g_TelmariUltraDescriptor, &g_KiltorraDescriptor,
    &g_ZandorDescriptor,  &g_Koval2Descriptor, &g_LumetraDescriptor,      &g_FennikDescriptor,
    nullptr,
};

void RegisterDriverFactory(ModelIndex index, DriverFactory factory)
{
    if (index >= 0 && index < kModelCount)
        g_ModelDescriptors[index]->SetDriverFactory(factory);
}

bool CModelDescriptor::MatchListed(CScsiInquiryBuffer& inquiry) const
{
    const uint8_t* data = inquiry.GetData();
    if (m_pVendors == nullptr || m_pGroups == nullptr || !FieldInList(data, kVendorOffset, kVendorLength, m_pVendors))
        return false;
    for (const CProductGroup* group = m_pGroups; group->products != nullptr; ++group)
        if (FieldInList(data, kProductOffset, kProductLength, group->products) &&
            (group->maskBit == 0 || (g_ModelEnableMask & group->maskBit) != 0))
            return true;
    return false;
}

bool CModelDescriptor::Match(CScsiInquiryBuffer& inquiry) { return MatchListed(inquiry); }

CScannerDriver* CModelDescriptor::Create()
{
    return m_pfnCreate != nullptr ? m_pfnCreate() : nullptr;
}

bool CTelmariUltraDescriptor::Match(CScsiInquiryBuffer& inquiry)
{
    if (!MatchListed(inquiry))
        return false;
    uint8_t* data = inquiry.GetData();
    // Firmware above 2.5 is the ULTRA model, which still calls itself TELMARI PLUS.
    if (memcmp(data + kRevisionOffset, "2.5 ", kRevisionLength) > 0)
        memcpy(data + kProductOffset, "TELMARI ULTRA   ", kProductLength);
    return true;
}

namespace {

// A text copied as zero-terminated and zero-filled to the field's width.
void CopyTextField(uint8_t* field, int width, const char* text)
{
    memset(field, 0, (size_t)width);
    size_t length = std::min(strlen(text), (size_t)width);
    memcpy(field, text, length);
}

}  // namespace

bool CZandorDescriptor::Match(CScsiInquiryBuffer& inquiry)
{
    CZandorInquiryBlock block;
    uint32_t length = std::min<uint32_t>(inquiry.GetLength(), kZandorInquiryLength);
    memcpy(block.GetData(), inquiry.GetData(), length);
    if (!block.HasZelkSignature() || (g_ModelEnableMask & 0x10) == 0)
        return false;
    uint8_t* data = inquiry.GetData();
    memcpy(data + kVendorOffset, block.GetVendor(), kVendorLength);
    CopyTextField(data + kProductOffset, kProductLength, block.GetModelName());
    char revision[kZandorRevisionLength + 1];
    block.GetRevision(revision);
    CopyTextField(data + kRevisionOffset, kRevisionLength, revision);
    return true;
}

int32_t FirstMatchingModel(CScsiInquiryBuffer& inquiry, bool carriedOnly)
{
    for (int32_t i = 0; g_ModelDescriptors[i] != nullptr; ++i) {
        CModelDescriptor* entry = g_ModelDescriptors[i];
        if (carriedOnly && !entry->IsCarried())
            continue;
        if (entry->Match(inquiry))
            return i;
    }
    return -1;
}
