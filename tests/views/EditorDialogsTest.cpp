// The editor's small dialogs from both language modules: their controls,
// the range checks, the hyperlink's schemes, file and note links, the note
// picker's lazily filled tree, and the date/time forms with their default
// kept for the run.
#include "support/GuiTestSupport.h"

#include "capture/LinkHelpers.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/MessageHost.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/QtText.h"
#include "platform/gui/TemplateDialog.h"
#include "views/EditorDialogs.h"
#include "views/HyperlinkDlg.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <ctime>
#include <memory>

namespace {

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);
const QLocale kChinese(QLocale::Chinese, QLocale::China);

// 2024-03-05 09:07:08 local time, a Tuesday.
time_t FixedTime() {
    struct tm t = {};
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 9;
    t.tm_min = 7;
    t.tm_sec = 8;
    t.tm_isdst = -1;
    return mktime(&t);
}

std::string Strftime(const char* format, time_t when) {
    struct tm t;
    localtime_r(&when, &t);
    char buf[256];
    return std::string(buf, std::strftime(buf, sizeof buf, format, &t));
}

// Runs `dlg` modally with `answer` in place of the user; how it ended.
template <class Dlg>
int Answer(Dlg& dlg, const std::function<void(CTemplateDialog&)>& answer) {
    auto prev = SetDialogHook(answer);
    const int n = dlg.DoModal();
    SetDialogHook(prev);
    return n;
}

void SetText(CTemplateDialog& d, unsigned nID, const QString& text) {
    auto* e = d.Control<QLineEdit>(nID);
    QVERIFY2(e, qPrintable(QString::number(nID)));
    e->setText(text);
}

QString Text(CTemplateDialog& d, unsigned nID) {
    auto* e = d.Control<QLineEdit>(nID);
    return e ? e->text() : QStringLiteral("<missing>");
}

void ClickOk(CTemplateDialog& d) { d.Control<QPushButton>(host::IDOK)->click(); }

QTreeWidgetItem* Child(QTreeWidgetItem* p, const QString& text) {
    for (int i = 0; p && i < p->childCount(); ++i)
        if (p->child(i)->text(0) == text) return p->child(i);
    return nullptr;
}

QStringList Texts(QTreeWidgetItem* p) {
    QStringList out;
    for (int i = 0; i < p->childCount(); ++i) out << p->child(i)->text(0);
    return out;
}

qint64 IconKey(QTreeWidgetItem* p) { return p->data(0, Qt::DecorationRole).value<QIcon>().cacheKey(); }

struct CStartedApp {
    CGuiTestFixture fx;
    std::unique_ptr<CClipVaultApp> app;
    explicit CStartedApp(const QLocale& locale) {
        app = fx.MakeApp(locale);
        bStarted = app->InitInstance({QStringLiteral("clipvault"), QStringLiteral("--automation")});
    }
    ~CStartedApp() {
        if (bStarted) app->ExitInstance();
    }
    bool bStarted = false;
};

}  // namespace

class EditorDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void templatesCarryTheirControlsInBothLanguages();
    void numbersOutsideTheirRangesKeepTheDialogOpen();
    void tableHandsBackWhatWasTyped();
    void hyperlinkOffersSchemesFilesAndNotes();
    void pickerFillsCategoriesWhenOpenedAndChoosesOnlyNotes();
    void dateTimeFormsAndTheirDefault();
    void dateTimeTextIsCutOnWholeCharacters();
};

