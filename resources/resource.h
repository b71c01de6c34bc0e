// Identifiers shared by the resource script, the program and its tests.
#pragma once

// Commands: menu items and accelerators.
#define CMD_EXIT                102
#define CMD_HELP                103
#define CMD_OPEN                106
#define CMD_PLAY                107
#define CMD_PAUSE               108
#define CMD_REWIND              109
#define CMD_ABOUT               110
#define CMD_CLOSE               111
#define CMD_FULL_SPEED          112
#define CMD_HALF_SPEED          113
#define CMD_IGNORE_SPEED        114
#define CMD_COMBINED_FIELDS     40001
#define CMD_SEPARATE_FIELDS     40002
#define CMD_QUARTER_SPEED       40003
#define CMD_FULL_SIZE           40004
#define CMD_DOUBLE_SIZE         40005
#define CMD_STEP_FORWARD        40008
#define CMD_STEP_BACK           40009
#define CMD_BACK_TEN            40012
#define CMD_FORWARD_TEN         40013
#define CMD_HOME                40014
#define CMD_PLAY_TOGGLE         40015
#define CMD_END                 40016
#define CMD_COPY                40017
#define CMD_README              40018

// Dialog templates.
#define IDD_OPEN_PANEL          105
#define IDD_ABOUT               116

// Controls of the open dialog's panel.
#define IDC_WIDTH               1007
#define IDC_HEIGHT              1009
#define IDC_RATE                1010
#define IDC_FORMAT              1011
#define IDC_SMART_SIZE          1012
#define IDC_STANDARD_CONTROLS   1119

// Resources.
#define IDB_OPEN_PANEL          108
#define IDI_CORVANE             110
#define IDB_TILE                115
#define IDR_ACCELERATORS        116
#define IDB_ABOUT               118

// The status window's control identifier.
#define IDC_STATUS_BAR          2
