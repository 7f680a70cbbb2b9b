#pragma once

// Template, control and bitmap ids of the progress window; controls 3001..7999 show the catalog
// text of their id.
#define IDD_PROGRESS 5248
#define IDC_PROGRESS_TEXT 3043
#define IDC_PROGRESS_FRAME 5249
#define IDC_PROGRESS_CANCEL 3822
#define IDB_PROGRESS_BAR 5250
