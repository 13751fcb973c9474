// Menus with pictures and keys: the hook chain they hang on, the key texts
// (the keyboard's names, the keypad's given back, the last key first), the
// pictures of the toolbars in their order, the main window's Edit menu as
// the user opens it, and the colour menu's swatches.
#include "support/GuiTestSupport.h"

#include "frame/MainFrame.h"
#include "platform/CommandIds.h"
#include "platform/gui/CoolMenu.h"
#include "platform/gui/LanguageModule.h"
#include "views/ColorMenu.h"

#include <QAccessible>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QSignalSpy>
#include <QStyleOptionMenuItem>
#include <QTest>
#include <algorithm>

namespace {

// A hook that writes down what it sees and keeps what it is told to.
class CProbeHook : public CSubclassWnd {
public:
    CProbeHook(QStringList& log, const QString& name) : m_log(log), m_name(name) {}
    bool WindowProc(QEvent* e) override {
        if (e->type() != QEvent::User) return Default(e);
        m_log << m_name;
        return m_bSwallow || Default(e);
    }
    bool m_bSwallow = false;

private:
    QStringList& m_log;
    QString m_name;
};

// A window that says when an event reaches it.
class CProbeWindow : public QWidget {
public:
    explicit CProbeWindow(QStringList& log) : m_log(log) {}
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) m_log << QStringLiteral("window");
        return QWidget::event(e);
    }

private:
    QStringList& m_log;
};

QStringList Send(QWidget* w, QStringList& log) {
    log.clear();
    QEvent e(QEvent::User);
    QCoreApplication::sendEvent(w, &e);
    return log;
}

QAction* EntryOf(const QMenu* pMenu, unsigned nID) {
    for (QAction* a : pMenu->actions())
        if (!a->menu() && a->data().toUInt() == nID) return a;
    return nullptr;
}

bool SameImage(const QIcon& icon, const QPixmap& pixmap) {
    return icon.pixmap(pixmap.size()).toImage().convertToFormat(QImage::Format_ARGB32) ==
           pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

class CoolMenuTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void hooksChainLatestFirstAndLetGoWithTheirWindow();
    void keyTextsUseTheKeyboardsNamesLastKeyFirst();
    void toolbarsGivePicturesFirstComeFirstServed();
    void theEditMenuShowsPicturesAndKeys();
    void sharedMnemonicsMoveTheHighlight();
    void colourMenusDrawTheirSwatchesAndFrameTheChosenOne();
    void marksAndPicturesSitInTheirButtons();
    void aColourChangeRedrawsTheGreyedPictures();

private:
    std::unique_ptr<CGuiTestFixture> m_fx;
    std::unique_ptr<CClipVaultApp> m_app;
};

void CoolMenuTest::initTestCase() {
    m_fx = std::make_unique<CGuiTestFixture>();
    m_app = m_fx->StartApp();
    QVERIFY(m_app);
}

void CoolMenuTest::cleanupTestCase() {
    m_app.reset();
    m_fx.reset();
}

void CoolMenuTest::hooksChainLatestFirstAndLetGoWithTheirWindow() {
    QStringList log;
    auto* w = new CProbeWindow(log);
    CProbeHook first(log, QStringLiteral("first")), second(log, QStringLiteral("second"));
    first.HookWindow(w);
    second.HookWindow(w);
    QCOMPARE(CSubclassWnd::HeadOf(w), &second);
    QCOMPARE(Send(w, log), (QStringList{"second", "first", "window"}));
    second.m_bSwallow = true;
    QCOMPARE(Send(w, log), QStringList{"second"});
    second.m_bSwallow = false;
    // The earlier one leaves; the later one goes on.
    first.HookWindow(nullptr);
    QVERIFY(!first.IsHooked());
    QCOMPARE(Send(w, log), (QStringList{"second", "window"}));
    first.HookWindow(w);
    // The window's end unhooks both; a hook that goes first lets go too.
    {
        CProbeHook third(log, QStringLiteral("third"));
        third.HookWindow(w);
        QCOMPARE(Send(w, log), (QStringList{"third", "first", "second", "window"}));
    }
    QCOMPARE(Send(w, log), (QStringList{"first", "second", "window"}));
    delete w;
    QVERIFY(!first.IsHooked());
    QVERIFY(!second.IsHooked());
    QVERIFY(!CSubclassWnd::HeadOf(w));
    // The last hook gone, the window is its own again.
    QStringList log2;
    CProbeWindow w2(log2);
    {
        CProbeHook only(log2, QStringLiteral("only"));
        only.HookWindow(&w2);
    }
    QCOMPARE(Send(&w2, log2), QStringList{"window"});
}

