// The language module: which one a locale gets, what happens without one,
// and that what the program reads from it is there in both languages.
#include "support/GuiTestSupport.h"

#include "platform/gui/LanguageModule.h"
#include "platform/gui/QtTranslations.h"
#include "frame/MainFrame.h"

#include <QAction>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

class LanguageModuleTest : public QObject {
    Q_OBJECT
private slots:
    void localeLanguageIds();
    void chineseLocaleGetsTheChineseModule();
    void chineseLocaleWithoutChineseModuleFallsBackToEnglish();
    void otherLocalesGetEnglish();
    void noModuleEndsStartUpWithAMessage();
    void stringTableEscapes();
    void bothModulesCarryWhatTheProgramReads();
    void qtButtonsFollowTheModulesLanguage();
};

namespace {
const QLocale kChina(QLocale::Chinese, QLocale::China);
const QLocale kTaiwan(QLocale::Chinese, QLocale::Taiwan);
const QLocale kGermany(QLocale::German, QLocale::Germany);

QString QtButtonTexts() {
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    return box.button(QMessageBox::Ok)->text() + QLatin1Char('/') + box.button(QMessageBox::Cancel)->text();
}
}  // namespace

void LanguageModuleTest::localeLanguageIds() {
    QCOMPARE(CLanguageModule::LocaleLanguageId(kChina), QStringLiteral("0804"));
    QCOMPARE(CLanguageModule::LocaleLanguageId(kTaiwan), QStringLiteral("0404"));
    QCOMPARE(CLanguageModule::LocaleLanguageId(QLocale(QLocale::English, QLocale::UnitedStates)), QStringLiteral("0409"));
    QCOMPARE(CLanguageModule::LocaleLanguageId(QLocale::c()), QString());
    // A language the table does not list still gets some other id.
    const QString welsh = CLanguageModule::LocaleLanguageId(QLocale(QLocale::Welsh, QLocale::UnitedKingdom));
    QCOMPARE(welsh.size(), 4);
    QVERIFY(welsh != QStringLiteral("0804"));
}

void LanguageModuleTest::chineseLocaleGetsTheChineseModule() {
    CGuiTestFixture fx;
    auto app = fx.MakeApp(kChina);
    app->m_fnStartDialog = [] {};
    QVERIFY(app->InitInstance({QStringLiteral("clipvault")}));
    QCOMPARE(app->Lang().LanguageName(), QStringLiteral("Chn"));
    QCOMPARE(app->m_nLanguageFlag, 0);
    // The menus are the Chinese ones.
    const QString first = app->MainFrame()->menuBar()->actions().first()->text();
    QVERIFY2(first.contains(QChar(0x6587)), qPrintable(first));  // 文件
}

void LanguageModuleTest::chineseLocaleWithoutChineseModuleFallsBackToEnglish() {
    CGuiTestFixture fx(QStringList{QStringLiteral("Eng")});
    auto app = fx.MakeApp(kChina);
    app->m_fnStartDialog = [] {};
    QVERIFY(app->InitInstance({QStringLiteral("clipvault")}));
    QCOMPARE(app->Lang().LanguageName(), QStringLiteral("Eng"));
    QCOMPARE(app->m_nLanguageFlag, 0);
    QVERIFY(fx.m_messages.empty());
    QCOMPARE(QtButtonTexts(), QStringLiteral("OK/Cancel"));  // Qt's texts follow the module
}

void LanguageModuleTest::otherLocalesGetEnglish() {
    for (const QLocale& locale : {kTaiwan, kGermany, QLocale::c()}) {
        CGuiTestFixture fx;
        auto app = fx.MakeApp(locale);
        app->m_fnStartDialog = [] {};
        QVERIFY(app->InitInstance({QStringLiteral("clipvault")}));
        QCOMPARE(app->Lang().LanguageName(), QStringLiteral("Eng"));
        QCOMPARE(app->m_nLanguageFlag, 1);
    }
}

