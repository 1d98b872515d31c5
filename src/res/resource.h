// Resource and command identifiers.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC              (-1)
#endif

#define IDD_ABOUTBOX            100
#define IDS_ABOUTBOX            101
#define IDS_NUMBER_READY_TITLE  150
#define IDS_NUMBER_READY_TEXT   151
#define IDS_TRAY_AUTORUN        160
#define IDS_TRAY_SELECT_LANGUAGE 161
#define IDS_TRAY_OPTION         162
#define IDS_TRAY_ABOUT          163
#define IDS_TRAY_OPEN_LOG_FOLDER 164
#define IDS_TRAY_EXIT           165
#define IDD_CALLVANE_DIALOG     102
#define IDR_MAINFRAME           128
#define IDD_DEVICE_DIALOG       129
#define IDD_YAHOO_DIALOG        130
#define IDD_OPTION_DIALOG       141
#define IDD_LANGUAGE_DIALOG     143

#define IDC_DEVICE_VERSION_LABEL 1001
#define IDC_DEVICE_VERSION      1002
#define IDC_USBPHONE            1000
#define IDC_RING_TYPE           1000
#define IDC_CHANNEL_TYPE        1001
#define IDC_SPEAKER_SLIDER      1002
#define IDC_MICROPHONE_SLIDER   1003
#define IDC_HANDSET_LIST        1004
#define IDC_LANGUAGE_COMBO      1005

#define IDM_ABOUTBOX            0x0010
#define ID_TRAY_EXIT            32771
#define ID_TRAY_SELECT_LANGUAGE 32772
#define ID_TRAY_AUTORUN         32776
#define ID_TRAY_ABOUT           32777
#define ID_TRAY_OPTION          32778
#define ID_TRAY_OPEN_LOG_FOLDER 32779
