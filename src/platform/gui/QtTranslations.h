// Qt's own texts (the standard buttons of message boxes, the file dialogs,
// the web view's menus) in the language module's language, from the Qt
// translation catalogues the system installed.
#pragma once

#include <QLocale>
#include <QString>
#include <QTranslator>
#include <memory>
#include <vector>

class CQtTranslations {
public:
    CQtTranslations() = default;
    ~CQtTranslations();
    CQtTranslations(const CQtTranslations&) = delete;
    CQtTranslations& operator=(const CQtTranslations&) = delete;

    // Qt's translations folder, where the system's package puts them.
    static QString SystemFolder();

    // Puts Qt's catalogues for `locale` from `strFolder` (empty: the
    // system's) into the application, after removing those put in before.
    // Answers how many were found: none leaves Qt's texts in English, which
    // is also what an English locale asks for.
    int Install(const QLocale& locale, const QString& strFolder = QString());
    void Remove();

private:
    std::vector<std::unique_ptr<QTranslator>> m_translators;
};
