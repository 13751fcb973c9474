#include "support/GuiTestSupport.h"

#include "app/AppOptions.h"
#include "platform/MessageHost.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/TemplateDialog.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QEventLoop>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QApplication>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

CGuiTestFixture::CGuiTestFixture(const QStringList& languages, bool bSamples) {
    const QString bin = QStringLiteral(CLIPVAULT_BIN_DIR);
    QDir(m_programDir.path()).mkpath(QStringLiteral("Language"));
    for (const QString& lang : languages)
        QFile::link(bin + QStringLiteral("/Language/VLT%1.rcc").arg(lang),
                    m_programDir.path() + QStringLiteral("/Language/VLT%1.rcc").arg(lang));
    if (bSamples) QFile::link(bin + QStringLiteral("/Sample"), m_programDir.path() + QStringLiteral("/Sample"));
    QFile::link(bin + QStringLiteral("/help"), m_programDir.path() + QStringLiteral("/help"));
    // The profile (recent files, first run) and the desktop folders live
    // in this test's own configuration folder.
    qputenv("XDG_CONFIG_HOME", m_configDir.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (m_configDir.path() + QStringLiteral("/data")).toLocal8Bit());
    QStandardPaths::setTestModeEnabled(false);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_configDir.path());
    AppOptions() = CAppOptions();
    SetMessageBoxHook([this](unsigned nID, unsigned nType, const QString& strText) {
        m_messages.push_back({nID, nType, strText});
        return m_nAnswer ? m_nAnswer : host::CautiousAnswer(nType);
    });
}

CGuiTestFixture::~CGuiTestFixture() { SetMessageBoxHook(nullptr); }

CAppEnvironment CGuiTestFixture::Environment(const QLocale& locale) const {
    CAppEnvironment env;
    env.m_strProgramFolder = ProgramFolder();
    env.m_strOptionsPath = OptionsPath();
    env.m_locale = locale;
    env.m_bSingleInstance = false;
    return env;
}

std::unique_ptr<CClipVaultApp> CGuiTestFixture::MakeApp(const QLocale& locale) {
    auto app = std::make_unique<CClipVaultApp>(Environment(locale));
    // The start-up picture's minimum time is the splash tests' matter; the
    // others would only wait for it.
    if (!m_bRealSplashTime) app->m_nSplashMinMs = 0;
    if (!m_bTipOfTheDay) app->m_fnShowTip = nullptr;
    return app;
}

std::unique_ptr<CClipVaultApp> CGuiTestFixture::StartApp() {
    auto app = MakeApp();
    app->m_fnStartDialog = [] {};
    if (!app->InitInstance({QStringLiteral("clipvault")})) return nullptr;
    return app;
}

bool CGuiTestFixture::Shown(unsigned nID) const {
    for (const CShownMessage& m : m_messages)
        if (m.m_nID == nID) return true;
    return false;
}

QString CGuiTestFixture::CopySample(const QString& strName) {
    const QString to = m_workDir.path() + QLatin1Char('/') + strName;
    QFile::copy(QStringLiteral(CLIPVAULT_BIN_DIR) + QStringLiteral("/Sample/") + strName, to);
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
    return to;
}

QVariant RunPageScript(QWebEngineView* pView, const QString& strScript) {
    QVariant result;
    bool done = false;
    QEventLoop loop;
    pView->page()->runJavaScript(strScript, QWebEngineScript::ApplicationWorld, [&](const QVariant& v) {
        result = v;
        done = true;
        loop.quit();
    });
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    if (!done) loop.exec();
    return result;
}

void OnNextDialog(std::function<void(CTemplateDialog*)> fn) {
    QTimer::singleShot(0, [fn] {
        CTemplateDialog* d = nullptr;
        if (QTest::qWaitFor([&] { return (d = qobject_cast<CTemplateDialog*>(QApplication::activeModalWidget())); },
                            10000))
            fn(d);
    });
}

QByteArray PngPicture(const QColor& colour, int nWidth, int nHeight) {
    QImage image(nWidth, nHeight, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
