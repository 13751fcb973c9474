// The tip of the day: where it goes on from run to run, how it goes round
// the file, which lines are tips, what it keeps in the profile, how the
// program shows it, and the tips files that come with the program.
#include "support/GuiTestSupport.h"

#include "frame/MainFrame.h"
#include "platform/CommandIds.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/TemplateDialog.h"
#include "views/TipDlg.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>
#include <functional>
#include <utime.h>

namespace {

const QByteArray kThreeTips = "; the tips\n"
                              "First tip\n"
                              "\n"
                              "Second tip\n"
                              "Third tip\n";

// What one showing of the dialog looked like, and how it was left.
struct CShowing {
    QStringList tips;  // the first one, then one per press of 1002
    bool bNextEnabled = false;
    bool bChecked = false;
    int nResult = 0;
};

class CTipFolder {
public:
    CTipFolder() : m_strTips(m_dir.path() + QStringLiteral("/tips.txt")) {}

    QString TipsPath() const { return m_strTips; }
    QString IniPath() const { return m_dir.path() + QStringLiteral("/profile.ini"); }

    // A new file gets a modification time of its own, as a replaced file has.
    void Write(const QByteArray& bytes, time_t tmModified) {
        QFile f(m_strTips);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        struct utimbuf times = {tmModified, tmModified};
        QCOMPARE(utime(QFile::encodeName(m_strTips).constData(), &times), 0);
    }

    QVariant Value(const char* pKey) const { return QSettings(IniPath(), QSettings::IniFormat).value(QLatin1String(pKey)); }
    void SetValue(const char* pKey, const QVariant& value) {
        QSettings(IniPath(), QSettings::IniFormat).setValue(QLatin1String(pKey), value);
    }

    // One showing over a profile read afresh, as in a new run: `nNext`
    // presses of 1002, then `fnClose` ends it (OK when null).
    CShowing Show(int nNext = 0, const std::function<void(CTipDlg&)>& fnClose = nullptr) {
        CShowing s;
        QSettings profile(IniPath(), QSettings::IniFormat);
        {
            CTipDlg dlg(profile, m_strTips, nullptr);
            DialogHook prev = SetDialogHook([&](CTemplateDialog& d) {
                auto& tip = static_cast<CTipDlg&>(d);
                auto* label = tip.Control<QLabel>(CTipDlg::IDC_TIPSTRING);
                auto* next = tip.Control<QPushButton>(CTipDlg::IDC_NEXTTIP);
                auto* box = tip.Control<QCheckBox>(CTipDlg::IDC_STARTUP);
                if (!label || !next || !box) return;
                s.bNextEnabled = next->isEnabled();
                s.bChecked = box->isChecked();
                s.tips << label->text();
                for (int i = 0; i < nNext; ++i) {
                    next->click();
                    s.tips << label->text();
                }
                if (fnClose) fnClose(tip);
                else tip.Control<QPushButton>(1)->click();
            });
            s.nResult = dlg.DoModal();
            SetDialogHook(prev);
        }
        return s;
    }

private:
    QTemporaryDir m_dir;
    QString m_strTips;
};

QString CTimeText(time_t tm) {
    char buf[64];
    ctime_r(&tm, buf);
    return QString::fromLatin1(buf).trimmed();
}

// The byte offset just after the line that holds `tip`.
qint64 After(const QByteArray& file, const QByteArray& tip) { return file.indexOf(tip + '\n') + tip.size() + 1; }

const CLanguageModule* LoadModule(CLanguageModule& lang, const QString& strName) {
    if (!lang.Load(QStringLiteral(CLIPVAULT_BIN_DIR "/Language/VLT%1.rcc").arg(strName))) return nullptr;
    SetCurrentLanguage(&lang);
    SetTemplateSource([&lang](unsigned nID) { return lang.DialogTemplate(nID); });
    SetStringSource([&lang](unsigned nID) { return lang.String(nID); });
    return &lang;
}

// Escape and the close box.
void Cancel(CTipDlg& d) { static_cast<QDialog&>(d).reject(); }

}  // namespace

class TipDlgTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void eachShowingGoesOnWhereTheLastStopped();
    void aReplacedFileStartsAgainAndAPositionPastTheEndGoesRound();
    void okStoresTheStartUpBoxAndCancelKeepsIt();
    void onlyLinesThatStartWithTextAreTips();
    void aFileWithoutTipsOrNoFileShows109();
    void theHeaderAndTheTipAreOnWhite();
    void theProgramShowsItAtStartUpAndOnTheCommand();
    void theShippedTipsMatch();

