// The options sheet's pages from both language modules: what each shows of
// the options, what confirming stores and asks of the main window, the
// range checks that keep the sheet open, and catching a hot key.
#include "support/GuiTestSupport.h"

#include "app/AppOptions.h"
#include "platform/gui/PropertySheet.h"
#include "platform/gui/QtText.h"
#include "views/OptionsPages.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

class CFakeFrame : public IOptionsFrame {
public:
    void RestartAutosaveTimer() override { m_log << QStringLiteral("autosave"); }
    void SetAutoHideDocking(bool bOn) override { m_log << QStringLiteral("dock %1").arg(bOn); }
    void UnregisterHotKey() override { m_log << QStringLiteral("unregister"); }
    bool RegisterHotKey() override {
        const CHotKeyOptions& k = AppOptions().m_hotKey;
        m_log << QStringLiteral("register %1").arg(ToQ(HotKeyText(k)));
        return m_bKeyFree;
    }
    QStringList m_log;
    bool m_bKeyFree = true;
};

// The three pages in a sheet that is shown, not run: the test presses the
// buttons.
struct CSheet {
    explicit CSheet(CFakeFrame& frame) : sheet(QStringLiteral("Options")) {
        sheet.AddPage(general = new CPgeOptGenral(frame));
        sheet.AddPage(edit = new COptEditPage);
        sheet.AddPage(download = new CPgeOptDwn);
        sheet.SetActivePage(1);
        sheet.SetActivePage(2);
        sheet.SetActivePage(0);
        sheet.show();
    }
    void Press(QDialogButtonBox::StandardButton b) { sheet.Buttons()->button(b)->click(); }
    bool IsOpen() const { return sheet.isVisible(); }
    void Type(CTemplatePage* page, unsigned nID, const QString& text) {
        auto* e = page->Control<QLineEdit>(nID);
        QVERIFY(e);
        e->clear();
        QTest::keyClicks(e, text);
    }
    QString Text(CTemplatePage* page, unsigned nID) { return page->Control<QLineEdit>(nID)->text(); }
    bool Checked(CTemplatePage* page, unsigned nID) { return page->Control<QAbstractButton>(nID)->isChecked(); }
    bool Enabled(CTemplatePage* page, unsigned nID) { return page->Item(nID)->isEnabled(); }
    void Click(CTemplatePage* page, unsigned nID) {
        QTest::mouseClick(page->Control<QAbstractButton>(nID), Qt::LeftButton, {}, QPoint(4, 4));
    }

    CPropertySheet sheet;
    CPgeOptGenral* general;
    COptEditPage* edit;
    CPgeOptDwn* download;
};

}  // namespace

class OptionsPagesTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void hotKeyTextsAndValidity();
    void generalPageShowsAndStoresTheAutosaveInterval();
    void intervalOutOfRangeKeepsTheSheetOpen();
    void dockingOffClearsSnapAndDependantsFollowTheirBoxes();
    void capturedKeysReplaceTheBoxOnlyWhenValid();
    void enabledInvalidKeyIsRefusedAndNothingIsStored();
    void keyTakenByAnotherProgramIsSaidAndTheSheetCloses();
    void editingPageStoresItsChoices();
    void downloadPageChecksRangesAndKeepsTheHiddenSettings();
    void bothLanguagesCarryTheSameControls();
    void f1OnAnyPageOpensTheOptionsHelp();

private:
    std::unique_ptr<CGuiTestFixture> m_fx;
    std::unique_ptr<CClipVaultApp> m_app;
    CAppOptions m_saved;
};

void OptionsPagesTest::init() {
    m_fx = std::make_unique<CGuiTestFixture>();
    m_app = m_fx->MakeApp();
    QVERIFY(m_app->InitInstance({QStringLiteral("clipvault"), QStringLiteral("--automation")}));
    m_saved = AppOptions();
    m_fx->Clear();
}

void OptionsPagesTest::cleanup() {
    AppOptions() = m_saved;
    m_app.reset();
    m_fx.reset();
}