void CoolMenuTest::keyTextsUseTheKeyboardsNamesLastKeyFirst() {
    CCoolMenuManager menus(CurrentLanguage());
    menus.SetAccelerators({{QKeySequence(QStringLiteral("Ctrl+N")), 57600},
                           {QKeySequence(Qt::Key_Insert), 57600},
                           {QKeySequence(QStringLiteral("Ctrl+S")), 57603},
                           {QKeySequence(QStringLiteral("Alt+Left")), 33124},
                           {QKeySequence(QStringLiteral("Ctrl+PgDown")), 33126},
                           {QKeySequence(QStringLiteral("Ctrl+PgUp")), 33127},
                           {QKeySequence(QStringLiteral("Alt+Return")), 33083},
                           {QKeySequence(QStringLiteral("Ctrl+Alt+Shift+X")), 40001},
                           {QKeySequence(QStringLiteral("Shift+Del")), 32803},
                           {QKeySequence(QStringLiteral("F11")), 33014}});
    QCOMPARE(menus.MenuText(57600, QStringLiteral("&New")), QStringLiteral("&New\tIns, Ctrl+N"));
    // The text's own key part goes; a tab in front is part of the text.
    QCOMPARE(menus.MenuText(57603, QStringLiteral("&Save\tCtrl+Q")), QStringLiteral("&Save\tCtrl+S"));
    QCOMPARE(menus.MenuText(57670, QStringLiteral("&Help\tF1")), QStringLiteral("&Help"));
    QCOMPARE(menus.MenuText(33124, QStringLiteral("Back")), QStringLiteral("Back\tAlt+Left Arrow"));
    QCOMPARE(menus.MenuText(33126, QStringLiteral("Next")), QStringLiteral("Next\tCtrl+PgDn"));
    QCOMPARE(menus.MenuText(33127, QStringLiteral("Previous")), QStringLiteral("Previous\tCtrl+PgUp"));
    QCOMPARE(menus.MenuText(33083, QStringLiteral("P")), QStringLiteral("P\tAlt+Enter"));
    QCOMPARE(menus.MenuText(40001, QStringLiteral("X")), QStringLiteral("X\tAlt+Ctrl+Shift+X"));
    QCOMPARE(menus.MenuText(32803, QStringLiteral("Cut")), QStringLiteral("Cut\tShift+Del"));
    QCOMPARE(menus.MenuText(33014, QStringLiteral("Full")), QStringLiteral("Full\tF11"));
    menus.m_bAutoAccelerators = false;
    QCOMPARE(menus.MenuText(57600, QStringLiteral("&New\tX")), QStringLiteral("&New"));

    // The keypad: the names the table lists are given back, others stay.
    QCOMPARE(KeypadName(QStringLiteral("Num 7")), QStringLiteral("Home"));
    QCOMPARE(KeypadName(QStringLiteral("Num Del")), QStringLiteral("Del"));
    QCOMPARE(AcceleratorText(Qt::KeypadModifier | Qt::Key_7), QStringLiteral("Home"));
    QCOMPARE(AcceleratorText(Qt::KeypadModifier | Qt::Key_2), QStringLiteral("Down Arrow"));
    QCOMPARE(AcceleratorText(Qt::ControlModifier | Qt::KeypadModifier | Qt::Key_9), QStringLiteral("Ctrl+Num 9"));
    QCOMPARE(AcceleratorText(Qt::KeypadModifier | Qt::Key_1), QStringLiteral("Num 1"));
    QCOMPARE(AcceleratorText(Qt::KeypadModifier | Qt::Key_Plus), QStringLiteral("Num +"));
    QCOMPARE(AcceleratorText(Qt::Key_Home), QStringLiteral("Home"));
    QCOMPARE(AcceleratorText(Qt::Key_End), QStringLiteral("End"));
}

