#pragma once

#include "framework/App.h"

// The application object of brelvane: start-up and exit of the whole program.
class CBrelvaneApp : public CWinApp {
public:
    CBrelvaneApp();
    BOOL InitInstance() override;
};
