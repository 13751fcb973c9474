#include "views/KeptPageQuestion.h"

#include "capture/ImportItem.h"
#include "document/Records.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/QtText.h"

#include <QDateTime>
#include <QLocale>

QString KeptDate(const CNote& kept, const QDate& today) {
    const QDate date = QDateTime::fromSecsSinceEpoch(kept.m_tmDate).date();
    const CLanguageModule& lang = CurrentLanguage();
    QString format =
        lang.String(date.year() == today.year() ? ids::IDS_KEPT_DATE_THIS_YEAR : ids::IDS_KEPT_DATE_OTHER_YEAR);
    if (format.isEmpty()) format = QStringLiteral("yyyy-MM-dd");
    // The module's format holds the language; month names, where it has
    // them, are the English ones its format was written for.
    return QLocale::c().toString(date, format);
}

QString KeptMark(const CNote& kept, const QDate& today) {
    return FormatMessageText(CurrentLanguage().String(ids::IDS_IMPORT_ALREADY_KEPT), {FromQ(KeptDate(kept, today))});
}

bool CRecaptureQuestion::CaptureAgain(const CImportItem& item, const CNote& kept, size_t nLeft, bool& bForAll) {
    const std::vector<std::string> args{kept.m_strName, FromQ(KeptDate(kept)), item.m_strSource};
    const unsigned nType = host::MB_YESNO | host::MB_ICONQUESTION;
    if (nLeft <= 1) return AfxMessageBox(ids::IDS_IMPORT_CAPTURE_AGAIN, nType, args) == host::IDYES;
    return AfxMessageBoxWithCheck(ids::IDS_IMPORT_CAPTURE_AGAIN, nType, args, ids::IDS_IMPORT_AGAIN_FOR_ALL, bForAll) ==
           host::IDYES;
}

bool CRecaptureChoice::CaptureAgain(const CImportItem& item, const CNote& kept) {
    if (m_nForAll >= 0) return m_nForAll == 1;
    bool bForAll = false;
    const bool bAgain = m_answerer.CaptureAgain(item, kept, m_nLeft, bForAll);
    if (m_nLeft > 0) --m_nLeft;
    if (bForAll) m_nForAll = bAgain ? 1 : 0;
    return bAgain;
}
