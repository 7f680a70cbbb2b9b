#include "app/ModeKeyTable.h"

#include "core/driver/ScannerDriver.h"
#include "framework/App.h"

#include <cstdlib>

CModeKeyTable* g_pModeKeyTable = nullptr;

namespace {

struct CModeKeys {
    const char* mode;
    const char* swap;
};

const CModeKeys kKeys[] = {
    {"LineArt", "SwapLineArt"},     {"HalfTone", "SwapHalfTone"}, {"GrayScale", "SwapGrayScale"},
    {"ColorRGB", "SwapColorRGB"},   {"ColorCMYK", "SwapColorCMYK"},
};

uint32_t CurrentKind()
{
    return g_pScannerDriver ? g_pScannerDriver->m_nKind : 0;
}

}  // namespace

CString CModeKeyTable::SectionName() const
{
    return m_strCompany + "-" + m_strTitle + "-" + m_strProductVersion + "-" + m_strExtra;
}

const char* CModeKeyTable::ModeKeyName(int32_t imageType)
{
    return imageType >= 0 && imageType < 5 ? kKeys[imageType].mode : "Error";
}

const char* CModeKeyTable::SwapKeyName(int32_t imageType)
{
    return imageType >= 0 && imageType < 5 ? kKeys[imageType].swap : "Error";
}

uint32_t CModeKeyTable::ReadMask(int32_t imageType) const
{
    const CString text = AfxGetApp()->GetProfileString(SectionName(), ModeKeyName(imageType), m_strDefaultMask);
    return (uint32_t)strtoul(text, nullptr, 16);
}

void CModeKeyTable::WriteMask(int32_t imageType, uint32_t mask)
{
    CString text;
    text.Format("%lx", (unsigned long)mask);
    AfxGetApp()->WriteProfileString(SectionName(), ModeKeyName(imageType), text);
}

BOOL CModeKeyTable::IsModeEnabled(int32_t imageType) const
{
    return (ReadMask(imageType) & CurrentKind()) != 0;
}

void CModeKeyTable::SetModeEnabled(int32_t imageType, BOOL on)
{
    const uint32_t mask = ReadMask(imageType);
    WriteMask(imageType, on ? mask | CurrentKind() : mask & ~CurrentKind());
}

int CModeKeyTable::GetSwapBytes(int32_t imageType) const
{
    return (int)AfxGetApp()->GetProfileInt(SectionName(), SwapKeyName(imageType), 0);
}

void CModeKeyTable::SetSwapBytes(int32_t imageType, int value)
{
    AfxGetApp()->WriteProfileInt(SectionName(), SwapKeyName(imageType), value);
}

void CModeKeyTable::WriteAll()
{
    for (int32_t type = 0; type < 5; ++type)
        AfxGetApp()->WriteProfileString(
            SectionName(), ModeKeyName(type),
            AfxGetApp()->GetProfileString(SectionName(), ModeKeyName(type), m_strDefaultMask));
}
