#pragma once
// Identifiers of the main window's controls, menu commands and strings.

enum : int {
    IDOK = 1,
    IDCANCEL = 2,

    IDC_HELP_LINK = 1000,     // "Help" button
    IDC_LOOKUP = 1001,        // "MAC" button
    IDC_NAME_MODE = 1002,     // "&Name" mode button
    IDC_ADDRESS_MODE = 1003,  // "IP&address:" mode button
    IDC_NAME = 1004,          // name box (editable combo box)
    IDC_IP = 1005,            // IP address control
    IDC_MAC = 1006,           // hardware address box
    IDC_WAKE = 1007,          // "OK" button

    ID_EXIT = 32774,
    ID_ADD_HOST = 32777,
    ID_DELETE_HOST = 32778,
    ID_IMPORT_LIST = 32779,
    ID_EXPORT_LIST = 32780,

    IDM_ABOUTBOX = 0x0010,  // the About command
};

// Notification codes that come with a command.
enum : int {
    BN_CLICKED = 0,      // also a menu command
    CBN_SELCHANGE = 1,   // the user picked an item of the name box's list
    CBN_EDITUPDATE = 6,  // the user's edit of the name box's text
};

constexpr int CB_ERR = -1;

// String table.
constexpr const char* IDS_ABOUTBOX = "&About nuvik...";                                    // 101
constexpr const char* IDS_SOCKETS_INIT_FAILED = "Windows sockets initialization failed.";  // 103
