// The notebook's password dialogs and its properties dialog: what each
// checks, what it changes in the notebook, F1, and the templates of both
// languages.
#include "support/GuiTestSupport.h"

#include "document/ClipVaultDoc.h"
#include "frame/MainFrame.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/TemplateDialog.h"
#include "views/NotebookPropertiesDlg.h"
#include "views/PasswordDlgs.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QProcess>
#include <QTimer>
#include <functional>

namespace {

QStringList Args(const QStringList& rest) { return QStringList{QStringLiteral("clipvault")} + rest; }

// Answers the next dialog with `fn`, then lets dialogs show again.
class CAnswer {
public:
    explicit CAnswer(std::function<void(CTemplateDialog&)> fn) {
        m_prev = SetDialogHook([this, fn](CTemplateDialog& d) {
            ++m_nShown;
            fn(d);
        });
    }
    ~CAnswer() { SetDialogHook(m_prev); }
    int m_nShown = 0;

private:
    DialogHook m_prev;
};

void Fill(CTemplateDialog& d, const QString& current, const QString& fresh, const QString& confirm) {
    d.Control<QLineEdit>(CChangePasswordDlg::IDC_CURRENT)->setText(current);
    d.Control<QLineEdit>(CChangePasswordDlg::IDC_NEW)->setText(fresh);
    d.Control<QLineEdit>(CChangePasswordDlg::IDC_CONFIRM)->setText(confirm);
}

void ClickOk(CTemplateDialog& d) { d.Control<QPushButton>(host::IDOK)->click(); }

int Count(const CGuiTestFixture& fx, unsigned nID) {
    int n = 0;
    for (const CShownMessage& m : fx.m_messages) n += m.m_nID == nID;
    return n;
}

// A notebook that has `password` and is open for editing.
std::unique_ptr<CClipVaultDoc> UnlockedNotebook(const std::string& password) {
    auto doc = std::make_unique<CClipVaultDoc>();
    doc->OnNewDocument();
    doc->SetPassword(password);
    doc->Unlock(password);
    return doc;
}

}  // namespace

class NotebookDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void threeWrongCurrentPasswordsGiveUpWithTheOldOneInForce();
    void emptyCurrentAndMismatchedConfirmationKeepTheDialogOpen();
    void passwordsAreAtMostTwentyCharacters();
    void notebookWithoutPasswordNeedsNoCurrentOne();
    void emptyNewPasswordRemovesThePassword();
    void unlockPromptGivesUpAfterThreeFailures();
    void unlockPromptUnlocksWithTheRightPassword();
    void propertiesOfANeverSavedNotebook();
    void propertiesStoreBothTextsAndShowTheFile();
    void propertiesOfALockedNotebookChangeNothing();
    void f1OpensTheHelpAtTheDialogsContext();
    void bothLanguagesCarryTheThreeTemplates();
    void pictureOfThePasswordDialog();

private:
    std::unique_ptr<CGuiTestFixture> m_fx;
    std::unique_ptr<CClipVaultApp> m_app;
};

void NotebookDialogsTest::init() {
    m_fx = std::make_unique<CGuiTestFixture>();
    m_app = m_fx->MakeApp();
    QVERIFY(m_app->InitInstance(Args({QStringLiteral("--automation")})));
    m_fx->Clear();
}

void NotebookDialogsTest::cleanup() {
    if (m_app) m_app->ExitInstance();
    m_app.reset();
    m_fx.reset();
}

