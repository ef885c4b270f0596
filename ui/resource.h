#pragma once
// Resource identifiers, shared by the resource script and the code.

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_UPDATER_DIALOG 102
#define IDR_MAINFRAME 128
#include "ImageIds.h" // 129 to 132
#define IDD_INSTRUCTIONS 133
#define IDI_WARNING_TRIANGLE 134

#define IDC_INSTRUCTIONS 1000
#define IDC_COM1 1001
#define IDC_COM2 1002
#define IDC_COM3 1003
#define IDC_DEVICE_VERSION 1005

#define IDM_ABOUTBOX 0x0010
#define ID_HELP 57670
