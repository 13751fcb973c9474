// String ids of the language module that core code reports by.
#pragma once

namespace ids {
constexpr unsigned IDS_NAME_TAKEN = 33017;       // a name is already used in the category
constexpr unsigned IDS_OPERATION_FAILED = 33049;  // generic failure
constexpr unsigned IDS_FILE_MISSING = 33059;     // a local file to import does not exist
constexpr unsigned IDS_FILE_NOT_WRITABLE = 33061;  // the options file cannot be written
}  // namespace ids