void NotebookDialogsTest::threeWrongCurrentPasswordsGiveUpWithTheOldOneInForce() {
    auto doc = UnlockedNotebook("secret");
    CAnswer answer([&](CTemplateDialog& d) {
        QVERIFY(!g_bAutoHideAllowed);
        QVERIFY(d.Item(CChangePasswordDlg::IDC_CURRENT)->isEnabled());
        auto& dlg = static_cast<CChangePasswordDlg&>(d);
        for (int i = 1; i <= 2; ++i) {
            Fill(d, QStringLiteral("guess%1").arg(i), QStringLiteral("new"), QStringLiteral("new"));
            ClickOk(d);
            QCOMPARE(d.Result(), -1);
            QCOMPARE(dlg.Failures(), i);
            QCOMPARE(Count(*m_fx, ids::IDS_PASSWORD_WRONG), i);
        }
        // The third wrong one ends it, even with new and confirmation apart.
        Fill(d, QStringLiteral("guess3"), QStringLiteral("new"), QStringLiteral("other"));
        ClickOk(d);
        QCOMPARE(d.Result(), int(host::IDCANCEL));
    });
    QVERIFY(!ChangeNotebookPassword(*doc, nullptr));
    QCOMPARE(answer.m_nShown, 1);
    QCOMPARE(Count(*m_fx, ids::IDS_PASSWORD_WRONG), 3);
    QCOMPARE(Count(*m_fx, 33029u), 0);
    QVERIFY(doc->CheckPassword("secret"));
    QVERIFY(!doc->IsLocked());
}

void NotebookDialogsTest::emptyCurrentAndMismatchedConfirmationKeepTheDialogOpen() {
    auto doc = UnlockedNotebook("secret");
    CAnswer answer([&](CTemplateDialog& d) {
        auto& dlg = static_cast<CChangePasswordDlg&>(d);
        Fill(d, QString(), QStringLiteral("abc"), QStringLiteral("abc"));
        ClickOk(d);
        QCOMPARE(d.Result(), -1);
        QCOMPARE(Count(*m_fx, ids::IDS_PASSWORD_EMPTY), 1);
        QCOMPARE(dlg.Failures(), 0);
        // Byte for byte: a different letter case is a different password.
        Fill(d, QStringLiteral("secret"), QStringLiteral("abc"), QStringLiteral("ABC"));
        ClickOk(d);
        QCOMPARE(d.Result(), -1);
        QCOMPARE(Count(*m_fx, 33029u), 1);
        QVERIFY(doc->CheckPassword("secret"));
        Fill(d, QStringLiteral("secret"), QString::fromUtf8("密码abc"), QString::fromUtf8("密码abc"));
        ClickOk(d);
        QCOMPARE(d.Result(), int(host::IDOK));
    });
    QVERIFY(ChangeNotebookPassword(*doc, nullptr));
    QVERIFY(doc->CheckPassword("密码abc"));
    QVERIFY(!doc->CheckPassword("secret"));
    // A new password locks the notebook, as loading it would.
    QVERIFY(doc->IsLocked());
    QCOMPARE(Count(*m_fx, ids::IDS_PASSWORD_WRONG), 0);
}

void NotebookDialogsTest::passwordsAreAtMostTwentyCharacters() {
    auto doc = UnlockedNotebook("secret");
    const QString twenty = QStringLiteral("abcdefghijklmnopqrst");
    CAnswer answer([&](CTemplateDialog& d) {
        for (unsigned nID : {1040u, 1015u, 1016u}) {
            auto* e = d.Control<QLineEdit>(nID);
            QCOMPARE(e->maxLength(), 20);
            e->clear();
            QTest::keyClicks(e, twenty + QStringLiteral("uv"));
            QCOMPARE(e->text(), twenty);
        }
        // Text that gets past the edit's own limit is still refused.
        auto* e = d.Control<QLineEdit>(CChangePasswordDlg::IDC_NEW);
        e->setMaxLength(100);
        e->setText(twenty + QStringLiteral("u"));
        d.Control<QLineEdit>(CChangePasswordDlg::IDC_CURRENT)->setText(QStringLiteral("secret"));
        ClickOk(d);
        QCOMPARE(d.Result(), -1);
        QVERIFY(m_fx->Shown(kIdsParseStringSize));
        Fill(d, QStringLiteral("secret"), twenty, twenty);
        ClickOk(d);
        QCOMPARE(d.Result(), int(host::IDOK));
    });
    QVERIFY(ChangeNotebookPassword(*doc, nullptr));
    QVERIFY(doc->CheckPassword(twenty.toStdString()));
}