void CoolMenuTest::toolbarsGivePicturesFirstComeFirstServed() {
    const CLanguageModule& lang = CurrentLanguage();
    CCoolMenuManager menus(lang);
    QVERIFY(!menus.LoadToolbar(4242));
    QVERIFY(menus.LoadToolbar(cmd::kToolbarMain));
    QCOMPARE(menus.ButtonSize(), menus.ImageSize() + QSize(4, 4));
    QVERIFY(menus.LoadToolbar(cmd::kToolbarFullScreen));
    QVERIFY(menus.LoadToolbar(cmd::kToolbarSecond));
    QVERIFY(menus.LoadToolbar(cmd::kToolbarFormat));
    // Print is on the main and the full-screen bars: the main bar's picture.
    const CToolbarResource main = lang.Toolbar(cmd::kToolbarMain);
    const CToolbarResource full = lang.Toolbar(cmd::kToolbarFullScreen);
    auto imageOn = [](const CToolbarResource& tb, unsigned nID) {
        int n = 0;
        for (unsigned item : tb.m_items) {
            if (!item) continue;
            if (item == nID) return tb.Image(n);
            ++n;
        }
        return QPixmap();
    };
    auto count = [](const CToolbarResource& tb) {
        return static_cast<int>(std::count_if(tb.m_items.begin(), tb.m_items.end(), [](unsigned n) { return n != 0; }));
    };
    QVERIFY(SameImage(menus.Icon(cmd::kCmdPrint), imageOn(main, cmd::kCmdPrint)));
    QVERIFY(menus.ImageIndex(cmd::kCmdPrint) < count(main));
    // Back is on the full-screen bar before the navigation bar.
    QVERIFY(menus.ImageIndex(33124) >= count(main));
    QVERIFY(menus.ImageIndex(33124) < count(main) + count(full));
    QVERIFY(SameImage(menus.Icon(33124), imageOn(full, 33124)));
    QVERIFY(menus.Icon(cmd::kCmdSelectAll).isNull());
    QCOMPARE(menus.ImageIndex(cmd::kCmdSelectAll), -1);
    // A greyed picture is pressed into the menu: the shadow colour wherever
    // the picture was not white, the light colour below right of that.
    const QPixmap copy = imageOn(main, cmd::kCmdCopy);
    const QImage grey = menus.Icon(cmd::kCmdCopy).pixmap(copy.size(), QIcon::Disabled).toImage();
    QVERIFY(grey != copy.toImage());
    const QColor shadow = QApplication::palette().color(QPalette::Active, QPalette::Dark);
    const QImage src = copy.toImage().convertToFormat(QImage::Format_ARGB32);
    int nShadow = 0, nDark = 0;
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x) {
            const QRgb c = src.pixel(x, y);
            if (qAlpha(c) == 255 && (c & 0xFFFFFF) != 0xFFFFFF) {
                ++nDark;
                if (QColor(grey.pixel(x, y)).rgb() == shadow.rgb()) ++nShadow;
            }
        }
    QVERIFY(nDark > 0);
    QCOMPARE(nShadow, nDark);
    // Reloading (a colour change) keeps the order and the pictures.
    menus.ReloadToolbars();
    QCOMPARE(menus.Toolbars().size(), size_t(4));
    QVERIFY(SameImage(menus.Icon(cmd::kCmdPrint), imageOn(main, cmd::kCmdPrint)));
}

