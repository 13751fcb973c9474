// String ids of the language module that core code reports by.
#pragma once

namespace ids {
constexpr unsigned IDS_NAME_TAKEN = 33017;       // a name is already used in the category
constexpr unsigned IDS_OPERATION_FAILED = 33049;  // generic failure
constexpr unsigned IDS_FILE_MISSING = 33059;     // a local file to import does not exist
constexpr unsigned IDS_FILE_NOT_WRITABLE = 33061;  // the options file cannot be written
// A note's error text after a failed page fetch.
constexpr unsigned IDS_FETCH_BAD_URL = 33141;        // the address cannot be used
constexpr unsigned IDS_FETCH_REDIRECTED = 33143;     // still redirected when the attempts ran out
constexpr unsigned IDS_FETCH_NOT_FOUND = 33144;      // 404, 408 or 504 on every attempt
constexpr unsigned IDS_FETCH_FAILED = 33145;         // any other failure
// A note's error text after a failed import of a file of the disk.
constexpr unsigned IDS_FILE_TOO_LARGE = 34431;   // "%s" bytes, the limit "%s"
constexpr unsigned IDS_FILE_NOT_READ = 34432;    // path, the system's reason
constexpr unsigned IDS_FILE_HAS_NO_TYPE = 34433; // path without an extension
constexpr unsigned IDS_NOT_A_NOTEBOOK = 33085;           // a file to open is not a ".vlt" notebook
constexpr unsigned IDS_STOP_DOWNLOADS_TO_CLOSE = 33087;  // downloads run: stop them and close? (Yes/No)
constexpr unsigned IDS_DOWNLOADS_NOT_STOPPED = 33088;    // downloads did not stop (Abort/Retry/Ignore)

// Strings every document program has: an untitled document's name, asking to
// save, failing to open or save.
constexpr unsigned IDS_UNTITLED = 61443;
constexpr unsigned IDS_FAILED_TO_OPEN_DOC = 61697;  // path, reason
constexpr unsigned IDS_FAILED_TO_SAVE_DOC = 61698;  // path, reason
constexpr unsigned IDS_ASK_TO_SAVE = 61699;         // name

// A notebook whose file could not be read whole.
constexpr unsigned IDS_NOTEBOOK_DAMAGED = 34420;   // path, categories, notes, attachments read
constexpr unsigned IDS_DAMAGED_FILE_KEPT = 34421;  // path: a save over the damaged file is refused
constexpr unsigned IDS_TITLE_DAMAGED = 34422;      // after the window's title
constexpr unsigned IDS_RECOVERED_NAME = 34423;     // name: offered for saving what was read

// Encrypted notebooks.
constexpr unsigned IDS_SEALED_NOT_OPENED = 34600;      // path, reason (one of the next): the file is left as it is
constexpr unsigned IDS_SEALED_WRONG_PASSPHRASE = 34601;
constexpr unsigned IDS_SEALED_DAMAGED_HEADER = 34602;
constexpr unsigned IDS_SEALED_NEWER_FORMAT = 34603;
constexpr unsigned IDS_SEALED_FOREIGN_HEADER = 34604;
constexpr unsigned IDS_SEALED_DAMAGED_PART = 34605;    // which part, from 1
constexpr unsigned IDS_SEALED_CUT_SHORT = 34606;
constexpr unsigned IDS_SEALED_TRAILING_BYTES = 34607;
constexpr unsigned IDS_SEALED_NO_MEMORY = 34608;
constexpr unsigned IDS_SEALED_NEEDS_PASSPHRASE = 34609;  // path: opened where nothing can ask for it
constexpr unsigned IDS_SEALED_NO_KEY = 34610;            // the key for a new passphrase could not be made
// The window's passphrase dialogs.
constexpr unsigned IDS_CRYPT_ENCRYPT_TITLE = 34623;
constexpr unsigned IDS_CRYPT_CHANGE_TITLE = 34624;
constexpr unsigned IDS_CRYPT_NEW_LABEL = 34625;
constexpr unsigned IDS_CRYPT_CONFIRM_LABEL = 34626;
constexpr unsigned IDS_CRYPT_NO_RECOVERY = 34627;       // a forgotten passphrase is lost with the notes
constexpr unsigned IDS_CRYPT_EMPTY = 34628;
constexpr unsigned IDS_CRYPT_DIFFER = 34629;
constexpr unsigned IDS_CRYPT_OPEN_TITLE = 34630;
constexpr unsigned IDS_CRYPT_OPEN_LABEL = 34631;        // the notebook's file name
constexpr unsigned IDS_CRYPT_WRONG_TRIES = 34632;       // tries left
constexpr unsigned IDS_CRYPT_REMOVE_TITLE = 34633;
constexpr unsigned IDS_CRYPT_REMOVE_TEXT = 34634;       // what removing does
constexpr unsigned IDS_CRYPT_CURRENT_LABEL = 34635;
constexpr unsigned IDS_CRYPT_REMOVE_WRONG = 34636;      // the current passphrase typed is not it
constexpr unsigned IDS_CRYPT_DONE = 34637;              // path: the notebook is encrypted now
constexpr unsigned IDS_CRYPT_OK = 34638;
constexpr unsigned IDS_CRYPT_CANCEL = 34639;
constexpr unsigned IDS_CRYPT_REMOVED = 34640;           // path: the notebook is plain again
// A locked notebook: what a refused change says, and the marks of the lock.
constexpr unsigned IDS_NOTEBOOK_LOCKED = 34570;  // a change tried on a locked notebook
constexpr unsigned IDS_TITLE_LOCKED = 34571;     // after the window's and the tab's title
constexpr unsigned IDS_TITLE_ENCRYPTED = 34641;  // the same, for an encrypted notebook
constexpr unsigned IDS_LOCKED_TIP = 34572;       // the tree root's tip while locked

// The desktop program's own messages.
constexpr unsigned IDS_OLE_INIT_FAILED = 100;
constexpr unsigned IDS_APP_TITLE = 233;       // the program's name
constexpr unsigned IDS_DOC_TEMPLATE = 234;    // "\nVLT\n<type name>\n<filter>\n.vlt\n..."
constexpr unsigned IDS_TAB_CATEGORIES = 33015;
constexpr unsigned IDS_TAB_SEARCH = 33016;
constexpr unsigned IDS_HOTKEY_NOT_REGISTERED = 33031;  // the global hot key is taken
constexpr unsigned IDS_STARTUP_LINK_MADE = 33038;
constexpr unsigned IDS_STARTUP_LINK_FAILED = 33039;
constexpr unsigned IDS_DESKTOP_LINK_MADE = 33040;
constexpr unsigned IDS_DESKTOP_LINK_FAILED = 33041;
constexpr unsigned IDS_EDITOR_SAVE_FAILED = 33021;  // leaving a note whose edits could not be kept
constexpr unsigned IDS_EDITOR_LOAD_FAILED = 34410;  // a page the editor could not load: note, reason, page
constexpr unsigned IDS_CHILD_CREATE_FAILED = 33045;
constexpr unsigned IDS_NOTEBOOK_READ_ONLY = 33076;  // a damaged notebook refuses changes
constexpr unsigned IDS_NO_MAIL_SYSTEM = 61840;
constexpr unsigned IDS_MAIL_FAILED = 61841;      // the mail program could not be started
constexpr unsigned IDS_ABOUT_VERSION = 33072;
constexpr unsigned IDS_OPTIONS_CAPTION = 33073;
constexpr unsigned IDS_ABOUT_COPYRIGHT = 33113;
constexpr unsigned IDS_IDLE_MESSAGE = 57345;  // "Ready"
constexpr unsigned IDS_INDICATOR_CAPS = 59137;
constexpr unsigned IDS_INDICATOR_NUM = 59138;
constexpr unsigned IDS_INDICATOR_SCRL = 59139;

// Moving categories and notes in the category tree.
constexpr unsigned IDS_CATEGORY_INTO_ITSELF = 33064;  // a category cannot go into its own subtree
constexpr unsigned IDS_ALREADY_IN_CATEGORY = 33065;   // dropped on the category they came from
// Deleting in the category tree: each asks Yes or No about a name or label.
constexpr unsigned IDS_ASK_DELETE_NOTE = 33018;
constexpr unsigned IDS_ASK_DELETE_CATEGORY = 33068;
constexpr unsigned IDS_ASK_DELETE_CONTENTS = 33103;   // emptying a category or a download group

// The note browser's status pages: HTML for the page body, the first two
// taking the note's source twice, the failure page also the error text.
constexpr unsigned IDS_STATUS_RUNNING_NOTE = 33062;
constexpr unsigned IDS_STATUS_QUEUED_NOTE = 33089;
constexpr unsigned IDS_STATUS_HELD_NOTE = 33104;
constexpr unsigned IDS_STATUS_FAILED_NOTE = 33063;
constexpr unsigned IDS_STATUS_RUNNING_GROUP = 33109;
constexpr unsigned IDS_STATUS_QUEUED_GROUP = 33110;
constexpr unsigned IDS_STATUS_HELD_GROUP = 33111;
constexpr unsigned IDS_STATUS_FAILED_GROUP = 33112;

// The search form.
constexpr unsigned IDS_QUERY_EMPTY = 33026;   // searching for nothing
constexpr unsigned IDS_QUERY_COUNT = 33057;   // "%d" notes found
constexpr unsigned IDS_QUERY_COLUMN = 33058;  // the results' column
// The import flow, the import dialog and the notice.
constexpr unsigned IDS_IMPORT_FILE_FILTER = 33022;   // the add-files dialog's filter
constexpr unsigned IDS_IMPORT_CAPTION = 33024;       // the import dialog
constexpr unsigned IDS_IMPORT_NO_TARGET = 33025;     // no notebook or category chosen
constexpr unsigned IDS_IMPORT_TITLE_COLUMN = 33058;  // the rows' title column
constexpr unsigned IDS_IMPORT_SOURCE_COLUMN = 33074; // the rows' source column
constexpr unsigned IDS_IMPORT_AGAIN_CAPTION = 33130; // the dialog on existing notes
constexpr unsigned IDS_IMPORT_FILED = 33146;         // "%d" notes added to "%s"
constexpr unsigned IDS_IMPORT_NOTICE_CAPTION = 33147;
constexpr unsigned IDS_IMPORT_NOT_A_LOCAL_FILE = 34430;  // a typed "file:" address, as typed
constexpr unsigned IDS_IMPORT_NOT_A_WEB_ADDRESS = 34540; // typed text that is no address, as typed
constexpr unsigned IDS_IMPORT_ALREADY_KEPT = 34541;      // a row's mark: "%s" the newest capture's date
constexpr unsigned IDS_IMPORT_CAPTURE_AGAIN = 34542;     // direct import: note name, date, address
constexpr unsigned IDS_IMPORT_AGAIN_FOR_ALL = 34543;     // its check box: the answer stands for the batch
constexpr unsigned IDS_IMPORT_KEPT_COLUMN = 34544;       // the rows' column of marks
constexpr unsigned IDS_KEPT_DATE_THIS_YEAR = 34545;      // a capture date this year (Qt date format)
constexpr unsigned IDS_KEPT_DATE_OTHER_YEAR = 34546;     // a capture date of another year

// The category tree and the note list: default names, the groups' labels
// (the download groups' also name a note's state in the list), the list's
// columns.
constexpr unsigned IDS_NEW_CATEGORY = 33050;
constexpr unsigned IDS_NEW_NOTE = 33051;
constexpr unsigned IDS_TREE_ROOT = 33052;
constexpr unsigned IDS_GROUP_RECENT = 33053;
constexpr unsigned IDS_GROUP_TODAY = 33054;
constexpr unsigned IDS_GROUP_YESTERDAY = 33055;
constexpr unsigned IDS_GROUP_THIS_WEEK = 33056;
constexpr unsigned IDS_GROUP_QUEUED = 33090;
constexpr unsigned IDS_GROUP_RUNNING = 33091;
constexpr unsigned IDS_GROUP_FAILED = 33092;
constexpr unsigned IDS_GROUP_DOWNLOADS = 33093;
constexpr unsigned IDS_GROUP_WAITING = 33102;
constexpr unsigned IDS_NAME_COLUMN = 33116;
constexpr unsigned IDS_STATUS_COLUMN = 33117;
constexpr unsigned IDS_STATUS_DONE = 33118;   // a note with nothing left to download
constexpr unsigned IDS_NOT_A_REGULAR_FILE = 34470;  // a reason: a pipe or device where a file was wanted
constexpr unsigned IDS_LINK_NOT_OPENED = 34460;  // a stored page's link to something other than the web or mail
constexpr unsigned IDS_FETCH_TOO_SLOW = 34465;      // bytes a second, seconds: a download given up as stalled
constexpr unsigned IDS_FETCH_TOO_LONG_MIN = 34466;  // minutes: a download given up as too long
constexpr unsigned IDS_FETCH_TOO_LONG_SEC = 34467;  // seconds: the same
constexpr unsigned IDS_CAPTURE_OVER_BUDGET = 34490;  // MB: a capture's files past its budget left at their addresses
constexpr unsigned IDS_FETCH_OVER_BUDGET = 34491;    // MB: a page or file alone past the budget, not stored
constexpr unsigned IDS_FILES_INFLATED = 34492;       // ratio: files that unpacked too far left at their addresses
constexpr unsigned IDS_FETCH_INFLATED = 34493;       // ratio: a page or file that unpacked too far, not stored
constexpr unsigned IDS_SEARCH_CANCEL = 34510;       // the search form's Cancel button
constexpr unsigned IDS_SEARCH_CANCEL_NAME = 34511;  // its accessible name
constexpr unsigned IDS_SEARCH_PROGRESS = 34512;     // "%s of %s": notes a search has looked at
constexpr unsigned IDS_INDEX_PROGRESS = 34513;      // status bar: "%s of %s" notes indexed
constexpr unsigned IDS_INDEX_FAILED = 34514;        // status bar: no index can be kept
constexpr unsigned IDS_KEPT_NOTE_LINK = 34530;      // status bar: a hovered link leads to the note "%s" the notebook keeps
// Highlights: the comment dialog, the refusals, the Highlights tab.
constexpr unsigned IDS_HL_DIALOG_TITLE = 34707;
constexpr unsigned IDS_HL_COMMENT_LABEL = 34708;
constexpr unsigned IDS_HL_COLOR_LABEL = 34709;
constexpr unsigned IDS_HL_REMOVE = 34710;
constexpr unsigned IDS_HL_OK = 34711;
constexpr unsigned IDS_HL_CANCEL = 34712;
constexpr unsigned IDS_HL_NOT_FOUND = 34713;    // the selected text is not in the stored page
constexpr unsigned IDS_HL_NO_TEXT = 34714;      // it is only where no mark can go
constexpr unsigned IDS_HL_NO_SELECTION = 34715;
constexpr unsigned IDS_HL_NOT_WRITTEN = 34716;  // note name: the changed page did not go into the note
constexpr unsigned IDS_TAB_HIGHLIGHTS = 34717;
constexpr unsigned IDS_HL_FILTER_LABEL = 34718;
constexpr unsigned IDS_HL_FILTER_HINT = 34719;
constexpr unsigned IDS_HL_COL_TEXT = 34720;
constexpr unsigned IDS_HL_COL_COMMENT = 34721;
constexpr unsigned IDS_HL_COL_NOTE = 34722;
constexpr unsigned IDS_HL_COL_DATE = 34723;
constexpr unsigned IDS_HL_LIST_NAME = 34724;
constexpr unsigned IDS_HL_COUNT = 34725;        // "Highlights: %s", the rows shown
constexpr unsigned IDS_HL_READING = 34726;
constexpr unsigned IDS_HL_GONE = 34727;         // the highlight acted on is no longer in the page
constexpr unsigned IDS_HL_BUTTON = 34728;       // the toolbar's colour button
constexpr unsigned IDS_READER_NOT_READABLE = 34670;  // status bar: the page is no article (too little main text)
constexpr unsigned IDS_READER_NO_ARTICLE = 34671;    // status bar: Readability found no article in the page
constexpr unsigned IDS_READER_NO_SCRIPTS = 34672;    // status bar: the reader's scripts are missing from the folder "%s"
constexpr unsigned IDS_READER_FAILED = 34673;        // status bar: reading the page failed: "%s"
constexpr unsigned IDS_READER_SHOWN = 34674;         // status bar: the article is shown; the command again shows the page
constexpr unsigned IDS_READER_STYLE = 34675;         // the style menu's title and the reader style submenu
constexpr unsigned IDS_MARKDOWN_CHOOSE = 34741;     // the folder chooser's title
constexpr unsigned IDS_MARKDOWN_DONE = 34742;       // notes written, folder: the export went through
constexpr unsigned IDS_MARKDOWN_FAILED = 34743;     // the reason: the export did not go through
constexpr unsigned IDS_MARKDOWN_PROGRESS = 34744;   // the progress window's text
constexpr unsigned IDS_MARKDOWN_PROGRESS_NAME = 34745;  // its accessible name
}  // namespace ids
