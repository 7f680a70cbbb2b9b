#pragma once

// Printing a memory bitmap: each copy is a print job of its own, drawn in one transfer or, on the
// early Windows versions, band by band through the printer driver's NEXTBAND protocol. Every call
// reaches the printer through CPrintTarget, so that the paths can be watched without a printer.

#include "core/image/Dib.h"

#include <windows.h>

#include <cstdint>

// Error bits of PrintDibCopies; several may be set.
constexpr uint32_t kPrintNoDc = 0x2;
constexpr uint32_t kPrintNoBanding = 0x4;
constexpr uint32_t kPrintBandInfoFailed = 0x8;
constexpr uint32_t kPrintCopyFailed = 0x10;
constexpr uint32_t kPrintStretchFailed = 0x20;
constexpr uint32_t kPrintStartFailed = 0x40;
constexpr uint32_t kPrintEndFailed = 0x400;
constexpr uint32_t kPrintNextBandFailed = 0x800;

// The printer device context as printing uses it; each operation is the GDI call of its name.
class CPrintTarget {
public:
    virtual ~CPrintTarget() = default;
    virtual int StartDoc(const char* name) = 0;
    virtual int StartPage() = 0;
    virtual int EndPage() = 0;
    virtual int EndDoc() = 0;
    virtual int AbortDoc() = 0;
    virtual int Escape(int escape, int inSize, const void* in, void* out) = 0;
    virtual int SetStretchBltMode(int mode) = 0;
    virtual int SetDIBitsToDevice(int x, int y, int width, int height, int sourceX, int sourceY, int firstRow,
                                  int rows, const void* bits, const BITMAPINFO* info) = 0;
    virtual int StretchDIBits(int x, int y, int width, int height, int sourceX, int sourceY, int sourceWidth,
                              int sourceHeight, const void* bits, const BITMAPINFO* info) = 0;
    // Deletes the device context.
    virtual void Delete() = 0;
};

// A real device context.
class CDcPrintTarget : public CPrintTarget {
public:
    explicit CDcPrintTarget(HDC dc) : m_hDC(dc) {}
    int StartDoc(const char* name) override;
    int StartPage() override { return ::StartPage(m_hDC); }
    int EndPage() override { return ::EndPage(m_hDC); }
    int EndDoc() override { return ::EndDoc(m_hDC); }
    int AbortDoc() override { return ::AbortDoc(m_hDC); }
    int Escape(int escape, int inSize, const void* in, void* out) override;
    int SetStretchBltMode(int mode) override { return ::SetStretchBltMode(m_hDC, mode); }
    int SetDIBitsToDevice(int x, int y, int width, int height, int sourceX, int sourceY, int firstRow, int rows,
                          const void* bits, const BITMAPINFO* info) override;
    int StretchDIBits(int x, int y, int width, int height, int sourceX, int sourceY, int sourceWidth,
                      int sourceHeight, const void* bits, const BITMAPINFO* info) override;
    void Delete() override { ::DeleteDC(m_hDC); }

private:
    HDC m_hDC;
};

// Prints `copies` copies of the bitmap into dest (device units) and deletes the device context
// (unless none was given). Returns the error bits, 0 for success. Banding is used only below
// Windows class 3 (g_nWindowsClass, core/devices).
uint32_t PrintDibCopies(CDib& dib, const RECT& dest, int banding, const char* docName, CPrintTarget* target,
                        int copies);
uint32_t PrintDibCopies(CDib& dib, const RECT& dest, int banding, const char* docName, HDC dc, int copies);

uint32_t StartPrintDoc(CPrintTarget& target, const char* docName);
uint32_t EndPrintDoc(CPrintTarget& target);
int QueryEscapeSupport(CPrintTarget& target, int escape);
uint32_t PrintDibBanded(CPrintTarget& target, const BITMAPINFOHEADER* header, const uint8_t* bits,
                        const RECT& dest);
uint32_t PrintDibPart(CPrintTarget& target, const RECT& dest, const RECT& band, int draw,
                      const BITMAPINFOHEADER* header, const uint8_t* bits);
