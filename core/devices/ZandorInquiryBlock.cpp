#include "core/devices/ZandorInquiryBlock.h"

bool CZandorInquiryBlock::HasZelkSignature() const { return memcmp(m_data + 36, "ZELK0", 5) == 0; }

const char* CZandorInquiryBlock::GetModelName() const
{
    switch (m_data[41]) {
    case '1': return "Zandor M20GS/M30GS";
    case '2': return "Zandor M20/M30";
    case '3': return "Zandor II";
    case '4': return "Zandor Color";
    default: return "Unknown Scanner";
    }
}

void CZandorInquiryBlock::GetRevision(char (&text)[kZandorRevisionLength + 1]) const
{
    memcpy(text, m_data + 20, kZandorRevisionLength);
    text[kZandorRevisionLength] = '\0';
}
