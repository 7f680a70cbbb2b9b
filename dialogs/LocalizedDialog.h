#pragma once

// The base of brelvane's dialogs. Their templates carry placeholders only: each control whose id
// lies in the catalog range shows the catalog text of its id, so one template serves every
// language. The initialisation does that in this one place, with the user's dialog font once the
// main window keeps one. A dialog derived from it holds typed control objects bound to its items
// with SubclassDlgItem in its OnInitDialog, after calling this class's.

#include "framework/Dialog.h"

class CLocalizedDialog : public CDialog {
public:
    using CDialog::CDialog;

protected:
    BOOL OnInitDialog() override;
};

// The dialog font and the catalog texts of a window's controls through the dialog localizer; before
// the main window made one (the device search's scanner choice) the texts alone.
void Localize(CWnd* window);
