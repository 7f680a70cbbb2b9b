#include "view/FileDialogRunner.h"

#include <commdlg.h>

namespace {

// The common dialog's own answer: a cancel and a failure both come back as "no file", told apart
// by the dialog's extended error.
int RunCommonDialog(CFileDialog& dialog)
{
    if (dialog.DoModal() == IDOK)
        return IDOK;
    return CommDlgExtendedError() != 0 ? kFileDialogFailed : IDCANCEL;
}

FileDialogRunner g_pfnRunner = RunCommonDialog;

}  // namespace

int RunFileDialog(CFileDialog& dialog) { return g_pfnRunner(dialog); }

FileDialogRunner SetFileDialogRunner(FileDialogRunner runner)
{
    const FileDialogRunner previous = g_pfnRunner;
    g_pfnRunner = runner ? runner : RunCommonDialog;
    return previous;
}