void CoolMenuTest::theEditMenuShowsPicturesAndKeys() {
    CMainFrame* frame = m_app->MainFrame();
    frame->ExecuteCommand(cmd::kCmdNew);
    QVERIFY(frame->ActiveChildFrame());
    QMenu* edit = nullptr;
    for (QAction* a : frame->menuBar()->actions())
        if (a->menu() && a->menu()->title() == QStringLiteral("&Edit")) edit = a->menu();
    QVERIFY(edit);
    emit edit->aboutToShow();
    QCOMPARE(edit->style(), static_cast<QStyle*>(CCoolMenuStyle::Instance()));
    const struct {
        unsigned nID;
        QString text;
        bool bPicture;
    } entries[] = {
        {cmd::kCmdUndo, QStringLiteral("&Undo\tCtrl+Z"), true},
        {cmd::kCmdCut, QStringLiteral("Cu&t\tCtrl+X"), true},
        {cmd::kCmdCopy, QStringLiteral("&Copy\tCtrl+C"), true},
        {cmd::kCmdPaste, QStringLiteral("&Paste\tCtrl+V"), true},
        {cmd::kCmdSelectAll, QStringLiteral("Select &all\tCtrl+A"), false},
        {cmd::kCmdFind, QStringLiteral("&Find...\tCtrl+F"), true},
    };
    for (const auto& e : entries) {
        QAction* a = EntryOf(edit, e.nID);
        QVERIFY2(a, qPrintable(e.text));
        QCOMPARE(a->text() + QLatin1Char('\t') + CCoolMenuStyle::Keys(a), e.text);
        QCOMPARE(!a->icon().isNull(), e.bPicture);
        if (e.bPicture) QVERIFY(SameImage(a->icon(), frame->MenuManager().Icon(e.nID).pixmap(16, 16)));
    }
    // A screen reader says the entry's name, and its key apart.
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(edit);
    QVERIFY(iface);
    QStringList names;
    for (int i = 0; i < iface->childCount(); ++i) names << iface->child(i)->text(QAccessible::Name);
    QVERIFY2(names.contains(QStringLiteral("Copy")), qPrintable(names.join(QLatin1Char('|'))));
    // Name and keys fit side by side between the two button columns.
    const QFontMetrics fm = edit->fontMetrics();
    const int nButton = CCoolMenuStyle::Instance()->ButtonSize().width();
    for (QAction* a : edit->actions()) {
        if (a->isSeparator()) continue;
        const int nRoom = edit->actionGeometry(a).width() - 2 * nButton - 3;
        QString name = a->text();
        name.remove(QLatin1Char('&'));
        QVERIFY2(nRoom >= fm.horizontalAdvance(name) + fm.horizontalAdvance(CCoolMenuStyle::Keys(a)) + 4, qPrintable(name));
    }

    // Geometry: a button of the picture + 4, separators half a menu bar.
    CCoolMenuStyle* style = CCoolMenuStyle::Instance();
    QStyleOptionMenuItem opt;
    opt.initFrom(edit);
    opt.menuItemType = QStyleOptionMenuItem::Separator;
    QCOMPARE(style->sizeFromContents(QStyle::CT_MenuItem, &opt, QSize(10, 10), edit).height(),
             style->MenuBarHeight(edit) / 2);
    opt.menuItemType = QStyleOptionMenuItem::Normal;
    opt.text = QStringLiteral("&Copy");
    const QSize item = style->sizeFromContents(QStyle::CT_MenuItem, &opt, QSize(40, 10), edit);
    QVERIFY(item.height() >= style->ButtonSize().height());
    QVERIFY(item.width() >= 40 + 2 * style->ButtonSize().width() + 3);
    QCOMPARE(style->ButtonSize(), QSize(20, 20));
}

void CoolMenuTest::sharedMnemonicsMoveTheHighlight() {
    QMenu menu;
    menu.setStyle(CCoolMenuStyle::Instance());
    QAction* save = menu.addAction(QStringLiteral("&Save"));
    QAction* select = menu.addAction(QStringLiteral("&Select all"));
    QAction* other = menu.addAction(QStringLiteral("&Other"));
    QSignalSpy triggered(&menu, &QMenu::triggered);
    menu.popup(QPoint(10, 10));
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    QTest::keyClick(&menu, Qt::Key_S);
    QCOMPARE(menu.activeAction(), save);
    QTest::keyClick(&menu, Qt::Key_S);
    QCOMPARE(menu.activeAction(), select);
    QTest::keyClick(&menu, Qt::Key_S);
    QCOMPARE(menu.activeAction(), save);
    QCOMPARE(triggered.count(), 0);
    // A letter of one entry alone chooses it.
    QTest::keyClick(&menu, Qt::Key_O);
    QCOMPARE(triggered.count(), 1);
    QCOMPARE(triggered.first().first().value<QAction*>(), other);
}