void NotebookDialogsTest::notebookWithoutPasswordNeedsNoCurrentOne() {
    CClipVaultDoc doc;
    doc.OnNewDocument();
    CAnswer answer([&](CTemplateDialog& d) {
        QVERIFY(!static_cast<CChangePasswordDlg&>(d).HadPassword());
        QVERIFY(!d.Item(CChangePasswordDlg::IDC_CURRENT)->isEnabled());
        Fill(d, QString(), QStringLiteral("first"), QStringLiteral("first"));
        ClickOk(d);
        QCOMPARE(d.Result(), int(host::IDOK));
    });
    QVERIFY(ChangeNotebookPassword(doc, nullptr));
    QVERIFY(m_fx->m_messages.empty());
    QVERIFY(doc.m_password.HasPassword());
    QVERIFY(doc.CheckPassword("first"));
    QVERIFY(doc.IsLocked());
}

void NotebookDialogsTest::emptyNewPasswordRemovesThePassword() {
    auto doc = UnlockedNotebook("secret");
    {
        CAnswer answer([&](CTemplateDialog& d) {
            Fill(d, QStringLiteral("secret"), QString(), QString());
            ClickOk(d);
        });
        QVERIFY(ChangeNotebookPassword(*doc, nullptr));
    }
    QVERIFY(!doc->m_password.HasPassword());
    QVERIFY(!doc->IsLocked());
    QVERIFY(m_fx->m_messages.empty());

    // Without a password both empty is no change, and still OK.
    CAnswer again([&](CTemplateDialog& d) { ClickOk(d); });
    QVERIFY(ChangeNotebookPassword(*doc, nullptr));
    QVERIFY(!doc->m_password.HasPassword());
}

void NotebookDialogsTest::unlockPromptGivesUpAfterThreeFailures() {
    CClipVaultDoc doc;
    doc.OnNewDocument();
    doc.SetPassword("secret");
    QVERIFY(doc.IsLocked());
    CAnswer answer([&](CTemplateDialog& d) {
        QCOMPARE(d.TemplateID(), 142u);
        QVERIFY(!g_bAutoHideAllowed);
        auto* e = d.Control<QLineEdit>(CUnlockDlg::IDC_PASSWORD);
        QCOMPARE(e->echoMode(), QLineEdit::Password);
        ClickOk(d);
        QCOMPARE(d.Result(), -1);
        QCOMPARE(Count(*m_fx, ids::IDS_PASSWORD_EMPTY), 1);
        QCOMPARE(static_cast<CUnlockDlg&>(d).Failures(), 0);
        for (int i = 1; i <= 3; ++i) {
            QCOMPARE(d.Result(), -1);
            e->setText(QStringLiteral("wrong"));
            ClickOk(d);
        }
        QCOMPARE(d.Result(), int(host::IDCANCEL));
    });
    QVERIFY(!UnlockNotebook(doc, nullptr));
    QCOMPARE(Count(*m_fx, ids::IDS_PASSWORD_WRONG), 3);
    QVERIFY(doc.IsLocked());
}

void NotebookDialogsTest::unlockPromptUnlocksWithTheRightPassword() {
    CClipVaultDoc doc;
    doc.OnNewDocument();
    // Longer than the change dialog allows: an old notebook may hold one.
    const std::string longer(30, 'k');
    doc.SetPassword(longer);
    CAnswer answer([&](CTemplateDialog& d) {
        auto* e = d.Control<QLineEdit>(CUnlockDlg::IDC_PASSWORD);
        e->setText(QStringLiteral("wrong"));
        ClickOk(d);
        QCOMPARE(d.Result(), -1);
        e->setText(QString::fromStdString(longer));
        ClickOk(d);
        QCOMPARE(d.Result(), int(host::IDOK));
    });
    QVERIFY(UnlockNotebook(doc, nullptr));
    QVERIFY(!doc.IsLocked());
    QCOMPARE(answer.m_nShown, 1);
    // An unlocked notebook is not asked again.
    QVERIFY(UnlockNotebook(doc, nullptr));
    QCOMPARE(answer.m_nShown, 1);
}

