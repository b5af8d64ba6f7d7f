// Identifiers of Orrelin.dll's resources, shared by the resource script and the code
// that loads them. Plain #defines so that the resource compiler can read this file too.
#ifndef ORRELIN_RESOURCES_RESOURCE_H
#define ORRELIN_RESOURCES_RESOURCE_H

// Registry script of DFUShellExt, resource type "REGISTRY".
#define IDR_DFUSHELLEXT 102
// Registry script of DFUPropertyHandler.
#define IDR_DFUPROPERTYHANDLER 103
// Registry script of DFUPreviewHandler.
#define IDR_DFUPREVIEWHANDLER 104
// Registry script of DFUThumbnailProvider.
#define IDR_DFUTHUMBNAILPROVIDER 108

// The preview handler's icon, as its registration names it.
#define IDI_PREVIEWHANDLER 105

// Registry script of DFUExplorerCommand, and the icon its command shows.
#define IDR_DFUEXPLORERCOMMAND 106
#define IDI_DOWNLOAD 107

// Registry script of DFUToolsMenu.
#define IDR_DFUTOOLSMENU 109

// Registry scripts of the Windows 11 menu's tools commands: DFUToolsCommand, DFUMakeCommand.
#define IDR_DFUTOOLSCOMMAND 111
#define IDR_DFUMAKECOMMAND 112

// Info tip.
#define IDS_INFOTIP_HEADER 116
#define IDS_INFOTIP_HEADER_WITH_COMMENT 117
#define IDS_INFOTIP_DETAILS 118
#define IDS_INFOTIP_VENDOR 119
#define IDS_INFOTIP_PRODUCT 120
#define IDS_INFOTIP_RELEASE 121
#define IDS_INFOTIP_COMMENT 122
#define IDS_INFOTIP_DATE_FORMAT 132

// Menu texts of the download entries: default, serial port, USB device.
#define IDS_MENU_DOWNLOAD 148
#define IDS_MENU_DOWNLOAD_SERIAL 149
#define IDS_MENU_DOWNLOAD_USB 150

// Status-bar help texts of the same three kinds of entry.
#define IDS_HELP_DOWNLOAD 166
#define IDS_HELP_DOWNLOAD_SERIAL 167
#define IDS_HELP_DOWNLOAD_USB 168

// Warning shown when the upgrade wizard cannot be started.
#define IDS_WIZARD_CAPTION 184
#define IDS_WIZARD_START_FAILED 185
#define IDS_WIZARD_REASON_UNKNOWN 186

// Values of the property handler's store.
#define IDS_PROPERTY_NUMBER 200
#define IDS_PROPERTY_RELEASE 201
#define IDS_PROPERTY_UNNAMED_TARGET 202
#define IDS_VERDICT_VALID 210
#define IDS_VERDICT_TOO_SHORT 211
#define IDS_VERDICT_NO_SUFFIX 212
#define IDS_VERDICT_UNKNOWN_VERSION 213
#define IDS_VERDICT_BAD_SUFFIX_LENGTH 214
#define IDS_VERDICT_CRC_MISMATCH 215
#define IDS_VERDICT_CRC_LPC_PREFIX 216
#define IDS_VERDICT_UNREADABLE 217
#define IDS_VERDICT_NOT_ON_THIS_DEVICE 218

// The preview pane: the header, the targets' headings, the labels' words, the handler's
// display name, and the title of a file whose stream names none.
#define IDS_PREVIEW_VENDOR 224
#define IDS_PREVIEW_PRODUCT 225
#define IDS_PREVIEW_RELEASE 226
#define IDS_PREVIEW_DFUSE 227
#define IDS_PREVIEW_PLAIN 228
#define IDS_PREVIEW_CRC 229
#define IDS_PREVIEW_REASON 230
#define IDS_PREVIEW_TARGET 231
#define IDS_PREVIEW_TARGET_UNNAMED 232
#define IDS_PREVIEW_TARGET_SUMMARY 233
#define IDS_PREVIEW_MORE_TARGETS 234
#define IDS_PREVIEW_BYTES 235
#define IDS_PREVIEW_ELEMENTS 236
#define IDS_PREVIEW_GAP 237
#define IDS_PREVIEW_OVERLAP 238
#define IDS_PREVIEW_OVERRUN 239
#define IDS_PREVIEW_DISPLAY_NAME 240
#define IDS_PREVIEW_TITLE 241
#define IDS_PREVIEW_CONTENT_ELSEWHERE 242
#define IDS_PREVIEW_BRING_HERE 243
// Thumbnail.
#define IDS_THUMBNAIL_NUMBERS 260
#define IDS_THUMBNAIL_NUMBER 261
#define IDS_THUMBNAIL_NOT_STATED 262

