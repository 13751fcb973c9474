// Command ids of the language module's menus and toolbars, by meaning.
#pragma once

namespace cmd {

// Notebooks and the tree's records.
constexpr unsigned kCmdNewCategory = 32776;
constexpr unsigned kCmdDelete = 32777;
constexpr unsigned kCmdNewNote = 32778;
constexpr unsigned kCmdRename = 32779;
constexpr unsigned kCmdImport = 32780;
constexpr unsigned kCmdCopyRecord = 33000;
constexpr unsigned kCmdCutRecord = 33002;
constexpr unsigned kCmdPasteRecord = 33003;
constexpr unsigned kCmdNoteProperties = 33083;
constexpr unsigned kCmdEmptyCategory = 33094;
constexpr unsigned kCmdHoldDownload = 33095;
constexpr unsigned kCmdStartDownload = 33096;
constexpr unsigned kCmdStopDownload = 33097;
constexpr unsigned kCmdHoldGroup = 33098;
constexpr unsigned kCmdStartGroup = 33099;
constexpr unsigned kCmdStopGroup = 33100;
constexpr unsigned kCmdDeleteGroup = 33101;
constexpr unsigned kCmdViewNote = 33120;
constexpr unsigned kCmdEditNote = 33121;
constexpr unsigned kCmdImportAgain = 33128;
constexpr unsigned kCmdViewSource = 33129;
constexpr unsigned kCmdSortByName = 33148;

// The main window.
constexpr unsigned kCmdShowWindow = 33007;
// The recent notebooks: the first one's id is the File menu's placeholder,
// the others follow it.
constexpr unsigned kCmdRecentFile = 57616;
// The open notebook windows, listed in the Window menu; the first id is the
// place where the list goes.
constexpr unsigned kCmdFirstWindow = 0xFF00;
constexpr unsigned kCmdLastWindow = 0xFFFF;

// The editor's formatting.
constexpr unsigned kCmdFirstBackColor = 117;  // the page background swatches
constexpr unsigned kCmdLastBackColor = 133;   // the automatic colour
constexpr unsigned kCmdBackColorDialog = 121;
constexpr unsigned kCmdFirstEditTable = 32800;  // commands sent to the editing engine
constexpr unsigned kCmdLastEditTable = 32887;
constexpr unsigned kCmdBold = 32821;
constexpr unsigned kCmdFontName = 32823;  // the format bar's font-name box
constexpr unsigned kCmdFontSize = 32824;  // the format bar's font-size box
constexpr unsigned kCmdItalic = 32825;
constexpr unsigned kCmdUnderline = 32826;
constexpr unsigned kCmdAlignCentre = 32827;
constexpr unsigned kCmdAlignLeft = 32828;
constexpr unsigned kCmdAlignRight = 32829;
constexpr unsigned kCmdInsertDateTime = 32868;
constexpr unsigned kCmdFirstForeColor = 32888;
constexpr unsigned kCmdLastForeColor = 32904;
constexpr unsigned kCmdFirstBlockFormat = 32922;
constexpr unsigned kCmdLastBlockFormat = 32942;
constexpr unsigned kCmdStylePopup = 32943;      // replaced by the block formats
constexpr unsigned kCmdBackColorPopup = 32944;  // replaced by the background colours
constexpr unsigned kCmdForeColorButton = 32945;  // format bar, with a drop-down part
constexpr unsigned kCmdBlockFormatButton = 32946;  // format bar, with a drop-down part

// Menus and toolbars.
constexpr unsigned kMenuTray = 167;
constexpr unsigned kMenuContext = 173;  // popup 0 the tree, popup 1 the note list
constexpr unsigned kToolbarFormat = 144;

}  // namespace cmd