void NotebookDialogsTest::propertiesOfANeverSavedNotebook() {
    CClipVaultDoc doc;
    doc.OnNewDocument();
    CAnswer answer([&](CTemplateDialog& d) {
        QVERIFY(!g_bAutoHideAllowed);
        QVERIFY(d.Item(CNotebookPropertiesDlg::IDC_SIZE)->isHidden());
        QVERIFY(d.Item(CNotebookPropertiesDlg::IDC_CREATED)->isHidden());
        QVERIFY(!d.Item(CNotebookPropertiesDlg::IDC_MODIFIED)->isHidden());
        QCOMPARE(d.Control<QLabel>(CNotebookPropertiesDlg::IDC_MODIFIED)->text(), m_app->LoadString(33075));
        QVERIFY(!m_app->LoadString(33075).isEmpty());
        d.Control<QLineEdit>(CNotebookPropertiesDlg::IDC_TEXT1)->setText(QStringLiteral("Trips"));
        d.Control<QPushButton>(host::IDCANCEL)->click();
    });
    QVERIFY(!ShowNotebookProperties(doc, nullptr));
    QVERIFY(doc.m_strReserved1.empty());
    QVERIFY(!doc.IsModified());
}

void NotebookDialogsTest::propertiesStoreBothTextsAndShowTheFile() {
    CClipVaultDoc doc;
    doc.OnNewDocument();
    doc.m_strReserved1 = "Old subject";
    doc.m_strReserved2 = "Old comment";
    const QString path = QDir(m_fx->WorkFolder()).filePath(QStringLiteral("Trips.vlt"));
    QVERIFY(doc.OnSaveDocument(path.toStdString()));
    doc.SetPathName(path.toStdString());
    doc.SetModifiedFlag(false);
    const qint64 size = QFileInfo(path).size();
    QVERIFY(size > 0);
    CAnswer answer([&](CTemplateDialog& d) {
        auto* e1 = d.Control<QLineEdit>(CNotebookPropertiesDlg::IDC_TEXT1);
        auto* e2 = d.Control<QLineEdit>(CNotebookPropertiesDlg::IDC_TEXT2);
        QCOMPARE(e1->text(), QStringLiteral("Old subject"));
        QCOMPARE(e2->text(), QStringLiteral("Old comment"));
        QVERIFY(e1->isEnabled() && e2->isEnabled() && !e1->isReadOnly() && !e2->isReadOnly());
        QVERIFY(!d.Control<QLabel>(CNotebookPropertiesDlg::IDC_READ_ONLY)->isVisibleTo(&d));
        QCOMPARE(d.Control<QLabel>(CNotebookPropertiesDlg::IDC_SIZE)->text(),
                 QStringLiteral("Size: %1 KB").arg(size / 1000));
        const QString year = QString::number(QDate::currentDate().year());
        for (unsigned nID : {1038u, 1039u}) {
            auto* l = d.Control<QLabel>(nID);
            QVERIFY(!l->isHidden());
            QVERIFY2(l->text().contains(year), qPrintable(l->text()));
        }
        QVERIFY(d.Control<QLabel>(1039)->text().startsWith(QStringLiteral("Created: ")));
        QVERIFY(d.Control<QLabel>(1038)->text().startsWith(QStringLiteral("Modified: ")));
        e1->setText(QString::fromUtf8("旅行"));
        e2->clear();
        ClickOk(d);
        QCOMPARE(d.Result(), int(host::IDOK));
    });
    QVERIFY(ShowNotebookProperties(doc, nullptr));
    QCOMPARE(doc.m_strReserved1, std::string("旅行"));
    QCOMPARE(doc.m_strReserved2, std::string());
    QVERIFY(doc.IsModified());

    // The texts travel with the file.
    QVERIFY(doc.OnSaveDocument(path.toStdString()));
    CClipVaultDoc reread;
    QVERIFY(reread.OnOpenDocument(path.toStdString()));
    QCOMPARE(reread.m_strReserved1, std::string("旅行"));

    // A file that went away leaves the three facts empty.
    QVERIFY(QFile::remove(path));
    CAnswer gone([&](CTemplateDialog& d) {
        for (unsigned nID : {1037u, 1038u, 1039u}) QVERIFY(d.Control<QLabel>(nID)->text().isEmpty());
        d.Control<QPushButton>(host::IDCANCEL)->click();
    });
    QVERIFY(!ShowNotebookProperties(doc, nullptr));
    QCOMPARE(gone.m_nShown, 1);
}

