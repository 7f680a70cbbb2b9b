#pragma once

#include "framework/App.h"

// The application object of the tone curve editor.
class CToneApp : public CWinApp {
public:
    CToneApp();
    BOOL InitInstance() override;
};
