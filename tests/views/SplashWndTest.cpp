// The start-up picture: its size and place, one at a time, the first key or
// mouse press that closes it without reaching anything else, its own
// timer, and start-up that keeps it for its minimum time or shows none.
#include "support/GuiTestSupport.h"

#include "platform/gui/LanguageModule.h"
#include "views/SplashWnd.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>

namespace {

// Sees the picture come and go, whoever shows it.
class CSplashWatch : public QObject {
public:
    CSplashWatch() {
        m_clock.start();
        qApp->installEventFilter(this);
    }
    ~CSplashWatch() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* pWatched, QEvent* e) override {
        if (pWatched->objectName() == QLatin1String("SplashWnd") && pWatched->isWidgetType()) {
            if (e->type() == QEvent::Show) {
                ++m_nShown;
                m_geometry = static_cast<QWidget*>(pWatched)->geometry();
            } else if (e->type() == QEvent::Hide && m_nHiddenAt < 0) {
                m_nHiddenAt = m_clock.elapsed();
            }
        }
        return false;
    }
    QElapsedTimer m_clock;
    int m_nShown = 0;
    qint64 m_nHiddenAt = -1;
    QRect m_geometry;
};

}  // namespace

class SplashWndTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void pictureSizedCentredAndAlone();
    void firstKeyPressClosesItAndGoesNoFurther();
    void firstMousePressClosesItAndGoesNoFurther();
    void ownTimerClosesIt();
    void pictureLeavesTheKeyboardWithTheWindowUnderIt();
    void startUpKeepsItItsMinimumTimeThenClosesIt();
    void startUpWithoutSplashShowsNone();

private:
    std::unique_ptr<CGuiTestFixture> m_pFx;
    CLanguageModule m_lang;
};

void SplashWndTest::initTestCase() {
    m_pFx = std::make_unique<CGuiTestFixture>();
    QVERIFY(m_lang.Load(CLanguageModule::ModulePath(m_pFx->ProgramFolder(), QStringLiteral("Eng"))));
    SetCurrentLanguage(&m_lang);
}

void SplashWndTest::cleanup() {
    CSplashWnd::CloseSplash();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (&CurrentLanguage() != &m_lang) SetCurrentLanguage(&m_lang);
}

void SplashWndTest::pictureSizedCentredAndAlone() {
    const QPixmap bitmap = m_lang.Bitmap(CSplashWnd::kBitmapId);
    QVERIFY(!bitmap.isNull());
    CSplashWnd* splash = CSplashWnd::ShowSplashScreen(nullptr);
    QVERIFY(splash);
    QVERIFY(splash->isVisible());
    QVERIFY(splash->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(splash->geometry().size(), bitmap.size());
    const QRect desk = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(qAbs(splash->geometry().center().x() - desk.center().x()) <= 1);
    QVERIFY(qAbs(splash->geometry().center().y() - desk.center().y()) <= 1);
    // Asked again while it is up: the same one, and no other.
    QCOMPARE(CSplashWnd::ShowSplashScreen(nullptr), splash);
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<CSplashWnd*>(w) && w->isVisible()) ++n;
    QCOMPARE(n, 1);
    // What it paints is the picture.
    QCOMPARE(splash->grab().toImage().convertToFormat(QImage::Format_RGB32),
             bitmap.toImage().convertToFormat(QImage::Format_RGB32));
    CSplashWnd::CloseSplash();
    QVERIFY(!CSplashWnd::IsUp());
    QVERIFY(!splash->isVisible());
    // Closed, it goes for good.
    QPointer<CSplashWnd> gone(splash);
    QTRY_VERIFY(!gone);
    QVERIFY(CSplashWnd::ShowSplashScreen(nullptr));
}

