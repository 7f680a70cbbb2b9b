// Printing of memory bitmaps.

#include "core/image/Print.h"

#include "core/devices/DeviceSearch.h"

#include <cmath>

namespace {

constexpr int kEscapeNextBand = 3;
constexpr int kEscapeQuerySupport = 8;
constexpr int kEscapeBandInfo = 24;
constexpr int32_t kFirstClassWithoutBanding = 3;

// The band information of the old printer drivers.
struct CBandInfo {
    BOOL fGraphics;
    BOOL fText;
    RECT rcGraphics;
};

int RoundHalfUp(double value)
{
    return (int)std::floor(value + 0.5);
}

}  // namespace

int CDcPrintTarget::StartDoc(const char* name)
{
    DOCINFOA info = {};
    info.cbSize = sizeof info;
    info.lpszDocName = name;
    return ::StartDocA(m_hDC, &info);
}

int CDcPrintTarget::Escape(int escape, int inSize, const void* in, void* out)
{
    return ::Escape(m_hDC, escape, inSize, (LPCSTR)in, out);
}

int CDcPrintTarget::SetDIBitsToDevice(int x, int y, int width, int height, int sourceX, int sourceY, int firstRow,
                                      int rows, const void* bits, const BITMAPINFO* info)
{
    return ::SetDIBitsToDevice(m_hDC, x, y, (DWORD)width, (DWORD)height, sourceX, sourceY, (UINT)firstRow,
                               (UINT)rows, bits, info, DIB_RGB_COLORS);
}

int CDcPrintTarget::StretchDIBits(int x, int y, int width, int height, int sourceX, int sourceY,
                                  int sourceWidth, int sourceHeight, const void* bits, const BITMAPINFO* info)
{
    return ::StretchDIBits(m_hDC, x, y, width, height, sourceX, sourceY, sourceWidth, sourceHeight, bits, info,
                           DIB_RGB_COLORS, SRCCOPY);
}

// A page that could not be started is abandoned: a job left open would hold the spooler.
uint32_t StartPrintDoc(CPrintTarget& target, const char* docName)
{
    if (target.StartDoc(docName) <= 0)
        return kPrintStartFailed;
    if (target.StartPage() <= 0) {
        target.AbortDoc();
        return kPrintStartFailed;
    }
    return 0;
}

uint32_t EndPrintDoc(CPrintTarget& target)
{
    if (target.EndPage() <= 0)
        return kPrintEndFailed;
    return target.EndDoc() <= 0 ? kPrintEndFailed : 0;
}

int QueryEscapeSupport(CPrintTarget& target, int escape)
{
    return target.Escape(kEscapeQuerySupport, sizeof escape, &escape, nullptr);
}

uint32_t PrintDibPart(CPrintTarget& target, const RECT& dest, const RECT& band, int draw,
                      const BITMAPINFOHEADER* header, const uint8_t* bits)
{
    if (draw == 0)
        return 0;
    if (header == nullptr || bits == nullptr || header->biWidth <= 0 || header->biHeight <= 0)
        return kPrintCopyFailed;
    double sx = (double)(dest.right - dest.left) / header->biWidth;
    double sy = (double)(dest.bottom - dest.top) / header->biHeight;
    RECT part;
    if (!IntersectRect(&part, &dest, &band) || sx <= 0 || sy <= 0)
        return 0;
    double left = (part.left - dest.left) / sx;
    double top = (part.top - dest.top) / sy;
    int x0 = RoundHalfUp(left);
    int y0 = RoundHalfUp(top);
    int x1 = RoundHalfUp((part.right - part.left) / sx + x0);
    int y1 = RoundHalfUp((part.bottom - part.top) / sy + y0);
    int width = part.right - part.left;
    int height = part.bottom - part.top;
    const BITMAPINFO* info = reinterpret_cast<const BITMAPINFO*>(header);
    int lower = header->biHeight - y1;
    if (x1 - x0 == width && y1 - y0 == height) {
        int ok = target.SetDIBitsToDevice(part.left, part.top, width, height, x0, lower, 0, header->biHeight,
                                          bits, info);
        return ok != 0 ? 0 : kPrintCopyFailed;
    }
    int ok = target.StretchDIBits(part.left, part.top, width, height, x0, lower, x1 - x0, y1 - y0, bits, info);
    return ok != 0 && ok != (int)GDI_ERROR ? 0 : kPrintStretchFailed;
}

uint32_t PrintDibBanded(CPrintTarget& target, const BITMAPINFOHEADER* header, const uint8_t* bits,
                        const RECT& dest)
{
    if (QueryEscapeSupport(target, kEscapeNextBand) == 0)
        return kPrintNoBanding;
    bool bandInfo = QueryEscapeSupport(target, kEscapeBandInfo) != 0;
    CBandInfo info = {TRUE, TRUE, dest};
    uint32_t result = 0;
    for (;;) {
        RECT band = {};
        if (target.Escape(kEscapeNextBand, 0, nullptr, &band) <= 0)
            return result | kPrintNextBandFailed;
        if (IsRectEmpty(&band))
            return result;
        if (bandInfo && target.Escape(kEscapeBandInfo, sizeof info, &info, &info) <= 0)
            result |= kPrintBandInfoFailed;
        result |= PrintDibPart(target, dest, band, info.fGraphics, header, bits);
    }
}

uint32_t PrintDibCopies(CDib& dib, const RECT& dest, int banding, const char* docName, CPrintTarget* target,
                        int copies)
{
    if (g_nWindowsClass >= kFirstClassWithoutBanding)
        banding = 0;
    if (target == nullptr)
        return kPrintNoDc;
    target->SetStretchBltMode(COLORONCOLOR);
    uint32_t result = 0;
    for (int copy = 0; copy < copies && result == 0; ++copy) {
        result |= StartPrintDoc(*target, docName);
        if (result != 0)
            break;
        if (banding != 0)
            result |= PrintDibBanded(*target, dib.m_pHeader, dib.m_pBits, dest);
        else
            result |= PrintDibPart(*target, dest, dest, 1, dib.m_pHeader, dib.m_pBits);
        result |= EndPrintDoc(*target);
    }
    target->Delete();
    return result;
}

uint32_t PrintDibCopies(CDib& dib, const RECT& dest, int banding, const char* docName, HDC dc, int copies)
{
    if (dc == nullptr)
        return kPrintNoDc;
    CDcPrintTarget target(dc);
    return PrintDibCopies(dib, dest, banding, docName, &target, copies);
}
