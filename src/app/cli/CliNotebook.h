// What the notebook commands of clipvault-cli share: opening and saving a
// notebook file, and finding categories and notes by path or id.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CClipVaultDoc;
class CNote;
class CNoteCata;

namespace cli {

bool HasNotebookExtension(const std::string& strPath);

enum class Opened { ok, damaged, failed };
// Opens a notebook; a damaged one is reported on one line that ends with
// `pszConsequence` (what the command does about it).
Opened OpenNotebook(CClipVaultDoc& doc, const std::string& strPath, const char* pszConsequence);
// Opens a notebook that is about to be changed; a damaged one is refused.
bool OpenForChange(CClipVaultDoc& doc, const std::string& strPath);
// Saves to the notebook's own path; the exit code.
int Save(CClipVaultDoc& doc);
// After a record operation said no: the exit code (the core said why).
int Refused();

// A category path: names joined by "/", "" and "/" being the top category.
bool SplitPath(const std::string& strPath, std::vector<std::string>& names);
CNoteCata* FindCategory(CNoteCata& root, const std::vector<std::string>& names, size_t nCount);
CNote* FindNoteById(const CNoteCata& cata, uint32_t nID);
bool IsAllDigits(const std::string& s);
// A category given by path on the command line; reports and gives null when
// there is none.
CNoteCata* CategoryArg(CClipVaultDoc& doc, const std::string& arg);

}  // namespace cli
