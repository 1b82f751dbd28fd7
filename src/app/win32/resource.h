// Resource identifiers of the native front end. The dialog and control numbers are the ones the step
// logic addresses (ui/Controls.h); the rest are this executable's own.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_UPGRADE 103
#define IDI_ORVEXA 138
#define IDD_PORTSELECT 141

#define IDC_ABOUT 1000
#define IDC_STEP1 1001
#define IDC_STEP2 1006
#define IDC_STEP3 1010
#define IDC_PROGRESS 1011
#define IDC_PORT_COMBO 1015
#define IDC_PORT_LABEL 1020
#define IDC_PORT_RESULT 1022
#define IDC_STATUS 1023
#define IDC_SILENT 1025
#define IDC_FONT 1026
#define IDC_ABOUT_VERSION 1030

#define IDM_ABOUTBOX 0x0010
#define IDM_SUPPORTBUNDLE 0x0020
#define IDM_OPENFIRMWARE 0x0030
