#pragma once

// The dialog templates carry placeholders only: each control whose id lies in the catalog range
// shows the catalog text of its id, so one template serves every language.

class CWnd;

void Localize(CWnd* dialog);