private:
    CLanguageModule m_eng;
};

void TipDlgTest::initTestCase() { QVERIFY(LoadModule(m_eng, QStringLiteral("Eng"))); }

void TipDlgTest::cleanupTestCase() {
    SetCurrentLanguage(nullptr);
    SetTemplateSource(nullptr);
    SetStringSource(nullptr);
}

void TipDlgTest::eachShowingGoesOnWhereTheLastStopped() {
    CGuiTestFixture fx;
    CTipFolder folder;
    folder.Write(kThreeTips, 1700000000);

    CShowing s = folder.Show();
    QCOMPARE(s.tips, QStringList{QStringLiteral("First tip\n")});
    QVERIFY(s.bNextEnabled);
    QCOMPARE(s.nResult, int(host::IDOK));
    QCOMPARE(folder.Value(CTipDlg::kFilePos).toLongLong(), After(kThreeTips, "First tip"));
    QCOMPARE(folder.Value(CTipDlg::kTimeStamp).toString(), CTimeText(1700000000));

    // The next run goes on; after the last tip the first comes again.
    s = folder.Show(2);
    QCOMPARE(s.tips, (QStringList{QStringLiteral("Second tip\n"), QStringLiteral("Third tip\n"),
                                  QStringLiteral("First tip\n")}));
    QCOMPARE(folder.Value(CTipDlg::kFilePos).toLongLong(), After(kThreeTips, "First tip"));
    s = folder.Show(1);
    QCOMPARE(s.tips, (QStringList{QStringLiteral("Second tip\n"), QStringLiteral("Third tip\n")}));
    QCOMPARE(folder.Value(CTipDlg::kFilePos).toLongLong(), qint64(kThreeTips.size()));
    QCOMPARE(folder.Show().tips, QStringList{QStringLiteral("First tip\n")});
    QVERIFY(fx.m_messages.empty());
}

void TipDlgTest::aReplacedFileStartsAgainAndAPositionPastTheEndGoesRound() {
    CGuiTestFixture fx;
    CTipFolder folder;
    folder.Write(kThreeTips, 1700000000);
    QCOMPARE(folder.Show(1).tips.last(), QStringLiteral("Second tip\n"));

    // A new file, its first tip nearer the start than the stored position.
    const QByteArray replaced = "New one\nNew two\nNew three\n";
    folder.Write(replaced, 1700003600);
    QVERIFY(folder.Value(CTipDlg::kFilePos).toLongLong() > After(replaced, "New one"));
    QCOMPARE(folder.Show().tips, QStringList{QStringLiteral("New one\n")});
    QCOMPARE(folder.Value(CTipDlg::kTimeStamp).toString(), CTimeText(1700003600));
    QCOMPARE(folder.Show().tips, QStringList{QStringLiteral("New two\n")});

    // A position past the end (the same file) reaches the end at once and
    // goes round to the first tip.
    folder.SetValue(CTipDlg::kFilePos, 100000);
    QCOMPARE(folder.Show().tips, QStringList{QStringLiteral("New one\n")});

    // A position inside a line (another file of the same time) goes on with
    // the next whole line.
    folder.SetValue(CTipDlg::kFilePos, After(replaced, "New one") - 3);
    QCOMPARE(folder.Show().tips, QStringList{QStringLiteral("New two\n")});

    // A position no file has: message 110, and the tips still go on from
    // the start.
    folder.SetValue(CTipDlg::kFilePos, -5);
    const CShowing s = folder.Show(1);
    QVERIFY(fx.Shown(110));
    QCOMPARE(fx.m_messages.size(), size_t(1));
    QCOMPARE(fx.m_messages[0].m_nType & host::MB_ICONMASK, 0u);
    QCOMPARE(s.tips.last(), QStringLiteral("New one\n"));
    QCOMPARE(folder.Value(CTipDlg::kFilePos).toLongLong(), After(replaced, "New one"));
}

