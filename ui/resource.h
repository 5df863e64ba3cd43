/* Resource identifiers, shared by the resource script and the C++ code. */
#pragma once

#define IDD_ABOUTBOX 103
#define IDS_APP_TITLE 103
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDI_VANTELINK 107
#define IDI_SMALL 108
#define IDC_VANTELINK 109
#define IDM_WEBPAGE 111
#define IDM_STARTATLOGIN 120
#define IDM_PREVIEW 121
#define IDM_PICKAREA 122
#define IDM_PICKWINDOW 123

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
