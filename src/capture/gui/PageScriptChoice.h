// Whether the pages a notebook keeps run their scripts. The notebook file
// has no place for it, so the choice is kept beside the program's options,
// one notebook path a line; a notebook not saved yet keeps it while open.
#pragma once

class CClipVaultDoc;

bool NotebookRunsPageScripts(const CClipVaultDoc& doc);
void RememberPageScripts(const CClipVaultDoc& doc, bool bOn);