void OptionsPagesTest::hotKeyTextsAndValidity() {
    auto key = [](bool ctrl, bool shift, bool alt, uint32_t code) {
        CHotKeyOptions k;
        k.m_bCtrl = ctrl;
        k.m_bShift = shift;
        k.m_bAlt = alt;
        k.m_nVirtualKey = code;
        return k;
    };
    QCOMPARE(HotKeyText(key(true, true, false, 122)), std::string("Ctrl+Shift+F11"));
    QCOMPARE(HotKeyText(key(false, false, true, 'A')), std::string("Alt+A"));
    QCOMPARE(HotKeyText(key(false, true, false, '9')), std::string("Shift+9"));
    QCOMPARE(HotKeyText(key(true, false, true, 112)), std::string("Ctrl+Alt+F1"));
    QCOMPARE(HotKeyText(key(false, false, false, 'Z')), std::string("Z"));
    // Home names nothing: only the modifiers show.
    QCOMPARE(HotKeyText(key(true, true, false, 36)), std::string("Ctrl+Shift"));
    for (uint32_t code : {47u, 91u, 111u, 124u, 16u, 36u}) QVERIFY(!IsValidHotKey(key(true, false, false, code)));
    for (uint32_t code : {48u, 58u, 90u, 112u, 123u}) QVERIFY(IsValidHotKey(key(true, false, false, code)));
}

void OptionsPagesTest::generalPageShowsAndStoresTheAutosaveInterval() {
    AppOptions().m_nAutoSavePeriod = 90000;
    AppOptions().m_bAutoSaveEnabled = true;
    CFakeFrame frame;
    {
        CSheet s(frame);
        QCOMPARE(s.Text(s.general, CPgeOptGenral::IDC_INTERVAL), QStringLiteral("1"));
        QCOMPARE(s.general->Title(), s.general->Form().windowTitle());
        QVERIFY(!s.sheet.Buttons()->button(QDialogButtonBox::Apply)->isEnabled());
        // Untouched, the minutes shown are not what was stored: confirming
        // stores whole minutes and restarts the timer.
        s.Press(QDialogButtonBox::Ok);
        QVERIFY(!s.IsOpen());
    }
    QCOMPARE(AppOptions().m_nAutoSavePeriod, 60000u);
    QCOMPARE(frame.m_log, QStringList{QStringLiteral("autosave")});

    // Unchanged values ask nothing of the window; a changed one does, once.
    frame.m_log.clear();
    {
        CSheet s(frame);
        s.Press(QDialogButtonBox::Ok);
    }
    QVERIFY(frame.m_log.isEmpty());
    {
        CSheet s(frame);
        s.Type(s.general, CPgeOptGenral::IDC_INTERVAL, QStringLiteral("0"));
        QVERIFY(s.sheet.Buttons()->button(QDialogButtonBox::Apply)->isEnabled());
        s.Press(QDialogButtonBox::Apply);
        QVERIFY(s.IsOpen());
        s.Press(QDialogButtonBox::Ok);
    }
    QCOMPARE(AppOptions().m_nAutoSavePeriod, 0u);
    QCOMPARE(frame.m_log, QStringList{QStringLiteral("autosave")});
    QVERIFY(m_fx->m_messages.empty());
}

void OptionsPagesTest::intervalOutOfRangeKeepsTheSheetOpen() {
    CFakeFrame frame;
    const uint32_t before = AppOptions().m_nAutoSavePeriod;
    CSheet s(frame);
    for (const QString& bad : {QStringLiteral("601"), QStringLiteral("-1")}) {
        m_fx->Clear();
        s.Type(s.general, CPgeOptGenral::IDC_INTERVAL, bad);
        s.Press(QDialogButtonBox::Ok);
        QVERIFY(s.IsOpen());
        QCOMPARE(m_fx->m_messages.size(), size_t(1));
        QCOMPARE(m_fx->m_messages[0].m_nID, kIdsParseIntRange);
        QVERIFY(m_fx->m_messages[0].m_strText.contains(QStringLiteral("600")));
    }
    // Not a number at all.
    m_fx->Clear();
    s.Type(s.general, CPgeOptGenral::IDC_INTERVAL, QStringLiteral("ten"));
    s.Press(QDialogButtonBox::Ok);
    QVERIFY(s.IsOpen());
    QVERIFY(m_fx->Shown(kIdsParseInt));
    // Nor can the user leave the page with it.
    s.sheet.SetActivePage(1);
    QCOMPARE(s.sheet.ActivePage(), s.general);
    QCOMPARE(AppOptions().m_nAutoSavePeriod, before);
    QVERIFY(frame.m_log.isEmpty());
}

