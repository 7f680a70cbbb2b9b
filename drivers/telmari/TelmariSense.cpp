// The TELMARI family's sense data: the sense key decides the result, the additional sense code and
// qualifier the message.

#include "drivers/telmari/TelmariDriver.h"

#include "core/messages/MessageReporter.h"
#include "core/settings/ScanSettings.h"

namespace {

constexpr int kMsgWrongLength = 3351;
constexpr int kMsgOtherCode = 3340;
constexpr uint16_t kCodeStopped = 0xFFFF;

enum class Original { Any, Reflective, Film };

struct CSenseRange {
    uint16_t first;
    uint16_t last;
    int message;
    bool withCode;  // the code is the message's argument
    Original original;
};

constexpr CSenseRange One(uint16_t code, int message, bool withCode = false, Original original = Original::Any)
{
    return {code, code, message, withCode, original};
}

constexpr CSenseRange Span(uint16_t first, uint16_t last, int message, bool withCode = false)
{
    return {first, last, message, withCode, Original::Any};
}

const CSenseRange kSenseTable[] = {
    One(0x0A00, 3438, true),
    One(0x0C00, 3438, true),
    Span(0x1100, 0x1102, 3438, true),
    One(0x1B00, 3438, true),
    One(0x2800, 3438, true),
    One(0x2900, 3438, true),
    Span(0x2A00, 0x2A02, 3438, true),
    One(0x2B00, 3438, true),
    One(0x3700, 3438, true),
    One(0x3900, 3438, true),
    One(0x3D00, 3438, true),
    Span(0x3F00, 0x3F03, 3438, true),
    One(0x4000, 3438, true),
    One(0x4300, 3438, true),
    One(0x4400, 3438, true),
    One(0x4500, 3438, true),
    One(0x4600, 3438, true),
    One(0x4800, 3438, true),
    One(0x5A00, 3438, true),
    Span(0x5B00, 0x5B03, 3438, true),
    Span(0x6100, 0x6101, 3438, true),
    Span(0x8000, 0x8008, 3438, true),
    Span(0x8013, 0x8015, 3438, true),
    Span(0x8019, 0x801D, 3438, true),
    Span(0x8023, 0x8024, 3438, true),
    Span(0x8028, 0x8029, 3438, true),
    Span(0x802B, 0x8038, 3438, true),

    One(0x0005, 3439),
    One(0x0300, 3439),
    Span(0x0400, 0x0403, 3439),
    One(0x0500, 3439),
    One(0x0700, 3439),
    Span(0x0800, 0x0802, 3439),
    One(0x2500, 3439),
    One(0x3E00, 3439),
    One(0x4700, 3439),
    One(0x4900, 3439),
    One(0x4A00, 3439),
    One(0x4B00, 3439),
    One(0x4C00, 3439),
    One(0x4E00, 3439),
    Span(0x800B, 0x800F, 3439),
    One(0x8043, 3439),

    One(0x0002, 3440, true),
    One(0x0004, 3440, true),
    One(0x3A00, 3440, true),
    Span(0x3B09, 0x3B0C, 3440, true),
    One(0x5300, 3440, true),

    One(0x1103, 3441, true),
    One(0x1400, 3441, true),
    Span(0x1500, 0x1501, 3441, true),
    Span(0x1700, 0x1701, 3441, true),
    One(0x6102, 3441, true),
    One(0x6200, 3441, true),
    Span(0x8011, 0x8012, 3441, true),

    One(0x1A00, 3442),
    One(0x2000, 3442),
    One(0x2400, 3442),
    Span(0x2600, 0x2603, 3442),
    Span(0x2C00, 0x2C02, 3442),
    One(0x2F00, 3442),

    One(0x8041, 3443),
    One(0x8009, 3444),
    One(0x800A, 3444),
    One(0x8010, 3444),
    One(0x8018, 3444),
    One(0x8022, 3444),
    One(0x802A, 3445, true, Original::Reflective),
    One(0x802A, 3446, false, Original::Film),
    One(0x6000, 3447),
    One(0x8017, 3448),
    One(0x8039, 3448),
    One(0x803A, 3448),
    One(0x8046, 3448),
    One(0x8016, 3448, false, Original::Reflective),
    One(0x8016, 3449, false, Original::Film),
    Span(0x801E, 0x8021, 3450, true),
    One(0x8027, 3450, true),
    Span(0x8100, 0x8105, 3450, true),
    One(0x8025, 3451),
    One(0x8026, 3452),
    One(0x803C, 3453),
    One(0x803D, 3454),
    One(0x803E, 3455),
    One(0x803B, 3456),
    One(0x803F, 3457),
    One(0x8042, 3457),
    One(0x8040, 3458, true),
    One(0x8050, 3460),
    Span(0x8051, 0x8052, 3461, true),
    One(0x8055, 3462),
    Span(0x8057, 0x8058, 3463, true),
    One(kCodeStopped, 3464),
    One(0x8060, 3466),
    One(0x8056, 3476, true),
    One(0x8053, 3477),
    One(0x8054, 3478),
};

bool OriginalMatches(Original wanted)
{
    if (wanted == Original::Any)
        return true;
    int32_t original = g_pScanSettings != nullptr ? g_pScanSettings->GetParam(kParamOriginal) : kTelmariReflective;
    return (original == kTelmariReflective) == (wanted == Original::Reflective);
}

}  // namespace

void CTelmariDriver::ReportSenseCode(uint16_t code)
{
    if (code == 0)
        return;
    for (const CSenseRange& range : kSenseTable) {
        if (code < range.first || code > range.last || !OriginalMatches(range.original))
            continue;
        if (range.withCode)
            ReportMessage(range.message, (unsigned long)code);
        else
            ReportMessage(range.message);
        return;
    }
    ReportMessage(kMsgOtherCode);
}

uint16_t CTelmariDriver::HandleSense(const uint8_t* sense)
{
    if (sense[2] & 0x20) {
        ReportMessage(kMsgWrongLength);
        return kDriverAborted;
    }
    uint16_t code = uint16_t((sense[12] << 8) | sense[13]);
    switch (sense[2] & 0x0F) {
    case 0:
        return kDriverOk;
    case 1:
        // A recovered error: the command ran.
        ReportSenseCode(code);
        return kDriverOk;
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:  // UNIT ATTENTION again after the one repeat: the command never ran
    case 7:
    case 9:
        ReportSenseCode(code);
        return kDriverAborted;
    case 11:
        ReportSenseCode(code != 0 ? code : kCodeStopped);
        return kDriverAborted;
    default:
        return kDriverFailed;
    }
}
