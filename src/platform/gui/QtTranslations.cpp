#include "platform/gui/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace {

// Widgets and dialogs, and the web view's context menu.
const char* const kCatalogues[] = {"qtbase", "qtwebengine"};

}  // namespace

CQtTranslations::~CQtTranslations() { Remove(); }

QString CQtTranslations::SystemFolder() { return QLibraryInfo::path(QLibraryInfo::TranslationsPath); }

int CQtTranslations::Install(const QLocale& locale, const QString& strFolder) {
    Remove();
    // Qt's source texts are English already.
    if (locale.language() == QLocale::English || locale.language() == QLocale::C) return 0;
    const QString folder = strFolder.isEmpty() ? SystemFolder() : strFolder;
    for (const char* name : kCatalogues) {
        auto translator = std::make_unique<QTranslator>();
        // A missing catalogue (the package not installed) is no error: those
        // texts stay English.
        if (!translator->load(locale, QString::fromLatin1(name), QStringLiteral("_"), folder)) continue;
        if (QCoreApplication::installTranslator(translator.get())) m_translators.push_back(std::move(translator));
    }
    return static_cast<int>(m_translators.size());
}

void CQtTranslations::Remove() {
    for (const auto& translator : m_translators) QCoreApplication::removeTranslator(translator.get());
    m_translators.clear();
}
