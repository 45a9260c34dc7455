/* The program's own resource and command ids. */
#ifndef VEXLAN_RESOURCE_H
#define VEXLAN_RESOURCE_H

#include "afxres.h"

#define IDD_ABOUTBOX 100
#define IDR_MAINFRAME 128
#define IDI_SECONDICON 129
#define ID_COLOR_SEGMENTATION 32771

#endif
