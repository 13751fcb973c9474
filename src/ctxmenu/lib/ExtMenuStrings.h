// The library's own texts and the language that picks them. The file
// manager loads this library into its own process, so nothing of the
// program (its language modules among them) is at hand here.
#pragma once

#include <string>

// What the library shows to its users; everything else stays inside.
#define EXTMENU_API __attribute__((visibility("default")))

namespace extmenu {

// String ids of the library. 101 to 103 and 107 are the Chinese texts of
// 105, 106, 104 and 108.
enum StringId : unsigned {
    kIdsProjectName = 100,
    kIdsItemChn = 101,
    kIdsHelpChn = 102,
    kIdsPageEntryChn = 103,
    kIdsPageEntry = 104,
    kIdsItem = 105,
    kIdsHelp = 106,
    kIdsAllEntryChn = 107,
    kIdsAllEntry = 108,
};

// The text of `nId` (UTF-8); empty for an id the table does not hold.
EXTMENU_API const char* LoadText(unsigned nId);

// The default language of the system's locale as four hexadecimal digits,
// as Windows numbers languages: "0804" for Chinese (China). Read from
// LC_ALL, then LC_MESSAGES, then LANG, as the C library does for messages;
// "0409" when none names a language.
EXTMENU_API std::string SystemLanguageId();
// The same for a locale name such as "zh_CN.UTF-8" or "de_DE@euro".
EXTMENU_API std::string LanguageIdOf(const std::string& strLocale);

// True for "0804": the Chinese texts are used.
EXTMENU_API bool IsChinese(const std::string& strLanguageId);

// The text for a purpose in a language: the file manager's item (105 or
// 101), its help text (106 / 102), browser entry 1 (104 / 103) and entry 2
// (108 / 107).
enum class Text { Item, Help, PageEntry, AllEntry };
EXTMENU_API const char* TextFor(Text what, const std::string& strLanguageId);

}  // namespace extmenu
