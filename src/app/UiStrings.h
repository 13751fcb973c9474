// String ids of texts that the program's own windows show (captions and
// labels); the language module holds them beside the message strings.
#pragma once

namespace uistr {
constexpr unsigned kStartCaption = 34100;
constexpr unsigned kStartQuestion = 34101;
constexpr unsigned kStartNew = 34102;
constexpr unsigned kStartRecent = 34103;
constexpr unsigned kStartSample = 34104;
constexpr unsigned kStartOther = 34105;
constexpr unsigned kHelpCaption = 34111;
constexpr unsigned kHelpMissing = 34112;  // the help page %s is not there
constexpr unsigned kNoCommandLinePrint = 34113;
constexpr unsigned kUnknownSwitch = 34114;  // %s: the switch
constexpr unsigned kNoTempRoot = 34115;     // %s: the temporary folder, %s: why
}  // namespace uistr
