#pragma once

// Resource ids of the framework test program's own templates and strings.
#define IDD_FRAMEWORK_TEST 100
#define IDC_APPLY 1001
#define IDC_THROW 1002
#define IDC_NAME 1003
#define IDC_KIND 1004
#define IDC_FAST 1005
#define IDC_SLOW 1006
#define IDC_LIST 1007
#define IDS_GREETING 200
#define IDS_LONG 201