void NotebookDialogsTest::propertiesOfALockedNotebookChangeNothing() {
    CClipVaultDoc doc;
    doc.OnNewDocument();
    doc.m_strReserved1 = "Subject";
    doc.SetPassword("secret");
    CAnswer answer([&](CTemplateDialog& d) {
        // Readable and copyable, not changeable, and the dialog says why.
        QVERIFY(d.Control<QLineEdit>(CNotebookPropertiesDlg::IDC_TEXT1)->isReadOnly());
        QVERIFY(d.Control<QLineEdit>(CNotebookPropertiesDlg::IDC_TEXT2)->isReadOnly());
        QCOMPARE(d.Control<QLineEdit>(CNotebookPropertiesDlg::IDC_TEXT1)->text(), QStringLiteral("Subject"));
        auto* why = d.Control<QLabel>(CNotebookPropertiesDlg::IDC_READ_ONLY);
        QVERIFY(why && why->isVisibleTo(&d));
        QCOMPARE(why->text(), LoadQString(ids::IDS_NOTEBOOK_LOCKED));
        QVERIFY(why->text().contains(QStringLiteral("Unlock notebook")));
        ClickOk(d);
    });
    QVERIFY(ShowNotebookProperties(doc, nullptr));
    QCOMPARE(doc.m_strReserved1, std::string("Subject"));
    QVERIFY(!doc.IsModified());
}

void NotebookDialogsTest::f1OpensTheHelpAtTheDialogsContext() {
    std::vector<int> contexts;
    const HelpHandler appHandler = SetHelpHandler([&](int n) { contexts.push_back(n); });
    // The program hands its help in at start-up.
    QVERIFY(bool(appHandler));

    CClipVaultDoc doc;
    doc.OnNewDocument();
    // Shown for real: F1 typed into an edit reaches the dialog.
    auto pressF1ThenCancel = [&](unsigned nEditID) {
        QTimer::singleShot(0, [&contexts, nEditID] {
            CTemplateDialog* d = nullptr;
            QTest::qWaitFor([&] { return (d = qobject_cast<CTemplateDialog*>(QApplication::activeModalWidget())); },
                            10000);
            if (!d) return;
            // The edit passes the key on unhandled; the dialog takes it.
            QTest::keyClick(d->Item(nEditID), Qt::Key_F1);
            const size_t nBefore = contexts.size();
            // Other keys and F1 with a modifier stay with the controls.
            QTest::keyClick(d->Item(nEditID), Qt::Key_F1, Qt::ShiftModifier);
            QCOMPARE(contexts.size(), nBefore);
            d->Control<QPushButton>(host::IDCANCEL)->click();
        });
    };
    pressF1ThenCancel(CChangePasswordDlg::IDC_NEW);
    QVERIFY(!ChangeNotebookPassword(doc, nullptr));
    pressF1ThenCancel(CNotebookPropertiesDlg::IDC_TEXT2);
    QVERIFY(!ShowNotebookProperties(doc, nullptr));
    SetHelpHandler(appHandler);
    QCOMPARE(contexts, (std::vector<int>{4008, 4007}));
}

