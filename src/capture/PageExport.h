// A page of a notebook written out to a place the user chose, with every
// file it uses in a folder beside it ("page.files" beside "page.htm").
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CClipVaultDoc;

// An attachment name becomes a file name in a folder: one that could climb
// out of it (a damaged or hostile notebook) is not written.
bool UsableFileName(const std::string& name);

// The page with every link the first rules' reading finds in it (hyperlinks
// too) that names a held file by its bare name pointed to `strPrefix` + the
// name; each such name is added to `pointed`. A UTF-16 page stays UTF-16;
// the page comes back as it was when nothing is pointed.
std::vector<uint8_t> PointScannedLinks(const std::vector<uint8_t>& page, const std::string& strPrefix,
                                       const std::function<bool(const std::string&)>& fnHeld,
                                       std::vector<std::string>& pointed);

// Writes `content`, a page of `doc`, to `strPath`, with the files it uses
// at any depth (its own, its stylesheets' and frames', an XSL's and what
// the XSL's output shows) and the files of `listed` in the folder beside
// it, and its references to them pointed there. The stored bytes do not
// change; only an XSL's copy differs, since its output is read from where
// the page stands. Without the folder the page is written as it is.
bool ExportPage(CClipVaultDoc& doc, const std::vector<uint8_t>& content, const std::vector<std::string>& listed,
                const std::string& strPath);