void TipDlgTest::okStoresTheStartUpBoxAndCancelKeepsIt() {
    CGuiTestFixture fx;
    CTipFolder folder;
    folder.Write(kThreeTips, 1700000000);

    // Cancel with the box cleared: "StartUp" stays as it was, the place
    // in the file is kept all the same.
    CShowing s = folder.Show(0, [](CTipDlg& d) {
        d.Control<QCheckBox>(CTipDlg::IDC_STARTUP)->setChecked(false);
        Cancel(d);
    });
    QVERIFY(s.bChecked);
    QCOMPARE(s.nResult, int(host::IDCANCEL));
    QVERIFY(!folder.Value(CTipDlg::kStartUp).isValid());
    QCOMPARE(folder.Value(CTipDlg::kFilePos).toLongLong(), After(kThreeTips, "First tip"));

    // OK with the box cleared: not at start-up any more. Clearing it and
    // then asking for the next tip keeps it cleared.
    s = folder.Show(0, [](CTipDlg& d) {
        d.Control<QCheckBox>(CTipDlg::IDC_STARTUP)->setChecked(false);
        d.Control<QPushButton>(CTipDlg::IDC_NEXTTIP)->click();
        QVERIFY(!d.Control<QCheckBox>(CTipDlg::IDC_STARTUP)->isChecked());
        d.Control<QPushButton>(1)->click();
    });
    QCOMPARE(s.nResult, int(host::IDOK));
    QCOMPARE(folder.Value(CTipDlg::kStartUp).toInt(), 1);
    QCOMPARE(folder.Value(CTipDlg::kFilePos).toLongLong(), qint64(kThreeTips.size()));

    // The next showing starts with the box cleared; setting it again and OK
    // stores 0.
    s = folder.Show(0, [](CTipDlg& d) {
        QVERIFY(!d.m_bStartup);
        d.Control<QCheckBox>(CTipDlg::IDC_STARTUP)->setChecked(true);
        d.Control<QPushButton>(1)->click();
    });
    QVERIFY(!s.bChecked);
    QCOMPARE(folder.Value(CTipDlg::kStartUp).toInt(), 0);
}

void TipDlgTest::onlyLinesThatStartWithTextAreTips() {
    CGuiTestFixture fx;
    CTipFolder folder;
    // The first-byte test is on raw bytes: a line that starts with a
    // multi-byte character is a tip. A line longer than 999 bytes is read
    // in pieces, and a piece that starts with a space is no tip.
    const QByteArray longTip = "L" + QByteArray(998, 'a');
    const QByteArray bytes = "; comment\n"
                             "\tindented\n"
                             " spaced\n"
                             "\n"
                             "\r\n" +
                             QByteArray("\xE4\xB8\xAD\xE6\x96\x87 tip\n") + "Line with CR LF\r\n" + longTip +
                             " rest of the long line\n" + ";last comment\n";
    folder.Write(bytes, 1700000000);
    const CShowing s = folder.Show(3);
    QCOMPARE(s.tips, (QStringList{QString::fromUtf8("中文 tip\n"), QStringLiteral("Line with CR LF\n"),
                                  QString::fromLatin1(longTip), QString::fromUtf8("中文 tip\n")}));
    QVERIFY(fx.m_messages.empty());
}

void TipDlgTest::aFileWithoutTipsOrNoFileShows109() {
    CGuiTestFixture fx;
    const QString none = m_eng.String(109);
    QVERIFY(!none.isEmpty());
    for (const QByteArray& bytes : {QByteArray("; only a comment\n\n \n\tnothing\n"), QByteArray()}) {
        CTipFolder folder;
        folder.Write(bytes, 1700000000);
        // Going round finds nothing, once and again: the dialog answers
        // instead of reading for ever.
        const CShowing s = folder.Show(2);
        QCOMPARE(s.tips, (QStringList{none, none, none}));
        QVERIFY(s.bNextEnabled);
        QVERIFY(folder.Value(CTipDlg::kFilePos).isValid());
    }
    // No file: the text says so, there is no next tip and nothing is stored
    // about a file.
    CTipFolder missing;
    const CShowing s = missing.Show();
    QCOMPARE(s.tips, QStringList{none});
    QVERIFY(!s.bNextEnabled);
    QVERIFY(s.bChecked);
    QVERIFY(!missing.Value(CTipDlg::kFilePos).isValid());
    QVERIFY(!missing.Value(CTipDlg::kTimeStamp).isValid());
    QVERIFY(fx.m_messages.empty());
}

