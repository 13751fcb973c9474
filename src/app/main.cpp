#include "app/ClipVaultApp.h"
#include "capture/gui/StoredPageScheme.h"
#include "platform/gui/AppGlobals.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>

int main(int argc, char** argv) {
    QElapsedTimer sinceMain;
    sinceMain.start();
    // Before any engine object: the notebook's pages are served under it.
    RegisterStoredPageScheme();
    // The browser and editor views share one graphics context set.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication qapp(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Clipvault"));
    QCoreApplication::setApplicationName(QStringLiteral("Clipvault"));
    QApplication::setQuitOnLastWindowClosed(false);

    CAppEnvironment env;
    env.m_locale = QLocale::system();
    env.m_sinceMain = sinceMain;
    int rc = 0;
    {
        CClipVaultApp app(env);
        if (!app.InitInstance(qapp.arguments())) return app.m_nExitCode;
        qapp.exec();
        rc = app.ExitInstance();
    }
    return rc;
}