void NotebookDialogsTest::bothLanguagesCarryTheThreeTemplates() {
    cleanup();
    struct CCase {
        QLocale locale;
        QString titles[3];
        QString ok;
    };
    const CCase cases[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates),
         {QStringLiteral("Notebook Password"), QStringLiteral("Unlock Notebook"), QStringLiteral("Notebook Properties")},
         QStringLiteral("OK")},
        {QLocale(QLocale::Chinese, QLocale::China),
         {QString::fromUtf8("笔记本密码"), QString::fromUtf8("解锁笔记本"), QString::fromUtf8("笔记本属性")},
         QString::fromUtf8("确定")},
    };
    for (const CCase& c : cases) {
        m_fx = std::make_unique<CGuiTestFixture>();
        m_app = m_fx->MakeApp(c.locale);
        QVERIFY(m_app->InitInstance(Args({QStringLiteral("--automation")})));
        CDocPassword password;
        CClipVaultDoc doc;
        doc.OnNewDocument();
        CChangePasswordDlg change(password, nullptr);
        CUnlockDlg unlock(password, nullptr);
        CNotebookPropertiesDlg props(doc, nullptr);
        CTemplateDialog* dialogs[3] = {&change, &unlock, &props};
        const std::vector<unsigned> edits[3] = {{1040, 1015, 1016}, {1040}, {1017, 1018}};
        for (int i = 0; i < 3; ++i) {
            CTemplateDialog& d = *dialogs[i];
            QVERIFY(d.IsCreated());
            QCOMPARE(d.windowTitle(), c.titles[i]);
            QCOMPARE(d.Control<QPushButton>(host::IDOK)->text(), c.ok);
            QVERIFY(d.Control<QPushButton>(host::IDCANCEL));
            for (unsigned nID : edits[i]) {
                auto* e = d.Control<QLineEdit>(nID);
                QVERIFY2(e, qPrintable(QStringLiteral("%1/%2").arg(d.TemplateID()).arg(nID)));
                QVERIFY(!e->accessibleName().isEmpty());
                QCOMPARE(e->echoMode(), i < 2 ? QLineEdit::Password : QLineEdit::Normal);
            }
        }
        for (unsigned nID : {1037u, 1038u, 1039u}) QVERIFY(props.Control<QLabel>(nID));
        cleanup();
    }
}

// For looking at the layout: CLIPVAULT_DIALOG_PICTURES=<folder>, run under
// scripts/with_wm.sh, leaves 141-Eng.png and 141-Chn.png there.
void NotebookDialogsTest::pictureOfThePasswordDialog() {
    const QString folder = qEnvironmentVariable("CLIPVAULT_DIALOG_PICTURES");
    if (folder.isEmpty()) QSKIP("no picture folder asked for");
    cleanup();
    const std::pair<QLocale, QString> langs[] = {{QLocale(QLocale::English, QLocale::UnitedStates), "Eng"},
                                                 {QLocale(QLocale::Chinese, QLocale::China), "Chn"}};
    for (const auto& [locale, name] : langs) {
        m_fx = std::make_unique<CGuiTestFixture>();
        m_app = m_fx->MakeApp(locale);
        QVERIFY(m_app->InitInstance(Args({QStringLiteral("--automation")})));
        auto doc = UnlockedNotebook("secret");
        const QString file = QDir(folder).filePath(QStringLiteral("141-%1.png").arg(name));
        QTimer::singleShot(0, [file] {
            CTemplateDialog* d = nullptr;
            QTest::qWaitFor([&] { return (d = qobject_cast<CTemplateDialog*>(QApplication::activeModalWidget())); },
                            10000);
            if (!d) return;
            QTest::qWaitForWindowExposed(d);
            d->raise();
            d->activateWindow();
            QTest::keyClicks(d->Item(CChangePasswordDlg::IDC_CURRENT), QStringLiteral("secret"));
            QTest::qWait(500);
            QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), file});
            d->Control<QPushButton>(host::IDCANCEL)->click();
        });
        QVERIFY(!ChangeNotebookPassword(*doc, m_app->MainFrame()));
        QVERIFY(QFile::exists(file));
        cleanup();
    }
}

CLIPVAULT_GUI_TEST_MAIN(NotebookDialogsTest)
#include "NotebookDialogsTest.moc"
