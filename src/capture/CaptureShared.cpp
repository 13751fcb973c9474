#include "capture/CaptureShared.h"

#include "capture/LocalReadRules.h"
#include "document/ClipVaultDoc.h"

CLocalFolder CLocalFolder::OfPage(const std::string& strPagePath) {
    CLocalFolder folder(nullptr);
    folder.m_bKnown = true;
    folder.m_strFolder = localread::PageFolder(strPagePath);
    return folder;
}

std::string CLocalFolder::PathToRead(const std::string& url, bool bDecode) {
    if (!m_bKnown) {
        m_bKnown = true;
        m_strFolder = m_pDoc ? localread::RealFolder(m_pDoc->GetWorkFolder(true)) : std::string();
    }
    return localread::PathToRead(localread::PathOfReference(url, bDecode), m_strFolder);
}

CNameReservation::~CNameReservation() { Release(); }

void CNameReservation::Release() {
    if (pDoc && !name.empty()) pDoc->ReleaseAttachmentName(name);
    name.clear();
}

// The host's text with each "%s" in turn replaced by the next of `args`;
// what has no place in it (a host without the text) is added at the end.
std::string FormatText(std::string text, const std::vector<std::string>& args) {
    size_t from = 0;
    for (const std::string& arg : args) {
        const size_t at = text.find("%s", from);
        if (at == std::string::npos) {
            text += " " + arg;
            from = text.size();
            continue;
        }
        text.replace(at, 2, arg);
        from = at + arg.size();
    }
    return text;
}
