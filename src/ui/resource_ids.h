// Resource symbols shared by the resource script and the code: menus, commands, strings,
// bitmaps and the ids of the view's controls. Plain #defines, so that windres reads them too.
#pragma once

// Menus, accelerators, icon and the document string.
#define IDR_MAINFRAME 128
#define IDR_POPUP_EDIT 119

// Strings.
#define IDP_OLE_INIT_FAILED 100
#define IDS_TOOLBAR_CUSTOMIZE 125
#define IDS_EDIT_MENU 306
#define IDS_APP_TITLE 57344
#define ID_INDICATOR_CAPS 59137
#define ID_INDICATOR_NUM 59138
#define ID_INDICATOR_SCRL 59139

// Commands of the menu bar and the toolbar.
#define ID_SELECT_FILES 32773
#define ID_REMOVE_FILES 32774
#define ID_REPAIR_FILES 32775
#define ID_ABOUT_VELMORA 32785
#define ID_SOFTWARE_HELP 32788
#define ID_VISIT_WEBPAGE 32805
#define ID_BROWSE_FOLDER 32808
#define ID_SAVE_FILES 32813
#define ID_VIEW_CUSTOMIZE 126
#define ID_VIEW_APPLOOK_FIRST 210
#define ID_VIEW_APPLOOK_LAST 218

// Commands the accelerators send.
#define ID_FILE_NEW 57600
#define ID_FILE_OPEN 57601
#define ID_FILE_SAVE 57603
#define ID_EDIT_COPY 57634
#define ID_EDIT_CUT 57635
#define ID_EDIT_PASTE 57637
#define ID_EDIT_UNDO 57643
#define ID_APP_ABOUT 57664
#define ID_APP_EXIT 57665
#define ID_NEXT_PANE 57680
#define ID_PREV_PANE 57681

// Bitmaps.
#define IDB_BANNER 401
#define IDB_BANNER_FILLER 402
#define IDB_FOOTER 403
#define IDB_FOOTER_LOGO 404
#define IDB_LIST_BACKGROUND 405
#define IDB_LIST_ICONS 406
#define IDB_BTN_SELECT 407
#define IDB_BTN_REMOVE 408
#define IDB_BTN_REPAIR 409
#define IDB_BTN_SAVE 410
#define IDB_BTN_STOP 411
#define IDB_BTN_BROWSE 412
#define IDB_TOOLBAR 413
#define IDB_LOGO 414
#define IDB_BTN_EXIT 415
#define IDB_SPLASH 416
#define IDB_ABOUT 417
#define IDB_BTN_OK 418

// Controls of the main view.
#define ID_TARVIK_LIST_CTRL 1
#define ID_TARVIK_BTN_SELECT_FILES 2
#define ID_TARVIK_BTN_REMOVE_FILES 3
#define ID_TARVIK_BTN_SAVE_FILES 4
#define ID_TARVIK_EDIT_CTRL 5
#define ID_TARVIK_RICH_EDIT_CTRL 7
#define ID_TARVIK_BROWSE_EDIT_CTRL 8
#define IDC_TARVIK_STATIC 9
#define ID_TARVIK_BTN_BROWSE 10
#define ID_TARVIK_BTN_STOP 11
#define ID_TARVIK_BTN_EXIT 12
#define ID_TARVIK_SCAN_LIST_CTRL 13
#define IDC_TARVIK_STATIC_PICTURE_CTRL 15
#define ID_CHECK_BTN_EXTRACT_FILE_CONTENT 16
#define ID_FIRST_PROGRESS_CTRL 18
#define ID_TARVIK_BTN_RECOVER_FILES 307
#define ID_SECOND_PROGRESS_CTRL 57666

// Controls of the main frame.
#define ID_LOGO_NC_BUTTON 14
#define ID_FRAME_TOOLBAR 59392
#define ID_FRAME_STATUS_BAR 59393
