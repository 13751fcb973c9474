// What the desktop program's tests share: a program folder of their own
// with the built language modules, samples and help pages, a private
// settings folder, and message boxes answered without showing them.
#pragma once

#include "app/ClipVaultApp.h"
#include "capture/gui/StoredPageScheme.h"

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

#define CLIPVAULT_GUI_TEST_MAIN(TestClass)                                 \
    int main(int argc, char** argv) {                                      \
        RegisterStoredPageScheme();                                        \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);        \
        QApplication app(argc, argv);                                      \
        TestClass t;                                                       \
        return QTest::qExec(&t, argc, argv);                               \
    }

class QWebEngineView;

// Runs a script in the program's own world of the view's page and waits for
// its value (five seconds at most): it reads the page whether or not the
// page's scripts run.
QVariant RunPageScript(QWebEngineView* pView, const QString& strScript);

// A picture of one colour, as the bytes of a PNG file.
QByteArray PngPicture(const QColor& colour, int nWidth, int nHeight);

class CTemplateDialog;
// Acts on the next modal template dialog once it is up (ten seconds at most).
void OnNextDialog(std::function<void(CTemplateDialog*)> fn);

struct CShownMessage {
    unsigned m_nID;
    unsigned m_nType;
    QString m_strText;
};

class CGuiTestFixture {
public:
    // `languages`: which modules the program folder gets ("Eng", "Chn").
    explicit CGuiTestFixture(const QStringList& languages = {QStringLiteral("Eng"), QStringLiteral("Chn")},
                             bool bSamples = true);
    ~CGuiTestFixture();

    QString ProgramFolder() const { return m_programDir.path(); }
    QString ConfigFolder() const { return m_configDir.path(); }
    QString WorkFolder() const { return m_workDir.path(); }
    QString OptionsPath() const { return m_programDir.path() + QStringLiteral("/AppOption.data"); }
    CAppEnvironment Environment(const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates)) const;
    // A fresh application object on this folder (not started).
    std::unique_ptr<CClipVaultApp> MakeApp(const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates));
    // One made and started without a notebook, the start dialog passed by;
    // null when start-up failed.
    std::unique_ptr<CClipVaultApp> StartApp();

    // Every box shown since the fixture was made (or Clear), answered with
    // m_nAnswer, or with the cautious answer when that is 0.
    std::vector<CShownMessage> m_messages;
    // Apps made from here keep the start-up picture up its full time.
    bool m_bRealSplashTime = false;
    // ... and show the tip of the day, which would otherwise wait for a
    // user at every start.
    bool m_bTipOfTheDay = false;
    int m_nAnswer = 0;
    bool Shown(unsigned nID) const;
    void Clear() { m_messages.clear(); }

    // A copy of a built sample notebook in the work folder.
    QString CopySample(const QString& strName);

private:
    QTemporaryDir m_programDir;
    QTemporaryDir m_configDir;
    QTemporaryDir m_workDir;
};
