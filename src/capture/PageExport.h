// A page of a notebook written out to a place the user chose, with every
// file it uses in a folder beside it ("page.files" beside "page.htm").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CClipVaultDoc;

// An attachment name becomes a file name in a folder: one that could climb
// out of it (a damaged or hostile notebook) is not written.
bool UsableFileName(const std::string& name);

// Writes `content`, a page of `doc`, to `strPath`, with the files it uses
// at any depth (its own, its stylesheets' and frames', an XSL's and what
// the XSL's output shows) and the files of `listed` in the folder beside
// it, and its references to them pointed there. The stored bytes do not
// change; only an XSL's copy differs, since its output is read from where
// the page stands. Without the folder the page is written as it is.
bool ExportPage(CClipVaultDoc& doc, const std::vector<uint8_t>& content, const std::vector<std::string>& listed,
                const std::string& strPath);
