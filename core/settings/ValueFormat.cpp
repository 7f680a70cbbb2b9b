// Display texts of setting values by unit code; the unit names come from the catalog.

#include "core/driver/ScannerDriver.h"
#include "core/messages/BoundedFormat.h"
#include "core/messages/MsgString.h"
#include "core/settings/ScanSettings.h"
#include "core/util/Numeric.h"

#include <algorithm>

namespace {

enum UnitText {
    kTextPixels = 3144,
    kTextMm = 3145,
    kTextCm = 3146,
    kTextInch = 3147,
    kTextPica = 3148,
    kTextPerInch = 3149,
    kTextPerCm = 3150,
    kTextPpi = 3151,
    kTextPpcm = 3152,
    kTextScaledDpi = 3153,
    kTextBits = 3154,
    kTextGamma = 3108,
    kTextSensitivity = 4102,
    kTextKilobytes = 4480,
    kTextMegabytes = 4481,
};

class CValueText {
public:
    explicit CValueText(char* text) : m_pText(text) {}

    template <typename... Args> void Put(const char* format, Args... args)
    {
        BoundedFormat(m_pText, kFormatValueSize, format, args...);
    }

    // "%lu %s": a number and its unit name.
    void PutWithUnit(uint32_t number, int unitText)
    {
        CMsgString unit(unitText);
        Put("%lu %s", (unsigned long)number, (const char*)unit);
    }

    // A fixed-point number whose fraction has `digits` digits, and its unit name.
    void PutFixed(uint32_t scaled, uint32_t divisor, const char* format, int unitText)
    {
        CMsgString unit(unitText);
        Put(format, (unsigned long)(scaled / divisor), (unsigned long)(scaled % divisor), (const char*)unit);
    }

private:
    char* m_pText;
};

uint32_t Round(uint32_t a, double b, double c) { return (uint32_t)ScaleRound(a, b, c, 0); }

void FormatByteCount(CValueText& out, uint32_t v)
{
    int shift = v > 0x100000 ? 20 : 10;
    uint32_t whole = v >> shift;
    uint32_t tenth = ((v - (whole << shift)) * 10) >> shift;
    CMsgString unit(shift == 20 ? kTextMegabytes : kTextKilobytes);
    out.Put("%lu.%01lu %s", (unsigned long)whole, (unsigned long)tenth, (const char*)unit);
}

}  // namespace

void CScanSettings::FormatValue(char* text, int32_t value, int unit, int32_t resolution) const
{
    CValueText out(text);
    uint32_t v = (uint32_t)value;
    switch (unit) {
    case 1: out.PutWithUnit(v, kTextPpi); return;
    case 2: out.PutWithUnit(RulingForResolution(v), kTextPerInch); return;
    case 3: out.PutWithUnit(RulingForResolutionCm(v), kTextPerCm); return;
    case 4:
    case 20:
    case 21: out.Put("%lu %%", (unsigned long)v); return;
    case 5: {
        CMsgString gamma(kTextGamma);
        out.Put("%s %lu.%01lu", (const char*)gamma, (unsigned long)((v & 0xFF) / 10), (unsigned long)((v & 0xFF) % 10));
        return;
    }
    case 6: out.Put("%lu %%", (unsigned long)(v & 0xFF)); return;
    case 7: out.PutWithUnit(v, kTextPerInch); return;
    case 8: out.PutWithUnit(Round(v, 100, 254), kTextPerCm); return;
    case 9: out.PutFixed(Round(v, 1, 10), 10, "%lu.%01lu %s", kTextMm); return;
    case 10: out.PutFixed(Round(v, 1, 10), 100, "%lu.%02lu %s", kTextCm); return;
    case 11: out.PutFixed(Round(v, 100, 2540), 100, "%lu.%02lu %s", kTextInch); return;
    case 12: out.PutFixed(Round(v, 100, 423), 100, "%lu.%02lu %s", kTextPica); return;
    case 13: FormatByteCount(out, v); return;
    case 14: out.PutWithUnit((uint32_t)ScaleRound(v, resolution, 2540, 1), kTextPixels); return;
    case 15: out.Put("%lu.%03lu D", (unsigned long)(v / 1000), (unsigned long)(v % 1000)); return;
    // A dot area in hundredths of a per cent: the fraction always has two digits, so 1205 reads
    // 12.05 and not 12.5.
    case 16: out.Put("%d.%02d", (int)(int16_t)(v / 100), (int)(int16_t)(v % 100)); return;
    case 17:
        out.PutWithUnit(Round(v, 100, GetParam(kParamScale)), kTextScaledDpi);
        return;
    case 18: out.PutFixed(v, 1000, "%lu.%03lu %s", kTextMm); return;
    case 19: out.PutWithUnit(Round(v, 100, 254), kTextPpcm); return;
    case 22:
    case 31: out.Put("%lu.%01lu", (unsigned long)(v / 10), (unsigned long)(v % 10)); return;
    case 23: out.Put("%ld %%", (long)value); return;
    case 26: {
        CMsgString name(kTextBits);
        out.Put("%ld %s", (long)value, (const char*)name);
        return;
    }
    case 27: out.Put("%lu.%03lu %%", (unsigned long)(v / 1000), (unsigned long)(v % 1000)); return;
    case 28: out.Put("%ld \xB0", (long)value); return;
    case 29: {
        uint32_t maximum = g_pScannerDriver != nullptr ? g_pScannerDriver->GetMaxResolutionX() : 0;
        uint32_t w = (uint32_t)(((uint64_t)v * 1000 + 3000) / std::max<uint32_t>(maximum, 1));
        out.Put("%lu.%01lu %%", (unsigned long)(w / 10), (unsigned long)(w % 10));
        return;
    }
    case 30: out.PutWithUnit(v, kTextSensitivity); return;
    default: out.Put("%ld", (long)value); return;
    }
}
