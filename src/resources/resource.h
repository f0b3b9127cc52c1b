// Resource and command identifiers, shared by the resource script and the code.
#pragma once

// Strings, menu, accelerators, icon, bitmaps.
#define IDS_APP_TITLE 103
#define IDC_SOLVANEPICTOVA 109  // window class name string
#define IDR_MAINFRAME 109       // menu, accelerator table
#define IDI_SOLVANEPICTOVA 148
#define IDB_TOOLBAR 130
#define IDB_TOOLBAR_DISABLED 132
// The same strips drawn for 144 DPI (35 x 35 images) and 192 DPI (46 x 46 images).
#define IDB_TOOLBAR_150 134
#define IDB_TOOLBAR_DISABLED_150 135
#define IDB_TOOLBAR_200 136
#define IDB_TOOLBAR_DISABLED_200 137

#include "commands.h"

// Child controls of the main window.
#define IDC_TOOLBAR 109

// Dialog templates.
#define IDD_FUSION 152
#define IDD_SMART_CONTRAST 153
#define IDD_OPTIONS 158
#define IDD_SAVE_QUALITY 159
#define IDD_PROGRESS 161

// Progress dialog (161); the Abort button is IDCANCEL.
#define IDC_PROGRESS_BAR 1079

// Smart Contrast dialog (153).
#define IDC_SC_DEFAULTS 1080
#define IDC_SC_HEADER_LEVEL 1107
#define IDC_SC_HEADER_POWER 1108
#define IDC_SC_LABEL_0 1109  // row labels 1109 .. 1116, level 0 .. 7
#define IDC_SC_LABEL_1 1110
#define IDC_SC_LABEL_2 1111
#define IDC_SC_LABEL_3 1112
#define IDC_SC_LABEL_4 1113
#define IDC_SC_LABEL_5 1114
#define IDC_SC_LABEL_6 1115
#define IDC_SC_LABEL_7 1116
#define IDC_SC_SLIDER_0 1100
#define IDC_SC_SLIDER_1 1073
#define IDC_SC_SLIDER_2 1074
#define IDC_SC_SLIDER_3 1075
#define IDC_SC_SLIDER_4 1076
#define IDC_SC_SLIDER_5 1077
#define IDC_SC_SLIDER_6 1078
#define IDC_SC_SLIDER_7 1079
#define IDC_SC_VALUE_0 1083
#define IDC_SC_VALUE_1 1084
#define IDC_SC_VALUE_2 1085
#define IDC_SC_VALUE_3 1086
#define IDC_SC_VALUE_4 1093
#define IDC_SC_VALUE_5 1094
#define IDC_SC_VALUE_6 1089
#define IDC_SC_VALUE_7 1090

// Solvane Fusion dialog (152).
#define IDC_FU_EXPOSURE_LABEL 1101
#define IDC_FU_EXPOSURE_SLIDER 1075
#define IDC_FU_EXPOSURE_VALUE 1105
#define IDC_FU_FLATNESS_LABEL 1102
#define IDC_FU_FLATNESS_SLIDER 1076
#define IDC_FU_FLATNESS_VALUE 1106
#define IDC_FU_POWER_LABEL 1103
#define IDC_FU_POWER_SLIDER 1077
#define IDC_FU_POWER_VALUE 1107
#define IDC_FU_STRETCH 1088

// Options dialog (158).
#define IDC_OPT_LABEL 1083
#define IDC_OPT_LANGUAGE 1081

// Save dialog extension (159).
#define IDC_SAVE_QUALITY_LABEL 1083
#define IDC_SAVE_QUALITY_SLIDER 1072
#define IDC_SAVE_QUALITY_PERCENT 1084
#define IDC_SAVE_QUALITY_VALUE 1086