void SplashWndTest::firstKeyPressClosesItAndGoesNoFurther() {
    QWidget window;
    auto* edit = new QLineEdit(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(edit);
    int nShortcuts = 0;
    // One key: with a modifier, the modifier's own press would be the
    // first one.
    auto* open = new QAction(&window);
    open->setShortcut(QKeySequence(Qt::Key_F5));
    // Whichever window the platform makes active: the offscreen one makes
    // every window active that it shows.
    open->setShortcutContext(Qt::ApplicationShortcut);
    window.addAction(open);
    connect(open, &QAction::triggered, this, [&] { ++nShortcuts; });
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    edit->setFocus();
    // The shortcut works as long as no picture is up.
    QTest::keyClick(edit, Qt::Key_F5);
    QCOMPARE(nShortcuts, 1);

    CSplashWnd::ShowSplashScreen(&window);
    QVERIFY(CSplashWnd::IsUp());
    QTest::keyClick(edit, Qt::Key_A);
    QVERIFY(!CSplashWnd::IsUp());
    QCOMPARE(edit->text(), QString());
    // Keys go where they belong again.
    QTest::keyClick(edit, Qt::Key_B);
    QCOMPARE(edit->text(), QStringLiteral("b"));

    // A shortcut is a key press too: it closes the picture and runs nothing.
    CSplashWnd::ShowSplashScreen(&window);
    QTest::keyClick(edit, Qt::Key_F5);
    QVERIFY(!CSplashWnd::IsUp());
    QCOMPARE(nShortcuts, 1);
    QTest::keyClick(edit, Qt::Key_F5);
    QCOMPARE(nShortcuts, 2);
}

void SplashWndTest::firstMousePressClosesItAndGoesNoFurther() {
    QWidget window;
    auto* button = new QPushButton(QStringLiteral("Press"), &window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(button);
    int nClicks = 0;
    connect(button, &QPushButton::clicked, this, [&] { ++nClicks; });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // Any button, anywhere: the right one on the picture itself.
    CSplashWnd* splash = CSplashWnd::ShowSplashScreen(&window);
    QTest::mouseClick(splash, Qt::RightButton);
    QVERIFY(!CSplashWnd::IsUp());

    CSplashWnd::ShowSplashScreen(&window);
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!CSplashWnd::IsUp());
    QVERIFY(!button->isDown());
    QCOMPARE(nClicks, 0);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(nClicks, 1);
}

void SplashWndTest::ownTimerClosesIt() {
    CSplashWnd::ShowSplashScreen(nullptr);
    QVERIFY(CSplashWnd::IsUp());
    QTRY_VERIFY_WITH_TIMEOUT(!CSplashWnd::IsUp(), CSplashWnd::kCloseAfterMs + 10000);
}

void SplashWndTest::pictureLeavesTheKeyboardWithTheWindowUnderIt() {
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        QSKIP("the offscreen platform activates every window it shows");
    QWidget window;
    auto* edit = new QLineEdit(&window);
    (new QVBoxLayout(&window))->addWidget(edit);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    edit->setFocus();
    CSplashWnd* splash = CSplashWnd::ShowSplashScreen(&window);
    QVERIFY(QTest::qWaitForWindowExposed(splash));
    QTest::qWait(300);
    QVERIFY(window.isActiveWindow());
    QVERIFY(!splash->isActiveWindow());
    // The window manager kept it where it was put.
    const QRect desk = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(qAbs(splash->geometry().center().x() - desk.center().x()) <= 1);
    QVERIFY(qAbs(splash->geometry().center().y() - desk.center().y()) <= 1);
}

void SplashWndTest::startUpKeepsItItsMinimumTimeThenClosesIt() {
    CGuiTestFixture fx;
    const QString path = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    fx.m_bRealSplashTime = true;
    auto app = fx.MakeApp();
    CSplashWatch watch;
    QVERIFY(app->InitInstance({QStringLiteral("clipvault"), path}));
    QCOMPARE(watch.m_nShown, 1);
    QVERIFY(!CSplashWnd::IsUp());
    QVERIFY(watch.m_nHiddenAt >= CClipVaultApp::kSplashMinMs);
    const QPixmap bitmap = app->Lang().Bitmap(CSplashWnd::kBitmapId);
    QCOMPARE(watch.m_geometry.size(), bitmap.size());
    QVERIFY(fx.m_messages.empty());
}

void SplashWndTest::startUpWithoutSplashShowsNone() {
    for (const QString& flag : {QStringLiteral("--automation"), QStringLiteral("-Embedding")}) {
        CGuiTestFixture fx;
        auto app = fx.MakeApp();
        CSplashWatch watch;
        QVERIFY(app->InitInstance({QStringLiteral("clipvault"), flag}));
        QCOMPARE(watch.m_nShown, 0);
        QVERIFY(!CSplashWnd::IsUp());
    }
}

CLIPVAULT_GUI_TEST_MAIN(SplashWndTest)
#include "SplashWndTest.moc"
