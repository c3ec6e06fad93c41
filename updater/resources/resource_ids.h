#pragma once
// Numeric ids of the executable's resources, shared by the .rc file and the C++ code.
// Plain macros, because the resource compiler's preprocessor reads this file too.
//
// Bands:
//   100, 200-299  dialog templates
//   128-199       icon, license texts and the carried data
//   501-5999      strings (English); Japanese at +10000, Simplified Chinese at +20000
//   1000-1099     controls

// Language offsets of the string table and of the license texts.
#define LANGUAGE_OFFSET_JAPANESE 10000
#define LANGUAGE_OFFSET_CHINESE 20000

// Dialog templates.
#define IDD_ABOUT 100
#define IDD_MAIN 200
#define IDD_LICENSE 201
#define IDD_PROGRESS 202

// Icons, license texts (type 23) and the carried firmware package (type "BIN", IDR_FIRMWARE,
// defined with the ids that the lower layers look up).
#include "platform/resources/shared_resource_ids.h"
#define IDI_APP 128
#define IDR_LICENSE 130

// Strings: titles, menu and buttons.
#define IDS_ABOUT_MENU 501
#define IDS_TITLE_PART1 502
#define IDS_TITLE_PART2 503
#define IDS_TITLE_PART3 504
#define IDS_PROGRESS_TITLE 505
#define IDS_LICENSE_TITLE 506
#define IDS_ABOUT_TITLE 507
#define IDS_OK 599
#define IDS_CLOSE 600
#define IDS_CANCEL 601
#define IDS_ACCEPT_LICENSE 602
#define IDS_DECLINE_LICENSE 603
#define IDS_WILL_BE_UPDATED 604
#define IDS_CURRENT_VERSION 605
#define IDS_UPDATED_VERSION 606
#define IDS_START 607

// Strings: the main dialog's message area, the progress warning and the confirmation.
#define IDS_MSG_PRESS_START 4000
#define IDS_MSG_CONNECT 4001
#define IDS_MSG_DONT_DISCONNECT 4002
#define IDS_MSG_NO_UPDATE_NEEDED 4003
#define IDS_MSG_UPDATING 4004
#define IDS_MSG_UPDATED 4005
#define IDS_MSG_UPDATE_FAILED 4006

// Strings: message boxes.
#define IDS_ERR_ALREADY_RUNNING 5000
#define IDS_ERR_DEVICE_NOT_FOUND 5001
#define IDS_ERR_FIRMWARE_FORMAT 5002

// Controls.
#define IDC_HEADING 1000
#define IDC_LICENSE_TEXT 1001
#define IDC_ACCEPT 1002
#define IDC_DECLINE 1003
#define IDC_MESSAGE 1004
#define IDC_START 1005
#define IDC_CANCEL_CLOSE 1006
#define IDC_PROGRESS 1007
#define IDC_ABOUT_ICON 1008
#define IDC_CURRENT_VERSION_TEMPLATE 1009
#define IDC_UPDATED_VERSION_TEMPLATE 1010
#define IDC_CURRENT_ROW_0 1011
#define IDC_CURRENT_ROW_1 1012
#define IDC_UPDATED_ROW_0 1013
#define IDC_UPDATED_ROW_1 1014
#define IDC_ABOUT_VERSION 1015
#define IDC_CURRENT_ROW_2 1015
#define IDC_UPDATED_ROW_2 1016
#define IDC_CURRENT_ROW_3 1017
#define IDC_UPDATED_ROW_3 1018
#define IDC_CURRENT_CAPTION 1019
#define IDC_UPDATED_CAPTION 1020
#define IDC_TYPE 1021
// Controls without an id of their own (the about box's legal-notice lines).
#define IDC_NONE -1
