#pragma once

// The borderless window with the product bitmap that an interactive start shows while it searches
// for the scanner; the device search writes one status line over the bitmap's lower band.

#include "framework/Gdi.h"
#include "framework/Wnd.h"

class CSplashWnd : public CWnd {
public:
    CSplashWnd() = default;
    ~CSplashWnd() override;

    BOOL CreateSplashWindow();
    void ShowSplashStatus(const char* format, ...);

    const BITMAP& GetBitmapInfo() const { return m_BitmapInfo; }

protected:
    void OnPaint();
    DECLARE_MESSAGE_MAP()

private:
    CBitmap m_Bitmap;
    BITMAP m_BitmapInfo = {};
    CDC m_MemoryDC;
    HGDIOBJ m_hPreviousBitmap = nullptr;
};

// The device search's status line on the splash window.
void ShowSearchStatusOnSplash(CWnd* splash, const char* text);