void CoolMenuTest::colourMenusDrawTheirSwatchesAndFrameTheChosenOne() {
    CColorMenu colours(cmd::kCmdFirstForeColor);
    colours.m_nSelectedID = cmd::kCmdFirstForeColor + 12;  // blue
    QMenu menu;
    menu.setStyle(CCoolMenuStyle::Instance());
    colours.Fill(&menu);
    menu.popup(QPoint(10, 10));
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    const QImage shot = menu.grab().toImage();
    const QPalette pal = menu.palette();
    int nSeparators = 0;
    for (QAction* a : menu.actions()) {
        if (a->isSeparator()) {
            // The automatic colour stands apart, by a line across.
            ++nSeparators;
            const QRect r = menu.actionGeometry(a);
            QCOMPARE(r.height(), CCoolMenuStyle::Instance()->MenuBarHeight(&menu) / 2);
            QCOMPARE(QColor(shot.pixel(r.center().x(), r.top() + r.height() / 2 - 1)).rgb(),
                     pal.color(QPalette::Active, QPalette::Dark).rgb());
            continue;
        }
        const QRect r = menu.actionGeometry(a);
        const QColor swatch = CCoolMenuStyle::Swatch(a);
        QVERIFY(swatch.isValid());
        // Inside the swatch: the item's colour; beside it: the menu.
        QCOMPARE(QColor(shot.pixel(r.left() + 14, r.center().y())).rgb(), swatch.rgb());
        QCOMPARE(QColor(shot.pixel(r.left() + 2, r.center().y())).rgb(), pal.color(QPalette::Window).rgb());
        const bool bChosen = a->data().toUInt() == colours.m_nSelectedID;
        QCOMPARE(a->isChecked(), bChosen);
        const QColor frame(shot.pixel(r.left() + 3, r.center().y()));
        QCOMPARE(frame.rgb() == pal.color(QPalette::Active, QPalette::Highlight).rgb(), bChosen);
    }
    QCOMPARE(nSeparators, 1);
}

void CoolMenuTest::marksAndPicturesSitInTheirButtons() {
    QMenu menu;
    menu.setStyle(CCoolMenuStyle::Instance());
    auto* group = new QActionGroup(&menu);
    QAction* radio = menu.addAction(QStringLiteral("&Normal"));
    radio->setCheckable(true);
    radio->setChecked(true);
    group->addAction(radio);
    QAction* check = menu.addAction(QStringLiteral("&Status bar"));
    check->setCheckable(true);
    check->setChecked(true);
    QAction* plain = menu.addAction(QStringLiteral("&Plain"));
    plain->setCheckable(true);
    menu.popup(QPoint(10, 10));
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    const QImage shot = menu.grab().toImage();
    const QSize button = CCoolMenuStyle::Instance()->ButtonSize();
    auto markPixels = [&](QAction* a) {
        const QRect r = menu.actionGeometry(a);
        const QRect b(r.left(), r.top() + (r.height() - button.height()) / 2, button.width(), button.height());
        int n = 0;
        for (int y = b.top() + 4; y < b.bottom() - 3; ++y)
            for (int x = b.left() + 4; x < b.right() - 3; ++x)
                if (qGray(shot.pixel(x, y)) < 100) ++n;
        return n;
    };
    // A dot for one of a set, a tick for a mark of its own, nothing unmarked.
    const int nDot = markPixels(radio), nTick = markPixels(check);
    QVERIFY2(nDot >= 9 && nDot <= 40, qPrintable(QString::number(nDot)));
    QVERIFY2(nTick >= 9, qPrintable(QString::number(nTick)));
    QCOMPARE(markPixels(plain), 0);
    // Its text starts past the button.
    const QRect r = menu.actionGeometry(plain);
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left() + 2; x < r.left() + button.width(); ++x)
            QVERIFY(qGray(shot.pixel(x, y)) > 100);
}

void CoolMenuTest::aColourChangeRedrawsTheGreyedPictures() {
    QWidget frame;
    CCoolMenuManager menus(CurrentLanguage());
    menus.Install(&frame);
    QVERIFY(menus.LoadToolbar(cmd::kToolbarMain));
    const QPalette before = QApplication::palette();
    const QSize size = menus.ImageSize();
    const QImage grey = menus.Icon(cmd::kCmdCopy).pixmap(size, QIcon::Disabled).toImage();
    QPalette changed = before;
    changed.setColor(QPalette::Dark, QColor(200, 0, 0));
    QApplication::setPalette(changed);
    QEvent e(QEvent::PaletteChange);
    QCoreApplication::sendEvent(&frame, &e);
    const QImage red = menus.Icon(cmd::kCmdCopy).pixmap(size, QIcon::Disabled).toImage();
    QApplication::setPalette(before);
    QVERIFY(grey != red);
    bool bRed = false;
    for (int y = 0; y < red.height() && !bRed; ++y)
        for (int x = 0; x < red.width() && !bRed; ++x) bRed = QColor(red.pixel(x, y)).rgb() == QColor(200, 0, 0).rgb();
    QVERIFY(bRed);
    QCOMPARE(menus.Toolbars(), std::vector<unsigned>{cmd::kToolbarMain});
}

CLIPVAULT_GUI_TEST_MAIN(CoolMenuTest)
#include "CoolMenuTest.moc"