void EditorDialogsTest::templatesCarryTheirControlsInBothLanguages() {
    struct CCase {
        unsigned nID;
        std::vector<std::pair<unsigned, const char*>> controls;
    };
    const std::vector<CCase> cases = {
        {151,
         {{1008, "QLineEdit"}, {1003, "QLineEdit"}, {1004, "QLineEdit"}, {1005, "QLineEdit"}, {1006, "QLineEdit"}}},
        {145, {{1011, "QLineEdit"}, {1012, "QLineEdit"}}},
        {147, {{1010, "QLineEdit"}, {1003, "QLineEdit"}}},
        {184, {{1076, "QComboBox"}, {1078, "QPushButton"}, {1005, "QPushButton"}}},
        {185, {{1077, "QTreeWidget"}}},
        {187, {{1081, "QListWidget"}, {1005, "QPushButton"}}},
    };
    std::map<unsigned, QString> englishTitles;
    for (const QLocale& locale : {kEnglish, kChinese}) {
        CStartedApp a(locale);
        QVERIFY(a.bStarted);
        for (const CCase& c : cases) {
            CTemplateDialog d(c.nID, nullptr);
            QVERIFY2(d.IsCreated(), qPrintable(QString::number(c.nID)));
            QVERIFY(!d.windowTitle().isEmpty());
            if (locale == kEnglish) englishTitles[c.nID] = d.windowTitle();
            else QVERIFY2(d.windowTitle() != englishTitles[c.nID], qPrintable(d.windowTitle()));
            QVERIFY(d.Control<QPushButton>(host::IDOK));
            QVERIFY(d.Control<QPushButton>(host::IDCANCEL));
            const QList<QLabel*> labels = d.findChildren<QLabel*>();
            for (const auto& [nID, type] : c.controls) {
                QWidget* w = d.Item(nID);
                QVERIFY2(w && w->inherits(type), qPrintable(QStringLiteral("%1/%2").arg(c.nID).arg(nID)));
                if (qobject_cast<QPushButton*>(w)) {
                    QVERIFY(!w->property("text").toString().isEmpty());
                    continue;
                }
                // Inputs are named by the label that is their buddy.
                const bool bNamed = std::any_of(labels.begin(), labels.end(), [w](QLabel* l) {
                    return l->buddy() == w && !l->text().isEmpty();
                });
                QVERIFY2(bNamed || !w->accessibleName().isEmpty(),
                         qPrintable(QStringLiteral("%1/%2").arg(c.nID).arg(nID)));
            }
        }
    }
}

