#pragma once

// The base of brelvane's dialogs. Their templates carry placeholders only: each control whose id
// lies in the catalog range shows the catalog text of its id, so one template serves every
// language. The initialisation does that in this one place; the user's dialog font joins it here
// once the shell keeps one. A dialog derived from it holds typed control objects bound to its items
// with SubclassDlgItem in its OnInitDialog, after calling this class's.

#include "framework/Dialog.h"

class CLocalizedDialog : public CDialog {
public:
    using CDialog::CDialog;

protected:
    BOOL OnInitDialog() override;
};

// The catalog texts of a window's controls: for the dialogs above, and for form views and bars
// built from templates in the same way.
void Localize(CWnd* window);
