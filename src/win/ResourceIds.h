#pragma once
// Resource and control numbers of the Windows dialog, shared by the
// resource script and the code.

#define IDD_ABOUT 100
#define IDD_MAIN 102
#define IDD_CHOOSE_POD 103
#define IDD_BINARY_BASE 104
#define IDI_APP 128

// The main window's controls.
#define IDC_MCU 1000
#define IDC_INTELLIGENT_ERASE 1001
#define IDC_ERASE_ALL 1002
#define IDC_FILE_PATH 1003
#define IDC_BROWSE 1004
#define IDC_POD_FILE_NAME 1005
#define IDC_LOAD 1006
#define IDC_TARGET_RESET 1007
#define IDC_POD_WRITE 1008
#define IDC_POD_VERIFY 1009
#define IDC_TARGET_WRITE 1010
#define IDC_EXIT 1011
#define IDC_PROGRESS 1012
#define IDC_MESSAGE 1013
#define IDC_POD_INFO 1014
#define IDC_CSM 1015
#define IDC_KEY0 1016
#define IDC_KEY_LABEL0 1024

// The pod chooser and the raw binary's base.
#define IDC_POD_LIST 1101
#define IDC_POD_PORT 1102
#define IDC_BASE_QUESTION 1201
#define IDC_BASE 1202
#define IDC_BASE_REFUSAL 1203

// The context menu.
#define IDM_CHOOSE_POD 0x20
#define IDM_ABOUT 0x10