void TipDlgTest::theHeaderAndTheTipAreOnWhite() {
    CGuiTestFixture fx;
    CTipFolder folder;
    const QString shots = qEnvironmentVariable("CLIPVAULT_TIP_SHOTS");
    for (const QString& name : {QStringLiteral("Eng"), QStringLiteral("Chn")}) {
        const bool bEng = name == QLatin1String("Eng");
        // Long enough to need more than one line.
        const QString text = bEng ? QStringLiteral("A tip that is long enough to need more than one line in the tip of "
                                                   "the day, so that it shows how the text wraps in its box.")
                                  : QString::fromUtf8("这条提示足够长，需要在每日提示中占用不止一行，"
                                                      "以便看出文字如何在白色的框中换行。这条提示足够长。");
        folder.Write(text.toUtf8() + '\n', bEng ? 1700000000 : 1700000100);
        CLanguageModule lang;
        QVERIFY(LoadModule(lang, name));
        QSettings profile(folder.IniPath(), QSettings::IniFormat);
        CTipDlg dlg(profile, folder.TipsPath(), nullptr);
        QVERIFY(dlg.IsCreated());
        QCOMPARE(dlg.windowTitle(), bEng ? QStringLiteral("Tip of the Day") : QString::fromUtf8("每日提示"));
        DialogHook prev = SetDialogHook([&](CTemplateDialog& d) {
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            QWidget* header = d.Item(CTipDlg::IDC_HEADER);
            QVERIFY(header);
            const QPixmap bulb = lang.Bitmap(104);
            QCOMPARE(header->height(), bulb.height());
            QVERIFY(!header->accessibleName().isEmpty());
            const QImage img = header->grab().toImage();
            QCOMPARE(QColor(img.pixel(img.width() - 2, 2)), QColor(Qt::white));
            // The picture at the left, the text (dark pixels) right of it.
            int nBulb = 0, nText = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x) {
                    if (QColor(img.pixel(x, y)) == QColor(Qt::white)) continue;
                    if (x < bulb.width()) ++nBulb;
                    else if (qGray(img.pixel(x, y)) < 100) ++nText;
                }
            QVERIFY(nBulb > 100);
            QVERIFY(nText > 20);
            auto* tip = d.Control<QLabel>(CTipDlg::IDC_TIPSTRING);
            QVERIFY(tip->autoFillBackground());
            QCOMPARE(tip->palette().color(QPalette::Window), QColor(Qt::white));
            QCOMPARE(tip->text(), text + QLatin1Char('\n'));
            QVERIFY(tip->heightForWidth(tip->width()) <= tip->height());
            for (unsigned id : {1u, unsigned(CTipDlg::IDC_NEXTTIP), unsigned(CTipDlg::IDC_STARTUP)}) {
                auto* b = d.Control<QAbstractButton>(id);
                QVERIFY(b && !b->accessibleName().isEmpty());
                QVERIFY(b->width() >= b->sizeHint().width());
            }
            if (!shots.isEmpty())
                d.grab().save(shots + QStringLiteral("/tip-%1.png").arg(name.toLower()), "PNG");
            d.Control<QPushButton>(1)->click();
        });
        QCOMPARE(dlg.DoModal(), int(host::IDOK));
        SetDialogHook(prev);
    }
    LoadModule(m_eng, QStringLiteral("Eng"));
}

