// Resource identifiers shared by the resource script and the dialog code.
#pragma once

#define IDD_MAIN_DIALOG 102
#define IDD_REDACTION_PREVIEW 103
#define IDR_MAINFRAME 128

#define IDC_EDIT_DOMAIN 1000
#define IDC_PROGRESS 1001
#define IDC_EDIT_OUTPUT 1003
#define IDC_BUTTON_START 1004
#define IDC_STATIC_STATUS 1005
#define IDC_BUTTON_SAVEAS 1006
#define IDC_CHECK_EXTENDED 1007
#define IDC_PATH_CHART 1010
#define IDC_EDIT_FINDINGS 1020
#define IDC_BUTTON_OPEN 1021
#define IDC_CHECK_REDACT 1022
#define IDC_EDIT_PREVIEW 1023
#define IDC_STATIC_PREVIEW_COUNTS 1024

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
