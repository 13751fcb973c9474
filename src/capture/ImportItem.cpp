#include "capture/ImportItem.h"

#include <cstdint>
#include <vector>

#include "capture/PageScanner.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/FileUtil.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"

namespace {

bool IsHtmlExtension(const std::string& strFile) {
    const size_t dot = strFile.rfind('.');
    if (dot == std::string::npos) return false;
    const std::string ext = LowerAscii(strFile.substr(dot));
    return ext == ".htm" || ext == ".html" || ext == ".shtml" || ext == ".shtm";
}

}  // namespace

std::string TitleForSource(const std::string& strSource) {
    const std::string file = fileutil::FileNameOf(strSource);
    if (IsHtmlExtension(file)) {
        std::vector<uint8_t> bytes;
        if (fileutil::ReadWholeFile(strSource, bytes, kTitleScanBytes)) {
            std::string title = GetPageTitle(PageBytesToText(bytes));
            if (!title.empty()) return title;
        }
    }
    return file.empty() ? strSource : file;
}

CNote* CreateNoteFromImport(std::unique_ptr<CImportItem> pItem) {
    if (!pItem) return nullptr;
    try {
        if (pItem->m_nImportKind == kSourceLocalFile && !fileutil::IsRegularFile(pItem->m_strSource)) {
            host::ShowMessage(ids::IDS_FILE_MISSING, host::MB_OK | host::MB_ICONEXCLAMATION, {pItem->m_strSource});
            return nullptr;
        }
        CClipVaultDoc* pDoc = pItem->m_pTargetDoc;
        auto pNote = std::make_unique<CNote>();
        pNote->m_nContentType = static_cast<uint32_t>(pItem->m_nContentMode);
        pNote->m_nSourceKind = static_cast<uint32_t>(pItem->m_nImportKind);
        pNote->m_strSource = pItem->m_strSource;
        pNote->m_pDocument = pDoc;
        pNote->m_nID = pDoc ? pDoc->NextNoteID() : 0;
        pNote->m_strName = pItem->m_strTitle.empty() ? TitleForSource(pItem->m_strSource) : pItem->m_strTitle;
        if (pNote->m_nContentType == kContentHeld) {
            if (pNote->m_nSourceKind == kSourceWebPage) pNote->m_strShownPage = std::move(pItem->m_strShownPage);
            if (pDoc) pDoc->ListForDownload(pNote.get(), pItem->m_bStartNow != 0);
        } else {
            const size_t dot = pItem->m_strSource.rfind('.');
            if (dot != std::string::npos && dot != 0) pNote->m_strExt = pItem->m_strSource.substr(dot + 1);
        }
        return pNote.release();
    } catch (...) {
        host::ShowMessage(ids::IDS_OPERATION_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION);
        return nullptr;
    }
}
