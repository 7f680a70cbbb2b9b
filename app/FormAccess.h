#pragma once

// What the shell's windows (status bar, tips, status line) need of the main form without the form's
// class: the form window, which is the main frame's active view, and the view state, which the view
// keeps current here. Anything missing (no frame yet, a batch start's hidden frame before its form,
// a scanner change) reads as null or idle.

#include "framework/Wnd.h"

#include <cstdint>

// 0 idle, 1 preview running, 2 scan or print running, 3 close requested while busy, 4 batch list.
extern int32_t g_nViewState;

// The main frame's active view, or NULL.
CWnd* MainForm();

// Sets the text of a control of the main form; nothing without form or control.
void SetMainFormItemText(int id, const char* text);