void EditorDialogsTest::numbersOutsideTheirRangesKeepTheDialogOpen() {
    for (const QLocale& locale : {kEnglish, kChinese}) {
        CStartedApp a(locale);
        QVERIFY(a.bStarted);
        const QString range512 = a.app->LoadString(61714).replace("%1", "0").replace("%2", "512");
        const QString range1024 = a.app->LoadString(61714).replace("%1", "0").replace("%2", "1024");
        const QString range99 = a.app->LoadString(61714).replace("%1", "1").replace("%2", "99");

        CNudgeDlg nudge(nullptr);
        QCOMPARE(Answer(nudge,
                        [&](CTemplateDialog& d) {
                            QVERIFY(!g_bAutoHideAllowed);
                            QCOMPARE(Text(d, 1011), QStringLiteral("0"));
                            QCOMPARE(Text(d, 1012), QStringLiteral("0"));
                            SetText(d, 1011, "512");
                            SetText(d, 1012, "513");
                            a.fx.Clear();
                            ClickOk(d);
                            QCOMPARE(d.Result(), -1);
                            QCOMPARE(a.fx.m_messages.size(), size_t(1));
                            QCOMPARE(a.fx.m_messages[0].m_nID, 61714u);
                            QCOMPARE(a.fx.m_messages[0].m_strText, range512);
                            SetText(d, 1012, "-1");
                            ClickOk(d);
                            QCOMPARE(d.Result(), -1);
                            SetText(d, 1012, "0");
                            ClickOk(d);
                        }),
                 int(host::IDOK));
        QCOMPARE(nudge.m_nX, 512);
        QCOMPARE(nudge.m_nY, 0);

        CAlignGridDlg grid(nullptr);
        grid.m_nX = 8;
        grid.m_nY = 16;
        QCOMPARE(Answer(grid,
                        [&](CTemplateDialog& d) {
                            // The editor's last values are shown.
                            QCOMPARE(Text(d, 1010), QStringLiteral("8"));
                            QCOMPARE(Text(d, 1003), QStringLiteral("16"));
                            SetText(d, 1010, "1025");
                            a.fx.Clear();
                            ClickOk(d);
                            QCOMPARE(d.Result(), -1);
                            QVERIFY(a.fx.Shown(61714));
                            QCOMPARE(a.fx.m_messages.back().m_strText, range1024);
                            SetText(d, 1010, "1024");
                            SetText(d, 1003, "1024");
                            ClickOk(d);
                        }),
                 int(host::IDOK));
        QCOMPARE(grid.m_nX, 1024);
        QCOMPARE(grid.m_nY, 1024);

        // Cancelling leaves the fields as they were, whatever was typed.
        CAlignGridDlg cancelled(nullptr);
        cancelled.m_nX = 3;
        QCOMPARE(Answer(cancelled,
                        [&](CTemplateDialog& d) {
                            SetText(d, 1010, "7");
                            d.Control<QPushButton>(host::IDCANCEL)->click();
                        }),
                 int(host::IDCANCEL));
        QCOMPARE(cancelled.m_nX, 3);

        CInsertTableDlg table(nullptr);
        QCOMPARE(Answer(table,
                        [&](CTemplateDialog& d) {
                            for (const char* rows : {"0", "100"}) {
                                SetText(d, 1008, rows);
                                a.fx.Clear();
                                ClickOk(d);
                                QCOMPARE(d.Result(), -1);
                                QCOMPARE(a.fx.m_messages.size(), size_t(1));
                                QCOMPARE(a.fx.m_messages[0].m_strText, range99);
                            }
                            SetText(d, 1008, "99");
                            SetText(d, 1003, "100");
                            ClickOk(d);
                            QCOMPARE(d.Result(), -1);
                            SetText(d, 1003, "two");
                            a.fx.Clear();
                            ClickOk(d);
                            QCOMPARE(d.Result(), -1);
                            QVERIFY(a.fx.Shown(61712));
                            SetText(d, 1003, "1");
                            ClickOk(d);
                        }),
                 int(host::IDOK));
        QCOMPARE(table.m_nRows, 99);
        QCOMPARE(table.m_nColumns, 1);
    }
}

void EditorDialogsTest::tableHandsBackWhatWasTyped() {
    CStartedApp a(kChinese);
    QVERIFY(a.bStarted);
    CInsertTableDlg table(nullptr);
    // The editor's presets are there before it sets anything.
    QCOMPARE(table.m_nRows, 2);
    QCOMPARE(table.m_nColumns, 2);
    QCOMPARE(table.m_strTableAttrs, QStringLiteral("BORDER=1 BGCOLOR=black"));
    QCOMPARE(table.m_strCellAttrs, QStringLiteral("BGCOLOR=white"));
    QCOMPARE(table.m_strCaption, QStringLiteral("Here's A Table"));
    table.m_nRows = 3;
    table.m_strCaption = QString::fromUtf8("旧标题");
    QCOMPARE(Answer(table,
                    [&](CTemplateDialog& d) {
                        QCOMPARE(Text(d, 1008), QStringLiteral("3"));
                        QCOMPARE(Text(d, 1003), QStringLiteral("2"));
                        QCOMPARE(Text(d, 1004), QStringLiteral("BORDER=1 BGCOLOR=black"));
                        QCOMPARE(Text(d, 1005), QStringLiteral("BGCOLOR=white"));
                        QCOMPARE(Text(d, 1006), QString::fromUtf8("旧标题"));
                        SetText(d, 1008, " 4 ");
                        SetText(d, 1003, "5");
                        SetText(d, 1004, "");
                        SetText(d, 1005, "ALIGN=center");
                        SetText(d, 1006, QString::fromUtf8("价格 100%"));
                        ClickOk(d);
                    }),
             int(host::IDOK));
    QCOMPARE(table.m_nColumns, 5);
    QCOMPARE(table.m_strTableAttrs, QString());
    QCOMPARE(table.m_strCellAttrs, QStringLiteral("ALIGN=center"));
    QCOMPARE(table.m_strCaption, QString::fromUtf8("价格 100%"));
}