void TipDlgTest::theProgramShowsItAtStartUpAndOnTheCommand() {
    CGuiTestFixture fx;
    fx.m_bTipOfTheDay = true;
    QStringList shown;
    DialogHook prev = SetDialogHook([&](CTemplateDialog& d) {
        if (d.TemplateID() != CTipDlg::IDD) return;
        shown << d.Control<QLabel>(CTipDlg::IDC_TIPSTRING)->text();
        d.Control<QPushButton>(1)->click();
    });
    const QStringList args{QStringLiteral("clipvault")};
    {
        // No tips beside the program: start-up and the command say why
        // there are none.
        auto app = fx.MakeApp();
        app->m_fnStartDialog = [] {};
        QVERIFY(app->InitInstance(args));
        QCOMPARE(shown, QStringList{app->Lang().String(109)});
        app->MainFrame()->ExecuteCommand(cmd::kCmdTipOfTheDay);
        QCOMPARE(shown, QStringList(2, app->Lang().String(109)));
        app->ExitInstance();
    }
    QFile::copy(QStringLiteral(CLIPVAULT_BIN_DIR "/tips.txt"), fx.ProgramFolder() + QStringLiteral("/tips.txt"));
    QFile::copy(QStringLiteral(CLIPVAULT_BIN_DIR "/tips-chn.txt"), fx.ProgramFolder() + QStringLiteral("/tips-chn.txt"));
    shown.clear();
    {
        auto app = fx.MakeApp();
        app->m_fnStartDialog = [] {};
        QVERIFY(app->InitInstance(args));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(app->TipsFilePath(), fx.ProgramFolder() + QStringLiteral("/tips.txt"));
        // The command goes on with the next tip.
        app->MainFrame()->ExecuteCommand(cmd::kCmdTipOfTheDay);
        QCOMPARE(shown.size(), 2);
        QVERIFY(shown[0] != shown[1]);
        app->Profile().setValue(QLatin1String(CTipDlg::kStartUp), 1);
        app->ExitInstance();
    }
    const qint64 pos = QSettings(fx.ConfigFolder() + QStringLiteral("/Clipvault/Clipvault.ini"), QSettings::IniFormat)
                           .value(QLatin1String(CTipDlg::kFilePos))
                           .toLongLong();
    QVERIFY(pos > 0);
    {
        // Not wanted at start-up: not shown, and no tip passed over unseen.
        auto app = fx.MakeApp();
        app->m_fnStartDialog = [] {};
        QVERIFY(app->InitInstance(args));
        QCOMPARE(shown.size(), 2);
        QCOMPARE(app->Profile().value(QLatin1String(CTipDlg::kFilePos)).toLongLong(), pos);
        app->MainFrame()->ExecuteCommand(cmd::kCmdTipOfTheDay);
        QCOMPARE(shown.size(), 3);
        app->ExitInstance();
    }
    {
        // The Chinese module reads the Chinese tips.
        auto app = fx.MakeApp(QLocale(QLocale::Chinese, QLocale::China));
        app->m_fnStartDialog = [] {};
        QVERIFY(app->InitInstance(args));
        QCOMPARE(app->TipsFilePath(), fx.ProgramFolder() + QStringLiteral("/tips-chn.txt"));
        app->MainFrame()->ExecuteCommand(cmd::kCmdTipOfTheDay);
        QCOMPARE(shown.size(), 4);
        QVERIFY(shown.last().contains(QChar(0x3002)) || shown.last().contains(QChar(0xFF0C)));
        app->ExitInstance();
    }
    SetDialogHook(prev);
    // The applications took the language away with them.
    QVERIFY(LoadModule(m_eng, QStringLiteral("Eng")));
}

void TipDlgTest::theShippedTipsMatch() {
    CGuiTestFixture fx;
    QList<QStringList> all;
    for (const char* name : {"tips.txt", "tips-chn.txt"}) {
        QFile f(QStringLiteral(CLIPVAULT_BIN_DIR "/") + QLatin1String(name));
        QVERIFY2(f.open(QIODevice::ReadOnly), name);
        const QByteArray bytes = f.readAll();
        QVERIFY2(QString::fromUtf8(bytes).toUtf8() == bytes, name);
        // The tips as the dialog reads them: round the file once.
        QSettings profile(fx.WorkFolder() + QStringLiteral("/%1.ini").arg(QLatin1String(name)), QSettings::IniFormat);
        CTipDlg dlg(profile, f.fileName(), nullptr);
        QStringList tips{QString::fromUtf8(dlg.m_strTip.c_str())};
        auto* label = dlg.Control<QLabel>(CTipDlg::IDC_TIPSTRING);
        QVERIFY(label);
        for (int i = 0; i < 200; ++i) {
            dlg.OnNextTip();
            const QString tip = QString::fromUtf8(dlg.m_strTip.c_str());
            // Every tip fits the box, so the dialog keeps its size.
            QCOMPARE(label->text(), tip);
            QVERIFY2(label->heightForWidth(label->minimumWidth()) <= label->minimumHeight(), qPrintable(tip));
            if (tip == tips.first()) break;
            tips << tip;
        }
        for (const QString& tip : tips) QVERIFY2(tip.endsWith(QLatin1Char('\n')) && tip.size() > 10, qPrintable(tip));
        all << tips;
    }
    QVERIFY(all[0].size() >= 30);
    QCOMPARE(all[1].size(), all[0].size());
    QVERIFY(fx.m_messages.empty());
}

CLIPVAULT_GUI_TEST_MAIN(TipDlgTest)
#include "TipDlgTest.moc"
