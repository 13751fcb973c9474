// Notes, categories and whole notebooks written out as Markdown folders: one
// .md per note with a YAML front matter (title, source address, capture
// date, category path, highlights with their comments), a folder per
// category, the pictures the pages show copied once into assets/ at the
// export's root and linked relatively, text notes as text, other files
// copied beside their .md and linked.
//
// The conversion itself is turndown with its GFM plugin, run in node on a
// linkedom document by the program's own script js/src/to-markdown.js. One
// path serves the window and the command-line tool, so both give the same
// bytes; it runs without a display, so tests check it headless; and no web
// engine page has to live (and be torn down) for the length of an export. A
// batch of pages goes to one run of node, so a category of a thousand notes
// does not start it a thousand times.
//
// The work comes in two steps: the plan is taken from the notebook on the
// thread that owns it (the page bytes, their pictures and the names they get
// copied out), and the plan is then converted and written anywhere, a worker
// thread included, while the notebook goes on changing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CClipVaultDoc;
class CNote;
class CNoteCata;

namespace markdown {

// What one note becomes: "page", "text", "file" (copied beside, linked) or
// "link" (the notebook keeps only its address).
struct CMarkdownNote {
    std::string m_strPath;   // relative to the export's root: "Category/Note.md"
    std::string m_strKind;
    std::string m_strBody;   // a page's HTML or a text note's text, UTF-8
    std::string m_strTitle, m_strSource, m_strCaptured, m_strCategory;  // UTF-8
    std::string m_strAssets;  // the way from the note's folder to assets/: "../assets/"
    std::string m_strFile;    // a file note: the name of the copy beside the .md
    std::vector<uint8_t> m_fileBytes;
};

struct CMarkdownPlan {
    std::vector<std::string> m_folders;  // relative, parents first
    std::vector<CMarkdownNote> m_notes;
    // The notebook's files the pages name, by name (bare, usable as a file
    // name), with their bytes: written to assets/ when a page's Markdown
    // still shows them.
    std::vector<std::pair<std::string, std::shared_ptr<const std::vector<uint8_t>>>> m_assets;
    // Each exported note's id and path: a note link between two of them
    // becomes a relative link from one .md to the other.
    std::vector<std::pair<uint32_t, std::string>> m_notePaths;
};

// The plan for a note (`pNote`), else a category with everything below it
// (`pCata`, the notebook's top category for the whole notebook). Reads the
// notebook: call it where the notebook may be read.
CMarkdownPlan PlanExport(CClipVaultDoc& doc, CNote* pNote, CNoteCata* pCata);

struct CMarkdownResult {
    bool m_bDone = false;
    size_t m_nNotes = 0;   // Markdown files written
    size_t m_nAssets = 0;  // files written to assets/
    std::string m_strError;  // UTF-8, for a message; empty when done
};

// Converts the plan and writes it into `strOutDir`, a folder that is made
// when missing and must be empty when it is there: nothing is written over,
// and nothing outside it. `fnProgress(done, total)` is told as notes are
// written; false from it stops the export. Stops at the first failure,
// saying how far it got.
CMarkdownResult WriteExport(const CMarkdownPlan& plan, const std::string& strOutDir,
                            const std::function<bool(size_t, size_t)>& fnProgress = {});

// A file or folder name (UTF-8) that every common system can hold and that
// stays inside its folder: no separators, reserved characters or controls, no
// leading dot, no reserved device names, at most `nMaxBytes` bytes; empty
// names become "untitled".
std::string SafeName(const std::string& strUtf8, size_t nMaxBytes = 100);

// A new folder name for an export of `strNameUtf8` inside `strParent`: its
// safe name, numbered " (2)", " (3)"... when something is there already.
// Nothing is made.
std::string NewExportFolder(const std::string& strParent, const std::string& strNameUtf8);

}  // namespace markdown