void EditorDialogsTest::hyperlinkOffersSchemesFilesAndNotes() {
    CStartedApp a(kEnglish);
    QVERIFY(a.bStarted);
    CClipVaultDoc doc;
    CNoteCata* cata = doc.m_rootCata.AddNewSubCata("Recipes");
    doc.m_rootCata.AddNewNote("first");
    CNote* note = cata->AddNewNote("Kuchen & 甜点");
    QVERIFY(note && note->m_nID != 0);

    auto prevChooser = CHyperlinkDlg::s_fnChooseFile;
    QString chosen = QStringLiteral("/home/u/My Files/a.pdf");
    int asked = 0;
    CHyperlinkDlg::s_fnChooseFile = [&](QWidget* pParent) {
        ++asked;
        // Asked over the hyperlink dialog.
        [&] { QVERIFY(qobject_cast<CHyperlinkDlg*>(pParent)); }();
        return chosen;
    };

    CHyperlinkDlg dlg(nullptr, &doc);
    dlg.m_strUrl = QStringLiteral("http://example.com/old");
    int picked = 0;
    QCOMPARE(Answer(dlg,
                    [&](CTemplateDialog& d) {
                        if (d.TemplateID() == CPickNoteDlg::IDD) {
                            ++picked;
                            auto* tree = d.Control<QTreeWidget>(1077);
                            QTreeWidgetItem* item = Child(tree->topLevelItem(0), "Recipes");
                            QVERIFY(item);
                            item->setExpanded(true);
                            tree->setCurrentItem(Child(item, QString::fromUtf8("Kuchen & 甜点")));
                            ClickOk(d);
                            return;
                        }
                        QCOMPARE(d.TemplateID(), 184u);
                        auto* combo = d.Control<QComboBox>(1076);
                        QVERIFY(combo->isEditable());
                        QStringList schemes, expected;
                        for (int i = 0; i < combo->count(); ++i) schemes << combo->itemText(i);
                        for (const std::string& s : LinkSchemes()) expected << ToQ(s);
                        QCOMPARE(schemes, expected);
                        QCOMPARE(schemes.first(), QStringLiteral("file://"));
                        QCOMPARE(schemes.last(), QStringLiteral("clipvault:"));
                        // The preset, not the first scheme, is in the box.
                        QCOMPARE(combo->currentText(), QStringLiteral("http://example.com/old"));

                        d.Control<QPushButton>(1078)->click();
                        QCOMPARE(combo->currentText(), QStringLiteral("file:///home/u/My Files/a.pdf"));
                        // Cancelling the file dialog leaves the address.
                        chosen.clear();
                        d.Control<QPushButton>(1078)->click();
                        QCOMPARE(combo->currentText(), QStringLiteral("file:///home/u/My Files/a.pdf"));

                        QVERIFY(d.Control<QPushButton>(1005)->isEnabled());
                        d.Control<QPushButton>(1005)->click();
                        const QString link =
                            QStringLiteral("clipvault:%1 = ").arg(note->m_nID) + QString::fromUtf8("Kuchen & 甜点");
                        QCOMPARE(combo->currentText(), link);
                        ClickOk(d);
                    }),
             int(host::IDOK));
    QCOMPARE(asked, 2);
    QCOMPARE(picked, 1);
    QCOMPARE(dlg.m_strUrl, QStringLiteral("clipvault:%1 = ").arg(note->m_nID) + QString::fromUtf8("Kuchen & 甜点"));

    // A cancelled pick leaves the address; the typed text is what comes back.
    CHyperlinkDlg typed(nullptr, &doc);
    QCOMPARE(Answer(typed,
                    [&](CTemplateDialog& d) {
                        if (d.TemplateID() == CPickNoteDlg::IDD) {
                            d.Control<QPushButton>(host::IDCANCEL)->click();
                            return;
                        }
                        auto* combo = d.Control<QComboBox>(1076);
                        QCOMPARE(combo->currentText(), QString());
                        combo->setEditText(QStringLiteral("mailto:someone@example.com"));
                        d.Control<QPushButton>(1005)->click();
                        QCOMPARE(combo->currentText(), QStringLiteral("mailto:someone@example.com"));
                        ClickOk(d);
                    }),
             int(host::IDOK));
    QCOMPARE(typed.m_strUrl, QStringLiteral("mailto:someone@example.com"));

    // Without a notebook there is no note to link to.
    CHyperlinkDlg bare(nullptr, nullptr);
    QCOMPARE(Answer(bare, [&](CTemplateDialog& d) {
                 QVERIFY(!d.Control<QPushButton>(1005)->isEnabled());
                 d.Control<QPushButton>(host::IDCANCEL)->click();
             }),
             int(host::IDCANCEL));
    CHyperlinkDlg::s_fnChooseFile = prevChooser;
}