// The tools menu of .dfu files: its entries, their help texts, the titles of their work,
// and what they tell the user.
#define IDS_TOOLS_EXTRACT 270
#define IDS_TOOLS_COPY_SHA256 271
#define IDS_TOOLS_COMPARE 272
#define IDS_TOOLS_HELP_EXTRACT 273
#define IDS_TOOLS_HELP_COPY_SHA256 274
#define IDS_TOOLS_HELP_COMPARE 275
#define IDS_TOOLS_EXTRACT_TITLE 276
#define IDS_TOOLS_HASH_TITLE 277
#define IDS_TOOLS_COMPARE_TITLE 278
#define IDS_TOOLS_DAMAGED_FOLDER 279
#define IDS_TOOLS_DAMAGED_CONFIRM 280
#define IDS_TOOLS_FAILED 281
#define IDS_TOOLS_COMPARE_CAPTION 282
#define IDS_TOOLS_CLIPBOARD_FAILED 283
#define IDS_TOOLS_NO_MEMORY 284
#define IDS_TOOLS_MAKE 285
#define IDS_TOOLS_HELP_MAKE 286
#define IDS_TOOLS_MAKE_TITLE 287

// "Make DFU file…": the dialog, its controls, and its texts (labels set from the string
// table as the dialog opens, the reasons a field is refused, the replace question).
#define IDD_MAKE_DFU 110
#define IDC_MAKE_INPUTS_LABEL 1001
#define IDC_MAKE_INPUTS 1002
#define IDC_MAKE_VENDOR_LABEL 1003
#define IDC_MAKE_VENDOR 1004
#define IDC_MAKE_PRODUCT_LABEL 1005
#define IDC_MAKE_PRODUCT 1006
#define IDC_MAKE_RELEASE_LABEL 1007
#define IDC_MAKE_RELEASE 1008
#define IDC_MAKE_PLAIN 1009
#define IDC_MAKE_DFUSE 1010
#define IDC_MAKE_TARGET_NAME_LABEL 1011
#define IDC_MAKE_TARGET_NAME 1012
#define IDC_MAKE_ALTERNATE_LABEL 1013
#define IDC_MAKE_ALTERNATE 1014
#define IDC_MAKE_ADDRESS_LABEL 1015
#define IDC_MAKE_ADDRESS 1016
#define IDC_MAKE_OUTPUT_LABEL 1017
#define IDC_MAKE_OUTPUT 1018
#define IDC_MAKE_PROBLEM 1019

#define IDS_MAKE_CAPTION 300
#define IDS_MAKE_INPUTS_LABEL 301
#define IDS_MAKE_VENDOR_LABEL 302
#define IDS_MAKE_PRODUCT_LABEL 303
#define IDS_MAKE_RELEASE_LABEL 304
#define IDS_MAKE_PLAIN 305
#define IDS_MAKE_DFUSE 306
#define IDS_MAKE_TARGET_NAME_LABEL 307
#define IDS_MAKE_ALTERNATE_LABEL 308
#define IDS_MAKE_ADDRESS_LABEL 309
#define IDS_MAKE_ADDRESSES_LABEL 310
#define IDS_MAKE_OUTPUT_LABEL 311
#define IDS_MAKE_OK 312
#define IDS_MAKE_CANCEL 313
#define IDS_MAKE_BAD_VENDOR 320
#define IDS_MAKE_BAD_PRODUCT 321
#define IDS_MAKE_BAD_RELEASE 322
#define IDS_MAKE_BAD_ALTERNATE 323
#define IDS_MAKE_BAD_TARGET_NAME 324
#define IDS_MAKE_BAD_ADDRESS 325
#define IDS_MAKE_ADDRESS_COUNT 326
#define IDS_MAKE_PLAIN_NEEDS_BINARY 327
#define IDS_MAKE_NO_OUTPUT 328
#define IDS_MAKE_OUTPUT_IS_INPUT 329
#define IDS_MAKE_UNKNOWN_INPUT 330
#define IDS_MAKE_CONFIRM_REPLACE 331
#define IDS_MAKE_PROGRESS 332

// The Windows 11 menu's command that holds the tools commands of .dfu files.
#define IDS_TOOLS_COMMAND 340

#endif