void LanguageModuleTest::noModuleEndsStartUpWithAMessage() {
    // Only the Chinese module: an English locale finds nothing it may use.
    CGuiTestFixture fx(QStringList{QStringLiteral("Chn")});
    auto app = fx.MakeApp();
    QVERIFY(!app->InitInstance({QStringLiteral("clipvault")}));
    QVERIFY(app->m_nExitCode != 0);
    QVERIFY(!app->MainFrame());
    QCOMPARE(fx.m_messages.size(), size_t(1));
    QVERIFY(fx.m_messages[0].m_strText.contains(QStringLiteral("VLTEng.rcc")));
    // A file that is not a resource bundle is no module either.
    CGuiTestFixture fx2(QStringList{});
    QFile junk(fx2.ProgramFolder() + QStringLiteral("/Language/VLTEng.rcc"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("MZ not a bundle");
    junk.close();
    auto app2 = fx2.MakeApp();
    QVERIFY(!app2->InitInstance({QStringLiteral("clipvault")}));
}

void LanguageModuleTest::stringTableEscapes() {
    const auto table = CLanguageModule::ParseStringTable(
        "# comment\n\n100\tone\\ntwo\\tthree\\\\four\r\n200\t\n 300 \tspaced\nbad line\n400\tlast");
    QCOMPARE(table.value(100), QStringLiteral("one\ntwo\tthree\\four"));
    QVERIFY(table.contains(200));
    QCOMPARE(table.value(200), QString());
    QCOMPARE(table.value(300), QStringLiteral("spaced"));
    QCOMPARE(table.value(400), QStringLiteral("last"));
    QCOMPARE(table.size(), 4);
}

void LanguageModuleTest::bothModulesCarryWhatTheProgramReads() {
    for (const QString& name : {QStringLiteral("Eng"), QStringLiteral("Chn")}) {
        CLanguageModule lang;
        QVERIFY(lang.Load(CLanguageModule::ModulePath(QStringLiteral(CLIPVAULT_BIN_DIR), name)));
        QCOMPARE(lang.LanguageName(), name);
        for (unsigned id : {233u, 234u, 33015u, 33049u, 33085u, 33038u, 33039u, 33040u, 33041u, 33072u, 33113u,
                            57345u, 61699u, 34100u, 34105u})
            QVERIFY2(!lang.String(id).isEmpty(), qPrintable(QStringLiteral("%1 string %2").arg(name).arg(id)));
        for (unsigned id : {233u, 234u, 167u, 173u}) QVERIFY(!lang.Menu(id).isEmpty());
        for (unsigned id : {233u, 136u, 144u, 232u}) {
            const CToolbarResource tb = lang.Toolbar(id);
            QVERIFY(tb.IsValid());
            int images = 0;
            for (unsigned item : tb.m_items) images += item ? 1 : 0;
            QCOMPARE(tb.m_strip.width(), images * tb.m_nWidth);
            QVERIFY(!tb.Image(images - 1).isNull());
            QVERIFY(tb.Image(images).isNull());
        }
        QCOMPARE(lang.Bitmap(237).width(), 12 * 16);
        QVERIFY(!lang.Bitmap(103).isNull());
        QVERIFY(!lang.Bitmap(104).isNull());
        QVERIFY(!lang.Icon(233).isNull());
        QVERIFY(!lang.Accelerators(234).empty());
    }
}

void LanguageModuleTest::qtButtonsFollowTheModulesLanguage() {
    // Without the system's catalogues Qt's texts stay English, and nothing
    // is said about it.
    CQtTranslations none;
    QCOMPARE(none.Install(kChina, QStringLiteral("/nonexistent")), 0);
    QCOMPARE(QtButtonTexts(), QStringLiteral("OK/Cancel"));
    if (!QFile::exists(CQtTranslations::SystemFolder() + QStringLiteral("/qtbase_zh_CN.qm")))
        QSKIP("Qt's Chinese translations are missing (Debian package qt6-translations-l10n)");
    {
        CGuiTestFixture fx;
        auto app = fx.MakeApp(kChina);
        app->m_fnStartDialog = [] {};
        QVERIFY(app->InitInstance({QStringLiteral("clipvault")}));
        QCOMPARE(QtButtonTexts(), QStringLiteral("确定/取消"));
    }
    // They go with the program.
    QCOMPARE(QtButtonTexts(), QStringLiteral("OK/Cancel"));
}

CLIPVAULT_GUI_TEST_MAIN(LanguageModuleTest)
#include "LanguageModuleTest.moc"
