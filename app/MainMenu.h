#pragma once

// The main window's menu bar, built from the menu tables of the resources with the catalog's texts
// and adapted to the INI switches, the current scanner and the profiles flag.

#include "framework/Wnd.h"

#include <cstdint>

// Appends the items of one menu table (popups filled from their own tables); FALSE when the table
// cannot be found, loaded or locked, with nothing appended.
BOOL BuildMenuFromTable(HMENU menu, uint16_t tableId);

// What the bar depends on besides the tables and the catalog.
struct CMainMenuOptions {
    BOOL bInputCalibration;  // the new-input-profile wizard is offered
    BOOL bOutputCalibration;  // the new-output-profile wizard is offered
    BOOL bQualitySteps;  // the scanner names its qualities by resolution
    BOOL bProfilesEnabled;
    BOOL bSimplified;  // Tarvoset mode: the window has no menu at all
};

// The options as the INI file, the current driver and the application have them now.
CMainMenuOptions CurrentMainMenuOptions(BOOL profilesEnabled);

// Builds the bar and installs it on the window in place of the one it had (which is destroyed); in
// Tarvoset mode the window is left without a menu.
void BuildMainMenu(CWnd* window, const CMainMenuOptions& options);

// Destroys the window's menu and leaves it without one.
void RemoveMainMenu(CWnd* window);