void OptionsPagesTest::dockingOffClearsSnapAndDependantsFollowTheirBoxes() {
    AppOptions().m_bDockEnabled = true;
    AppOptions().m_bSnapToCorner = true;
    AppOptions().m_bAutoSaveEnabled = false;
    AppOptions().m_hotKey.m_bEnabled = false;
    CFakeFrame frame;
    {
        CSheet s(frame);
        CPgeOptGenral* g = s.general;
        QVERIFY(s.Checked(g, CPgeOptGenral::IDC_SNAP));
        QVERIFY(!s.Enabled(g, CPgeOptGenral::IDC_INTERVAL));
        QVERIFY(!s.Enabled(g, CPgeOptGenral::IDC_HOTKEY));
        QVERIFY(s.Enabled(g, CPgeOptGenral::IDC_SNAP));
        s.Click(g, CPgeOptGenral::IDC_AUTOSAVE);
        QVERIFY(s.Enabled(g, CPgeOptGenral::IDC_INTERVAL));
        s.Click(g, CPgeOptGenral::IDC_DOCKING);
        QVERIFY(!s.Checked(g, CPgeOptGenral::IDC_SNAP));
        QVERIFY(!s.Enabled(g, CPgeOptGenral::IDC_SNAP));
        // Docking on again does not bring snapping back.
        s.Click(g, CPgeOptGenral::IDC_DOCKING);
        QVERIFY(!s.Checked(g, CPgeOptGenral::IDC_SNAP));
        s.Click(g, CPgeOptGenral::IDC_DOCKING);
        s.Press(QDialogButtonBox::Ok);
    }
    QVERIFY(!AppOptions().m_bDockEnabled);
    QVERIFY(!AppOptions().m_bSnapToCorner);
    QVERIFY(AppOptions().m_bAutoSaveEnabled);
    QCOMPARE(frame.m_log, (QStringList{QStringLiteral("autosave"), QStringLiteral("dock 0")}));
}

