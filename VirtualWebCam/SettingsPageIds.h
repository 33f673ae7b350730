// Resource and control identifiers of the camera's settings page (shared by the dialog
// template, the page and the tests that drive it).
#pragma once

#define IDD_SETTINGS_PAGE 100

#define IDC_VIDEO_WIDTH 1001
#define IDC_VIDEO_HEIGHT 1002
#define IDC_FRAME_RATE 1003
#define IDC_DISPLAY 1004
#define IDC_WHOLE_DISPLAY 1005
#define IDC_REGION_LEFT 1006
#define IDC_REGION_TOP 1007
#define IDC_REGION_WIDTH 1008
#define IDC_REGION_HEIGHT 1009
#define IDC_FOLLOW_CURSOR 1010
#define IDC_SHOW_CURSOR 1011
#define IDC_KEEP_ASPECT 1012
#define IDC_STATUS 1013
#define IDC_SINGLE_FORMAT 1014
