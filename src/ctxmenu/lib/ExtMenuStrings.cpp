#include "ExtMenuStrings.h"

#include <cstdlib>
#include <cstring>

namespace extmenu {

const char* LoadText(unsigned nId) {
    switch (nId) {
    case kIdsProjectName: return "VLTExtMenu";
    case kIdsItemChn: return "添加到 Clipvault";
    case kIdsHelpChn: return "将选中的文件添加到 Clipvault";
    case kIdsPageEntryChn: return "将此页添加到 Clipvault";
    case kIdsPageEntry: return "Add the page to Clipvault";
    case kIdsItem: return "Add to Clipvault";
    case kIdsHelp: return "Add selected files to Clipvault";
    case kIdsAllEntryChn: return "全部添加到 Clipvault";
    case kIdsAllEntry: return "Add all to Clipvault";
    default: return "";
    }
}

std::string LanguageIdOf(const std::string& strLocale) {
    // "ll_CC.codeset@modifier": only the language and the country count.
    std::string name = strLocale.substr(0, strLocale.find_first_of(".@"));
    for (char& c : name)
        if (c == '-') c = '_';
    const std::string lang = name.substr(0, name.find('_'));
    const std::string country = name.find('_') == std::string::npos ? std::string() : name.substr(name.find('_') + 1);
    struct Entry { const char* lang; const char* country; const char* id; };
    static const Entry kTable[] = {
        {"zh", "CN", "0804"}, {"zh", "TW", "0404"}, {"zh", "HK", "0c04"}, {"zh", "SG", "1004"},
        {"zh", "MO", "1404"}, {"en", "US", "0409"}, {"en", "GB", "0809"}, {"de", "DE", "0407"},
        {"fr", "FR", "040c"}, {"ja", "JP", "0411"}, {"ko", "KR", "0412"}, {"es", "ES", "0c0a"},
        {"ru", "RU", "0419"}, {"it", "IT", "0410"},
    };
    for (const Entry& e : kTable)
        if (lang == e.lang && country == e.country) return e.id;
    // A language without its country is its neutral form: never "0804",
    // which names Chinese as written in China.
    for (const Entry& e : kTable)
        if (lang == e.lang) return std::string("04") + (e.id + 2);
    return "0409";
}

std::string SystemLanguageId() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(var);
        if (value && *value) {
            // "C" and "POSIX" name no language.
            if (std::strcmp(value, "C") == 0 || std::strcmp(value, "POSIX") == 0 ||
                std::strncmp(value, "C.", 2) == 0)
                return "0409";
            return LanguageIdOf(value);
        }
    }
    return "0409";
}

bool IsChinese(const std::string& strLanguageId) { return strLanguageId == "0804"; }

const char* TextFor(Text what, const std::string& strLanguageId) {
    const bool chn = IsChinese(strLanguageId);
    switch (what) {
    case Text::Item: return LoadText(chn ? kIdsItemChn : kIdsItem);
    case Text::Help: return LoadText(chn ? kIdsHelpChn : kIdsHelp);
    case Text::PageEntry: return LoadText(chn ? kIdsPageEntryChn : kIdsPageEntry);
    case Text::AllEntry: return LoadText(chn ? kIdsAllEntryChn : kIdsAllEntry);
    }
    return "";
}

}  // namespace extmenu
