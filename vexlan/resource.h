/* The program's own resource and command ids. */
#ifndef VEXLAN_RESOURCE_H
#define VEXLAN_RESOURCE_H

#include "afxres.h"

#define IDD_ABOUTBOX 100
#define IDR_MAINFRAME 128
#define IDI_SECONDICON 129

/* The commands of built-in and installed steps, which the runner shares. */
#include "stepcommands.h"

/* The zoom commands of the View menu, added at run time, at the top of the program's range,
   above the installed steps and away from the built-in step commands that count up. */
#define ID_VIEW_ZOOM_IN 0xDF00
#define ID_VIEW_ZOOM_OUT 0xDF01
#define ID_VIEW_ZOOM_ACTUAL 0xDF02
#define ID_VIEW_ZOOM_FIT 0xDF03
/* View > Histogram, added at run time after the zoom. */
#define ID_VIEW_HISTOGRAM 0xDF04

/* The File menu's commands added at run time, after the items of the resource tables. */
#define ID_FILE_OPEN_RESULT 0xDF10
#define ID_FILE_EXPORT_PNG 0xDF11
#define ID_FILE_SAVE_RESULT_AS 0xDF12

/* Esc while an installed step runs: a key of the whole window, with no menu item. */
#define ID_END_RUNNING_STEP 0xDF20

/* Colour > Continue on the result, a check item added at run time below the steps. */
#define ID_COLOR_CONTINUE_ON_RESULT 0xDF30

/* The dock panes the view shows: 参数 and 直方图. */
#define IDW_PARAMETER_PANE 0xDF40
#define IDW_HISTOGRAM_PANE 0xDF41

#endif