void EditorDialogsTest::pickerFillsCategoriesWhenOpenedAndChoosesOnlyNotes() {
    for (const QLocale& locale : {kEnglish, kChinese}) {
        CStartedApp a(locale);
        QVERIFY(a.bStarted);
        CClipVaultDoc doc;
        CNoteCata* beta = doc.m_rootCata.AddNewSubCata("Beta");
        doc.m_rootCata.AddNewSubCata("alpha");
        CNote* zeta = doc.m_rootCata.AddNewNote("zeta");
        CNote* apple = doc.m_rootCata.AddNewNote("Apple");
        apple->m_nContentType = 1;
        CNote* inner = beta->AddNewNote("inner");
        inner->m_nContentType = 1;
        CNoteCata* deep = beta->AddNewSubCata("deep");
        deep->AddNewNote("bottom");
        QCOMPARE(zeta->m_nContentType, kContentHeld);

        CPickNoteDlg dlg(nullptr, doc);
        QCOMPARE(Answer(dlg,
                        [&](CTemplateDialog& d) {
                            auto& pick = static_cast<CPickNoteDlg&>(d);
                            auto* tree = d.Control<QTreeWidget>(1077);
                            auto* ok = d.Control<QPushButton>(host::IDOK);
                            QVERIFY(!ok->isEnabled());
                            QCOMPARE(tree->topLevelItemCount(), 1);
                            QTreeWidgetItem* root = tree->topLevelItem(0);
                            QCOMPARE(root->text(0), CurrentLanguage().String(33052));
                            QVERIFY(!pick.Icon(0).isNull() && !pick.Icon(4).isNull());
                            QCOMPARE(IconKey(root), pick.Icon(0).cacheKey());
                            QVERIFY(root->isExpanded());
                            // Categories, then notes, each by their names' bytes.
                            QCOMPARE(Texts(root), QStringList({"Beta", "alpha", "Apple", "zeta"}));
                            QTreeWidgetItem* betaItem = Child(root, "Beta");
                            QTreeWidgetItem* alphaItem = Child(root, "alpha");
                            QCOMPARE(IconKey(Child(root, "Apple")), pick.Icon(3).cacheKey());
                            QCOMPARE(IconKey(Child(root, "zeta")), pick.Icon(4).cacheKey());
                            QCOMPARE(IconKey(betaItem), pick.Icon(1).cacheKey());
                            // Not read yet, but shown as holding something;
                            // the empty one is not.
                            QCOMPARE(betaItem->childCount(), 0);
                            QCOMPARE(betaItem->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
                            QCOMPARE(alphaItem->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);

                            betaItem->setExpanded(true);
                            QCOMPARE(Texts(betaItem), QStringList({"deep", "inner"}));
                            QCOMPARE(IconKey(betaItem), pick.Icon(2).cacheKey());
                            QTreeWidgetItem* deepItem = Child(betaItem, "deep");
                            QCOMPARE(deepItem->childCount(), 0);
                            // Opening again adds nothing.
                            betaItem->setExpanded(false);
                            QCOMPARE(IconKey(betaItem), pick.Icon(1).cacheKey());
                            betaItem->setExpanded(true);
                            QCOMPARE(betaItem->childCount(), 2);

                            tree->setCurrentItem(deepItem);
                            QVERIFY(!ok->isEnabled());
                            QVERIFY(!pick.m_pNote);
                            tree->setCurrentItem(Child(betaItem, "inner"));
                            QVERIFY(ok->isEnabled());
                            QCOMPARE(pick.m_pNote, inner);
                            // Back on a category: no note again, and Enter
                            // does not close the dialog.
                            tree->setCurrentItem(root);
                            QVERIFY(!ok->isEnabled());
                            QVERIFY(!pick.m_pNote);
                            QTest::keyClick(tree, Qt::Key_Return);
                            QCOMPARE(d.Result(), -1);
                            tree->setCurrentItem(Child(root, "zeta"));
                            ClickOk(d);
                        }),
                 int(host::IDOK));
        QCOMPARE(dlg.m_pNote, zeta);
    }
    // An empty notebook offers only its root, which cannot be chosen.
    CStartedApp a(kEnglish);
    CClipVaultDoc empty;
    CPickNoteDlg dlg(nullptr, empty);
    QCOMPARE(Answer(dlg,
                    [&](CTemplateDialog& d) {
                        auto* tree = d.Control<QTreeWidget>(1077);
                        QCOMPARE(tree->topLevelItem(0)->childCount(), 0);
                        tree->setCurrentItem(tree->topLevelItem(0));
                        QVERIFY(!d.Control<QPushButton>(host::IDOK)->isEnabled());
                        d.Control<QPushButton>(host::IDCANCEL)->click();
                    }),
             int(host::IDCANCEL));
    QVERIFY(!dlg.m_pNote);
}

void EditorDialogsTest::dateTimeFormsAndTheirDefault() {
    // A fresh run has no default yet.
    QCOMPARE(CInsertDateTimeDlg::LastFormat(), std::string());
    const auto prevNow = CInsertDateTimeDlg::s_fnNow;
    const time_t when = FixedTime();
    CInsertDateTimeDlg::s_fnNow = [when] { return when; };
    const std::vector<std::string>& formats = CInsertDateTimeDlg::Formats();
    QCOMPARE(formats.size(), size_t(24));
    QCOMPARE(formats[9], std::string("%Y-%m-%d"));
    QCOMPARE(formats[23], std::string("%H:%M:%S"));

    for (const QLocale& locale : {kEnglish, kChinese}) {
        CStartedApp a(locale);
        QVERIFY(a.bStarted);
        const bool bEnglish = locale == kEnglish;
        CInsertDateTimeDlg dlg(nullptr);
        QCOMPARE(Answer(dlg,
                        [&](CTemplateDialog& d) {
                            auto* list = d.Control<QListWidget>(1081);
                            QCOMPARE(list->count(), 24);
                            const QStringList chinese = {
                                QString::fromUtf8("2024年3月5日"), QString::fromUtf8("2024年3月5日星期2"),
                                QString::fromUtf8("2024年3月"), QString::fromUtf8("9时7分"),
                                QString::fromUtf8("9时7分8秒")};
                            for (int i = 0; i < 5; ++i) QCOMPARE(list->item(i)->text(), chinese[i]);
                            QCOMPARE(list->item(5)->text(), QStringLiteral("24/03/05"));
                            QCOMPARE(list->item(7)->text(), QStringLiteral("3/5/2024"));
                            QCOMPARE(list->item(10)->text(), QStringLiteral("5-03-2024"));
                            QCOMPARE(list->item(11)->text(), QStringLiteral("3.5.2024"));
                            QCOMPARE(list->item(18)->text(), ToQ(Strftime("3/5/2024 %I:%M %p", when)));
                            for (int i = 0; i < 24; ++i) {
                                QVERIFY(!list->item(i)->text().isEmpty());
                                // No "#" flag is left for strftime to trip on.
                                QVERIFY(!list->item(i)->text().contains('#'));
                            }
                            // The first run preselects row 0.
                            QCOMPARE(list->currentRow(), bEnglish ? 0 : 9);
                            if (bEnglish) {
                                list->setCurrentRow(9);
                                d.Control<QPushButton>(1005)->click();
                                QCOMPARE(CInsertDateTimeDlg::LastFormat(), std::string("%Y-%m-%d"));
                                // The default is kept even when cancelled.
                                d.Control<QPushButton>(host::IDCANCEL)->click();
                            } else {
                                list->setCurrentRow(23);
                                ClickOk(d);
                            }
                        }),
                 int(bEnglish ? host::IDCANCEL : host::IDOK));
        if (bEnglish) QCOMPARE(dlg.m_strText, std::string());
        else QCOMPARE(dlg.m_strText, Strftime("%H:%M:%S", when));
    }
    QCOMPARE(CInsertDateTimeDlg::LastFormat(), std::string("%Y-%m-%d"));

    CStartedApp a(kEnglish);
    QVERIFY(a.bStarted);
    // OK reads the clock again.
    const time_t later = when + 86400 + 3600;
    CInsertDateTimeDlg dlg(nullptr);
    QCOMPARE(Answer(dlg,
                    [&](CTemplateDialog& d) {
                        CInsertDateTimeDlg::s_fnNow = [later] { return later; };
                        QCOMPARE(d.Control<QListWidget>(1081)->currentRow(), 9);
                        ClickOk(d);
                    }),
             int(host::IDOK));
    QCOMPARE(dlg.m_strText, Strftime("%Y-%m-%d", later));
    QCOMPARE(dlg.m_strText, std::string("2024-03-06"));

    // The default is found whatever its case; an unknown one gives row 0.
    for (const auto& [format, row] : {std::pair<std::string, int>{"%y-%M-%D", 9}, {"%Q nonsense", 0}}) {
        CInsertDateTimeDlg::SetLastFormat(format);
        CInsertDateTimeDlg again(nullptr);
        Answer(again, [&, row = row](CTemplateDialog& d) {
            QCOMPARE(d.Control<QListWidget>(1081)->currentRow(), row);
        });
    }
    CInsertDateTimeDlg::SetLastFormat(std::string());
    CInsertDateTimeDlg::s_fnNow = prevNow;
}

void EditorDialogsTest::dateTimeTextIsCutOnWholeCharacters() {
    struct tm t;
    const time_t when = FixedTime();
    localtime_r(&when, &t);
    // A literal "%%#d" stays as it stands.
    QCOMPARE(CInsertDateTimeDlg::FormatTime("%%#d %#d", t), std::string("%#d 5"));
    QCOMPARE(CInsertDateTimeDlg::FormatTime("%#H:%M", t), std::string("9:07"));
    QCOMPARE(CInsertDateTimeDlg::FormatTime("", t), std::string());
    // 50 three-byte characters: 42 fit in 127 bytes, none is split.
    std::string many;
    for (int i = 0; i < 50; ++i) many += "年";
    const std::string cut = CInsertDateTimeDlg::FormatTime(many, t);
    QCOMPARE(cut.size(), size_t(126));
    QCOMPARE(ToQ(cut), QString(42, QChar(0x5E74)));
    // 127 single bytes fit exactly.
    const std::string exact(127, 'x');
    QCOMPARE(CInsertDateTimeDlg::FormatTime(exact + "%Y", t), exact);
}

CLIPVAULT_GUI_TEST_MAIN(EditorDialogsTest)
#include "EditorDialogsTest.moc"
