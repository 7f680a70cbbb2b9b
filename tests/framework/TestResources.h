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
#define IDD_FORM_TEST 110
#define IDC_FORM_RUN 1101
#define IDC_FORM_SWITCH 1102
#define IDC_FORM_STATE 1103
#define IDC_FORM_IDLE 1104
#define IDC_FORM_EDIT 1105
#define IDC_FORM_GROUP 1106
#define IDR_FRAME_ACCEL 120
#define ID_ACCEL_DISABLED 1201
#define ID_ACCEL_ENABLED 1202
#define IDR_DOC_TEST 130
#define ID_DOC_COMMAND 1301
#define IDD_OWNERDRAW_TEST 140
#define IDC_OWNERDRAW_BUTTON 1401
#define IDC_OWNERDRAW_LIST 1402
