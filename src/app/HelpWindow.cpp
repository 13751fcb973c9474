#include "app/HelpWindow.h"

#include "app/ClipVaultApp.h"
#include "app/UiStrings.h"

#include <QFileInfo>
#include <QUrl>

CHelpWindow::CHelpWindow(const QString& strHelpFolder, const QString& strAppName) : m_strFolder(strHelpFolder) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowFlag(Qt::Window);
    QString caption;
    if (CClipVaultApp* app = CClipVaultApp::Instance()) caption = app->LoadString(uistr::kHelpCaption);
    setWindowTitle(caption.isEmpty() ? strAppName : caption);
    setOpenExternalLinks(true);
    setSearchPaths({strHelpFolder});
    document()->setDocumentMargin(14);
    resize(720, 560);
}

QString CHelpWindow::TopicPath(const QString& strHelpFolder, int nContext) {
    return nContext ? QStringLiteral("%1/%2.htm").arg(strHelpFolder).arg(nContext)
                    : strHelpFolder + QStringLiteral("/index.htm");
}

bool CHelpWindow::ShowTopic(int nContext) {
    const QString path = TopicPath(m_strFolder, nContext);
    const bool ok = QFileInfo(path).isFile();
    if (ok) {
        m_strCurrent = path;
        setSource(QUrl::fromLocalFile(path));
    } else {
        QString text;
        if (CClipVaultApp* app = CClipVaultApp::Instance()) text = app->LoadString(uistr::kHelpMissing);
        if (text.isEmpty()) text = QStringLiteral("The help page %s is missing.");
        m_strCurrent.clear();
        setPlainText(text.replace(QStringLiteral("%s"), path));
    }
    show();
    raise();
    activateWindow();
    return ok;
}
