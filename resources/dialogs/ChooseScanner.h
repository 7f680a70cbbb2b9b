#pragma once

// Template and control ids of the Choose Scanner dialog; controls 3001..7999 show the catalog text
// of their id.
#define IDD_CHOOSE_SCANNER 5144
#define IDC_CHOOSE_SCANNER_PROMPT 3943
#define IDC_CHOOSE_SCANNER_LIST 5145
#define IDC_CHOOSE_SCANNER_OK 3820
#define IDC_CHOOSE_SCANNER_CANCEL 3822
