// Command ids of the language module's menus, toolbars and accelerators, by
// meaning. The language modules carry the same numbers, so they never change.
#pragma once

namespace cmd {

// File, help and application commands
constexpr unsigned kCmdNew = 57600;
constexpr unsigned kCmdOpen = 57601;
constexpr unsigned kCmdClose = 57602;
constexpr unsigned kCmdSave = 57603;
constexpr unsigned kCmdSaveAs = 57604;
constexpr unsigned kCmdPrintSetup = 57606;
constexpr unsigned kCmdRecentFile = 57616;      // first entry of the recent-file list
constexpr unsigned kCmdLastRecentFile = 57621;  // the list holds six entries
constexpr unsigned kCmdAbout = 57664;
constexpr unsigned kCmdExit = 57665;
constexpr unsigned kCmdHelp = 57670;            // help file at its default topic
constexpr unsigned kCmdTipOfTheDay = 106;
constexpr unsigned kCmdStartupShortcut = 33010; // shortcut in the user's Startup folder
constexpr unsigned kCmdDesktopShortcut = 33011; // shortcut on the desktop

// The main window: bars, docking, full screen and options
constexpr unsigned kCmdToggleToolbar = 59392;
constexpr unsigned kCmdToggleStatusBar = 59393;
constexpr unsigned kCmdToggleSecondToolbar = 32954;
constexpr unsigned kCmdToggleFormatToolbar = 32786;
constexpr unsigned kCmdOptions = 33006;         // options sheet
constexpr unsigned kCmdShowWindow = 33007;      // slide the docked window into view; also sent by a second instance
constexpr unsigned kCmdFullScreen = 33014;      // enter or leave full-screen mode

// Arranging the notebook windows
constexpr unsigned kCmdArrangeIcons = 57649;
constexpr unsigned kCmdCascade = 57650;
constexpr unsigned kCmdTileHorizontally = 57651;
constexpr unsigned kCmdTileVertically = 57652;
constexpr unsigned kCmdFirstWindow = 0xFF00;    // window list: one id per open notebook window
constexpr unsigned kCmdLastWindow = 0xFFFF;

// Categories and notes, in the category tree and the note list
constexpr unsigned kCmdNewCategory = 32776;
constexpr unsigned kCmdDelete = 32777;          // delete the category, note or selection
constexpr unsigned kCmdNewNote = 32778;
constexpr unsigned kCmdRename = 32779;
constexpr unsigned kCmdImport = 32780;          // open the import dialog
constexpr unsigned kCmdCopyRecord = 33000;      // copy categories or notes into the record clipboard
constexpr unsigned kCmdSpareRecord = 33001;     // routed with the record-clipboard commands; no view acts on it
constexpr unsigned kCmdCutRecord = 33002;
constexpr unsigned kCmdPasteRecord = 33003;
constexpr unsigned kCmdNoteProperties = 33083;
constexpr unsigned kCmdEmptyCategory = 33094;   // delete everything inside a category
constexpr unsigned kCmdViewNote = 33120;        // show the note in the browser
constexpr unsigned kCmdEditNote = 33121;        // open the note in the editor
constexpr unsigned kCmdImportAgain = 33128;     // import dialog on existing notes, to file them elsewhere
constexpr unsigned kCmdViewSource = 33129;      // show the note's source address in the browser
constexpr unsigned kCmdSortByName = 33148;      // categories first, then notes, each by name

// Downloads, from the download groups of the tree and the list
constexpr unsigned kCmdHoldDownload = 33095;
constexpr unsigned kCmdStartDownload = 33096;
constexpr unsigned kCmdStopDownload = 33097;
constexpr unsigned kCmdHoldGroup = 33098;       // hold every queued or every failed download
constexpr unsigned kCmdStartGroup = 33099;      // start every waiting or every failed download
constexpr unsigned kCmdStopGroup = 33100;       // stop every running download
constexpr unsigned kCmdDeleteGroup = 33101;     // delete every note of a download group

// The notebook window's own commands
constexpr unsigned kCmdChangePassword = 33004;
constexpr unsigned kCmdUnlockNotebook = 33005;
constexpr unsigned kCmdEncryptNotebook = 34620;    // put a plain notebook under a passphrase
constexpr unsigned kCmdChangePassphrase = 34621;   // an encrypted notebook's new passphrase
constexpr unsigned kCmdRemoveEncryption = 34622;   // make an encrypted notebook plain again
constexpr unsigned kCmdMailNote = 33008;
constexpr unsigned kCmdSaveAsMarkdown = 34740;  // the selected note, category or notebook as Markdown files in a folder
constexpr unsigned kCmdSaveNoteAs = 33009;      // write the current note to a file of the user's choice
constexpr unsigned kCmdNotebookProperties = 33122;
constexpr unsigned kCmdBack = 33124;            // note history
constexpr unsigned kCmdForward = 33125;
constexpr unsigned kCmdNextNote = 33126;        // next note in tree order
constexpr unsigned kCmdPreviousNote = 33127;
constexpr unsigned kCmdDirectImport = 33140;    // file imports without the import dialog, on or off

// The note browser
constexpr unsigned kCmdBrowserStop = 33133;
constexpr unsigned kCmdBrowserRefresh = 33134;
constexpr unsigned kCmdTextSizeLargest = 33135;
constexpr unsigned kCmdTextSizeLarger = 33136;
constexpr unsigned kCmdTextSizeMedium = 33137;
constexpr unsigned kCmdTextSizeSmaller = 33138;
constexpr unsigned kCmdTextSizeSmallest = 33139;
constexpr unsigned kCmdPageScripts = 34475;     // the notebook's kept pages run their scripts, on or off
// Highlights in a kept page: in the colour last chosen, in one of the four
// colours (consecutive, yellow first), a comment, and taking one out.
constexpr unsigned kCmdHighlight = 34700;
constexpr unsigned kCmdHighlightYellow = 34701;
constexpr unsigned kCmdHighlightPink = 34704;
constexpr unsigned kCmdHighlightComment = 34705;
constexpr unsigned kCmdRemoveHighlight = 34706;
// The reader view: the note's article alone, and how it is shown
constexpr unsigned kCmdReaderView = 34650;         // on or off; its toolbar button drops down the style menu
constexpr unsigned kCmdReaderThemeLight = 34651;
constexpr unsigned kCmdReaderThemeSepia = 34652;
constexpr unsigned kCmdReaderThemeDark = 34653;
constexpr unsigned kCmdReaderTextSmaller = 34654;
constexpr unsigned kCmdReaderTextLarger = 34655;
constexpr unsigned kCmdReaderWidthNarrow = 34656;
constexpr unsigned kCmdReaderWidthMedium = 34657;
constexpr unsigned kCmdReaderWidthWide = 34658;
constexpr unsigned kCmdReaderFirst = 34650;
constexpr unsigned kCmdReaderLast = 34658;

// The editor's command table: every id in this range is looked up there
constexpr unsigned kCmdFirstEditTable = 32800;
constexpr unsigned kCmdLastEditTable = 32887;

// Editing and printing (copy, select all, find and print also reach the browser)
constexpr unsigned kCmdFind = 32802;            // disabled in the browser
constexpr unsigned kCmdCut = 32803;
constexpr unsigned kCmdCopy = 32804;
constexpr unsigned kCmdPaste = 32805;
constexpr unsigned kCmdUndo = 32806;
constexpr unsigned kCmdRedo = 32807;
constexpr unsigned kCmdDeleteSelection = 32809;
constexpr unsigned kCmdSelectAll = 32810;
constexpr unsigned kCmdPrint = 32813;           // with the print dialog
constexpr unsigned kCmdPrintDirect = 32815;     // without the print dialog
constexpr unsigned kCmdInsertDateTime = 32868;

// Character and paragraph formatting
constexpr unsigned kCmdFontDialog = 32811;
constexpr unsigned kCmdBold = 32821;
constexpr unsigned kCmdItalic = 32825;
constexpr unsigned kCmdUnderline = 32826;
constexpr unsigned kCmdAlignCentre = 32827;
constexpr unsigned kCmdAlignLeft = 32828;       // also stands for the popup that holds the alignment items
constexpr unsigned kCmdAlignRight = 32829;
constexpr unsigned kCmdBulletedList = 32831;
constexpr unsigned kCmdOutdent = 32832;
constexpr unsigned kCmdIndent = 32833;
constexpr unsigned kCmdNumberedList = 32834;
constexpr unsigned kCmdHyperlink = 32836;
constexpr unsigned kCmdInsertImage = 32838;

// The editor's tables
constexpr unsigned kCmdInsertTable = 32841;
constexpr unsigned kCmdInsertRow = 32846;
constexpr unsigned kCmdInsertColumn = 32847;
constexpr unsigned kCmdDeleteRows = 32848;
constexpr unsigned kCmdDeleteColumns = 32849;
constexpr unsigned kCmdMergeCells = 32850;
constexpr unsigned kCmdSplitCell = 32851;
constexpr unsigned kCmdInsertCell = 32852;
constexpr unsigned kCmdDeleteCells = 32853;

// Positioned elements in the editor
constexpr unsigned kCmdMakeAbsolute = 32854;
constexpr unsigned kCmdLockElement = 32855;
constexpr unsigned kCmdSendToBack = 32856;
constexpr unsigned kCmdBringToFront = 32857;
constexpr unsigned kCmdSendBackward = 32858;
constexpr unsigned kCmdBringForward = 32859;
constexpr unsigned kCmdSendBehindText = 32860;
constexpr unsigned kCmdBringAboveText = 32861;
constexpr unsigned kCmdConstrainMovement = 32862; // toggles on every use
constexpr unsigned kCmdNudgeElement = 32863;
constexpr unsigned kCmdAlignmentGrid = 32864;

// The format toolbar and the colour and style popups
constexpr unsigned kCmdFontName = 32823;        // font-name combo box
constexpr unsigned kCmdFontSize = 32824;        // font-size combo box
constexpr unsigned kCmdFirstForeColor = 32888;  // sixteen colours, then the automatic colour
constexpr unsigned kCmdLastForeColor = 32904;   // automatic (window-text colour)
constexpr unsigned kCmdFirstBackColor = 117;    // page background: sixteen colours, then automatic
constexpr unsigned kCmdLastBackColor = 133;     // automatic (window-text colour)
constexpr unsigned kCmdBackColorDialog = 134;   // system colour dialog; a number of its own, so that the fifth swatch (121) is a colour
constexpr unsigned kCmdFirstBlockFormat = 32922; // paragraph style by its position in the engine's list
constexpr unsigned kCmdLastBlockFormat = 32942;
constexpr unsigned kCmdStylePopup = 32943;      // menu item replaced by the paragraph-style popup
constexpr unsigned kCmdBackColorPopup = 32944;  // menu item replaced by the background-colour popup
constexpr unsigned kCmdForeColorButton = 32945; // drop-down button: text colour
constexpr unsigned kCmdBlockFormatButton = 32946; // drop-down button: paragraph style

// The window (system) menu; the menu painter leaves these items alone
constexpr unsigned kCmdFirstSystemCommand = 0xF000;

// Menus, toolbars and accelerator tables
constexpr unsigned kMenuMain = 233;             // main window without an open notebook
constexpr unsigned kAccelMain = 233;
constexpr unsigned kMenuNotebook = 234;         // main window while a notebook window is active
constexpr unsigned kAccelNotebook = 234;
constexpr unsigned kMenuTray = 167;             // notification-area icon; its first popup is shown
constexpr unsigned kMenuContext = 173;          // first popup: category tree; second popup: note list
constexpr unsigned kToolbarMain = 233;
constexpr unsigned kToolbarSecond = 136;
constexpr unsigned kToolbarFormat = 144;
constexpr unsigned kToolbarFullScreen = 232;    // floating bar that exists only in full-screen mode

}  // namespace cmd