void OptionsPagesTest::capturedKeysReplaceTheBoxOnlyWhenValid() {
    CHotKeyOptions& k = AppOptions().m_hotKey;
    k = CHotKeyOptions();
    CFakeFrame frame;
    {
        CSheet s(frame);
        auto* box = s.general->Control<QLineEdit>(CPgeOptGenral::IDC_HOTKEY);
        QCOMPARE(box->text(), QStringLiteral("Ctrl+Shift+F11"));
        QVERIFY(box->isEnabled());
        box->setFocus();
        // Home, Shift alone and a key with Alt are refused; the page is
        // modified all the same.
        QTest::keyClick(box, Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(box->text(), QStringLiteral("Ctrl+Shift+F11"));
        QVERIFY(s.general->IsModified());
        QTest::keyClick(box, Qt::Key_Shift, Qt::ShiftModifier);
        QTest::keyClick(box, Qt::Key_A, Qt::AltModifier);
        QCOMPARE(box->text(), QStringLiteral("Ctrl+Shift+F11"));
        QVERIFY(!s.general->m_bHotKeyChanged);
        // Shift with a digit comes as the digit's symbol.
        QTest::keyClick(box, Qt::Key_ParenLeft, Qt::ShiftModifier);
        QCOMPARE(box->text(), QStringLiteral("Shift+9"));
        QTest::keyClick(box, Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(box->text(), QStringLiteral("Ctrl+Q"));
        QTest::keyClick(box, Qt::Key_F7, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(box->text(), QStringLiteral("Ctrl+Shift+F7"));
        // Tab still leaves the box.
        QTest::keyClick(box, Qt::Key_Tab);
        QCOMPARE(box->text(), QStringLiteral("Ctrl+Shift+F7"));
        s.Press(QDialogButtonBox::Ok);
    }
    QCOMPARE(frame.m_log, (QStringList{QStringLiteral("unregister"), QStringLiteral("register Ctrl+Shift+F7")}));
    QVERIFY(k.m_bEnabled && k.m_bCtrl && k.m_bShift && !k.m_bAlt);
    QCOMPARE(k.m_nVirtualKey, 118u);

    // Switching the key off lets it go and grabs nothing.
    frame.m_log.clear();
    {
        CSheet s(frame);
        s.Click(s.general, CPgeOptGenral::IDC_HOTKEY_ON);
        QVERIFY(!s.Enabled(s.general, CPgeOptGenral::IDC_HOTKEY));
        s.Press(QDialogButtonBox::Ok);
    }
    QCOMPARE(frame.m_log, QStringList{QStringLiteral("unregister")});
    QVERIFY(!k.m_bEnabled);
    QCOMPARE(k.m_nVirtualKey, 118u);
}

void OptionsPagesTest::enabledInvalidKeyIsRefusedAndNothingIsStored() {
    AppOptions().m_hotKey.m_bEnabled = true;
    AppOptions().m_hotKey.m_nVirtualKey = 36;  // Home
    AppOptions().m_bDockEnabled = true;
    CFakeFrame frame;
    CSheet s(frame);
    s.Click(s.general, CPgeOptGenral::IDC_DOCKING);
    s.Press(QDialogButtonBox::Ok);
    QVERIFY(s.IsOpen());
    QVERIFY(m_fx->Shown(33030));
    QVERIFY(AppOptions().m_bDockEnabled);
    QVERIFY(frame.m_log.isEmpty());
    // A valid key mends it.
    m_fx->Clear();
    QTest::keyClick(s.general->Control<QLineEdit>(CPgeOptGenral::IDC_HOTKEY), Qt::Key_K, Qt::ControlModifier);
    s.Press(QDialogButtonBox::Ok);
    QVERIFY(!s.IsOpen());
    QVERIFY(m_fx->m_messages.empty());
    QCOMPARE(AppOptions().m_hotKey.m_nVirtualKey, uint32_t('K'));
    QVERIFY(!AppOptions().m_bDockEnabled);
}

void OptionsPagesTest::keyTakenByAnotherProgramIsSaidAndTheSheetCloses() {
    AppOptions().m_hotKey = CHotKeyOptions();
    CFakeFrame frame;
    frame.m_bKeyFree = false;
    CSheet s(frame);
    QTest::keyClick(s.general->Control<QLineEdit>(CPgeOptGenral::IDC_HOTKEY), Qt::Key_F10,
                    Qt::ControlModifier | Qt::ShiftModifier);
    s.Press(QDialogButtonBox::Ok);
    QVERIFY(!s.IsOpen());
    QVERIFY(m_fx->Shown(33031));
    // The choice stays, as chosen.
    QCOMPARE(AppOptions().m_hotKey.m_nVirtualKey, 121u);
    QVERIFY(AppOptions().m_hotKey.m_bEnabled);
}

void OptionsPagesTest::editingPageStoresItsChoices() {
    AppOptions().m_bShowBorders = false;
    AppOptions().m_bShowDetails = true;
    AppOptions().m_nDefaultView = 1;
    AppOptions().m_bActivateApplets = true;
    CFakeFrame frame;
    {
        CSheet s(frame);
        s.sheet.SetActivePage(1);
        QVERIFY(!s.Checked(s.edit, COptEditPage::IDC_SHOW_BORDERS));
        QVERIFY(s.Checked(s.edit, COptEditPage::IDC_SHOW_DETAILS));
        QVERIFY(s.Checked(s.edit, COptEditPage::IDC_VIEW_FIRST + 1));
        s.Click(s.edit, COptEditPage::IDC_SHOW_BORDERS);
        s.Click(s.edit, COptEditPage::IDC_SHOW_DETAILS);
        s.Click(s.edit, COptEditPage::IDC_VIEW_FIRST);
        QVERIFY(s.edit->IsModified());
        s.Press(QDialogButtonBox::Ok);
    }
    QVERIFY(AppOptions().m_bShowBorders);
    QVERIFY(!AppOptions().m_bShowDetails);
    QCOMPARE(AppOptions().m_nDefaultView, 0u);
    QVERIFY(AppOptions().m_bActivateApplets);
    // Cancel stores nothing.
    {
        CSheet s(frame);
        s.sheet.SetActivePage(1);
        s.Click(s.edit, COptEditPage::IDC_SHOW_BORDERS);
        s.Press(QDialogButtonBox::Cancel);
    }
    QVERIFY(AppOptions().m_bShowBorders);
}

void OptionsPagesTest::downloadPageChecksRangesAndKeepsTheHiddenSettings() {
    CAppOptions& opt = AppOptions();
    opt.m_nMaxDownloadWorkers = 5;
    opt.m_download.m_nRetries = 10;
    opt.m_download.m_bProxyLogon = false;
    opt.m_download.m_bModernCapture = true;
    opt.m_download.m_nMaxFileBytes = 10240000;
    opt.m_download.m_nCaptureBudgetMB = 0;  // as a file that holds none reads
    opt.m_download.m_nConnectionKind = 7;
    opt.m_download.m_strConnectionText1 = "proxy.example:8080";
    opt.m_download.m_strConnectionText2 = "<local>";
    CFakeFrame frame;
    CSheet s(frame);
    s.sheet.SetActivePage(2);
    CPgeOptDwn* d = s.download;
    QCOMPARE(s.Text(d, CPgeOptDwn::IDC_MAX_WORKERS), QStringLiteral("5"));
    QCOMPARE(s.Text(d, CPgeOptDwn::IDC_MAX_FILE_BYTES), QStringLiteral("10240000"));
    QVERIFY(!d->Item(CPgeOptDwn::IDC_MAX_FILE_BYTES)->accessibleName().isEmpty());
    QCOMPARE(s.Text(d, CPgeOptDwn::IDC_CAPTURE_BUDGET), QStringLiteral("1024"));
    QVERIFY(!d->Item(CPgeOptDwn::IDC_CAPTURE_BUDGET)->accessibleName().isEmpty());
    QVERIFY(!s.Enabled(d, CPgeOptDwn::IDC_PROXY_USER));
    QVERIFY(!s.Enabled(d, CPgeOptDwn::IDC_PROXY_PASSWORD));
    QCOMPARE(d->Control<QLineEdit>(CPgeOptDwn::IDC_PROXY_PASSWORD)->echoMode(), QLineEdit::Password);
    const struct {
        unsigned nID;
        QString text;
    } bad[] = {{CPgeOptDwn::IDC_MAX_WORKERS, QStringLiteral("0")},
               {CPgeOptDwn::IDC_RETRIES, QStringLiteral("100001")},
               {CPgeOptDwn::IDC_MAX_FILE_BYTES, QStringLiteral("0")},
               {CPgeOptDwn::IDC_CAPTURE_BUDGET, QStringLiteral("0")}};
    for (const auto& b : bad) {
        m_fx->Clear();
        s.Type(d, b.nID, b.text);
        s.Press(QDialogButtonBox::Ok);
        QVERIFY(s.IsOpen());
        QVERIFY(m_fx->Shown(kIdsParseIntRange));
        QCOMPARE(s.sheet.focusWidget(), d->Item(b.nID));
        s.Type(d, b.nID, QStringLiteral("3"));
    }
    s.Type(d, CPgeOptDwn::IDC_MAX_WORKERS, QStringLiteral("100000"));
    s.Type(d, CPgeOptDwn::IDC_MAX_FILE_BYTES, QStringLiteral("52428800"));
    s.Type(d, CPgeOptDwn::IDC_CAPTURE_BUDGET, QStringLiteral("64"));
    s.Click(d, CPgeOptDwn::IDC_PROXY_LOGON);
    QVERIFY(s.Enabled(d, CPgeOptDwn::IDC_PROXY_USER));
    // Text beyond ASCII, as an input method gives it.
    d->Control<QLineEdit>(CPgeOptDwn::IDC_PROXY_USER)->insert(QString::fromUtf8("zhāng"));
    s.Type(d, CPgeOptDwn::IDC_PROXY_PASSWORD, QStringLiteral("s3cret"));
    s.Click(d, CPgeOptDwn::IDC_MODERN_CAPTURE);
    s.Click(d, CPgeOptDwn::IDC_RETRY_NO_LIMIT);
    s.Press(QDialogButtonBox::Ok);
    QVERIFY(!s.IsOpen());
    QCOMPARE(opt.m_nMaxDownloadWorkers, 100000u);
    QCOMPARE(opt.m_download.m_nMaxFileBytes, 52428800u);
    QCOMPARE(opt.DownloadSettings().m_nCaptureBudget, uint64_t(64) << 20);
    QCOMPARE(opt.m_download.m_nRetries, 3u);
    QVERIFY(opt.m_download.m_bRetryNoLimit);
    QVERIFY(opt.m_download.m_bProxyLogon);
    QVERIFY(!opt.m_download.m_bModernCapture);
    QCOMPARE(opt.m_download.m_strProxyUser, std::string("zh\xC4\x81ng"));
    QCOMPARE(opt.m_download.m_strProxyPassword, std::string("s3cret"));
    QCOMPARE(opt.m_download.m_nConnectionKind, 7u);
    QCOMPARE(opt.m_download.m_strConnectionText1, std::string("proxy.example:8080"));
    QCOMPARE(opt.m_download.m_strConnectionText2, std::string("<local>"));

    // A limit beyond what the box holds, set elsewhere, stays when the box
    // is left alone.
    opt.m_download.m_nMaxFileBytes = 4000000000u;
    opt.m_download.m_nCaptureBudgetMB = 4000000000u;
    CSheet again(frame);
    again.sheet.SetActivePage(2);
    again.Press(QDialogButtonBox::Ok);
    QCOMPARE(opt.m_download.m_nMaxFileBytes, 4000000000u);
    QCOMPARE(opt.m_download.m_nCaptureBudgetMB, 4000000000u);
}

void OptionsPagesTest::bothLanguagesCarryTheSameControls() {
    // The Chinese module's pages work the same; their titles are its own.
    CGuiTestFixture fx;
    auto app = fx.MakeApp(QLocale(QLocale::Chinese, QLocale::China));
    m_app.reset();
    QVERIFY(app->InitInstance({QStringLiteral("clipvault"), QStringLiteral("--automation")}));
    CFakeFrame frame;
    CSheet s(frame);
    QCOMPARE(s.general->Title(), QString::fromUtf8("常规"));
    QCOMPARE(s.edit->Title(), QString::fromUtf8("编辑"));
    QCOMPARE(s.download->Title(), QString::fromUtf8("下载"));
    for (CTemplatePage* page : {static_cast<CTemplatePage*>(s.general), static_cast<CTemplatePage*>(s.edit),
                                static_cast<CTemplatePage*>(s.download)}) {
        QVERIFY(page->Form().IsCreated());
        // Every control a user reaches has a name to be found by.
        for (QWidget* w : page->Form().findChildren<QWidget*>())
            if ((qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w)))
                QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
    }
}

void OptionsPagesTest::f1OnAnyPageOpensTheOptionsHelp() {
    QList<int> contexts;
    HelpHandler prev = SetHelpHandler([&](int nContext) { contexts << nContext; });
    CFakeFrame frame;
    {
        CSheet s(frame);
        for (int i = 0; i < 3; ++i) {
            s.sheet.SetActivePage(i);
            CTemplatePage* page = static_cast<CTemplatePage*>(s.sheet.ActivePage());
            QWidget* first = page->Form().findChild<QAbstractButton*>();
            QVERIFY(first);
            QTest::keyClick(first, Qt::Key_F1);
        }
        // Escape in a page reaches the sheet, which closes.
        QTest::keyClick(s.general->Item(CPgeOptGenral::IDC_INTERVAL), Qt::Key_Escape);
        QVERIFY(!s.IsOpen());
    }
    SetHelpHandler(prev);
    QCOMPARE(contexts, (QList<int>{4011, 4011, 4011}));
}

CLIPVAULT_GUI_TEST_MAIN(OptionsPagesTest)
#include "OptionsPagesTest.moc"
