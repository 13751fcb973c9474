// An encrypted notebook in the window: put under a passphrase from the File
// menu, opened again with it, shown in the browser and the editor without
// one plain byte of its pages reaching the disk, and made plain again.
#include "support/GuiTestSupport.h"

#include "app/DocTemplate.h"
#include "capture/gui/NoteBrowserView.h"
#include "document/ClipVaultDoc.h"
#include "document/NotebookCipher.h"
#include "document/Records.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "platform/CommandIds.h"
#include "platform/StringIds.h"
#include "views/NoteEditView.h"
#include "views/NoteIndexer.h"
#include "views/PassphraseDlgs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>

#include <deque>
#include <functional>
#include <mutex>

namespace {

const QByteArray kMarker = "quokkaMarkerZebra4711";

// The program's dialogs, with keys as cheap as libsodium allows.
class CCheapKeys : public CPassphraseDialogs {
public:
    vault::KdfLimits NewKeyLimits() const override { return vault::MinimalLimits(); }
};

// Plays the user at the passphrase dialogs: each step acts on the dialog up
// at the time (a refused step leaves the same dialog for the next one), and
// what each dialog said is kept.
class CPassphraseUser : public QObject {
public:
    using Step = std::function<void(QDialog*)>;
    CPassphraseUser() {
        connect(&m_poll, &QTimer::timeout, this, &CPassphraseUser::Look);
        m_poll.start(20);
    }
    void Then(Step step) { m_steps.push_back(std::move(step)); }
    bool Done() const { return m_steps.empty(); }
    QStringList m_texts;  // every label of every dialog acted on
    QStringList m_unnamed;  // controls without an accessible name

    static void Type(QDialog* d, const char* pszName, const QString& strText) {
        if (auto* e = d->findChild<QLineEdit*>(QLatin1String(pszName))) e->setText(strText);
        else QFAIL(pszName);
    }
    static Step NewPassphrase(const QString& a, const QString& b) {
        return [a, b](QDialog* d) {
            QCOMPARE(d->findChild<QLineEdit*>(QStringLiteral("newPassphrase"))->echoMode(), QLineEdit::Password);
            QCOMPARE(d->findChild<QLineEdit*>(QStringLiteral("confirmPassphrase"))->echoMode(), QLineEdit::Password);
            Type(d, "newPassphrase", a);
            Type(d, "confirmPassphrase", b);
            d->accept();
        };
    }
    static Step Passphrase(const QString& s) {
        return [s](QDialog* d) {
            QCOMPARE(d->findChild<QLineEdit*>(QStringLiteral("passphrase"))->echoMode(), QLineEdit::Password);
            Type(d, "passphrase", s);
            d->accept();
        };
    }
    static Step Cancel() {
        return [](QDialog* d) { d->reject(); };
    }

private:
    void Look() {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!d || m_steps.empty() || !d->isVisible()) return;
        if (!qobject_cast<CNewPassphraseDlg*>(d) && !qobject_cast<CPassphrasePromptDlg*>(d)) return;
        for (QLabel* label : d->findChildren<QLabel*>()) m_texts << label->text();
        for (QWidget* w : d->findChildren<QWidget*>())
            if ((qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w)) && w->accessibleName().isEmpty())
                m_unnamed << w->metaObject()->className();
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        step(d);
    }
    std::deque<Step> m_steps;
    QTimer m_poll;
};

// Every regular file below `strFolder` (links not followed) that holds the
// marker.
QStringList FilesHoldingMarker(const QString& strFolder) {
    QStringList found;
    if (strFolder.isEmpty()) return found;
    QDirIterator it(strFolder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) continue;
        if (f.readAll().contains(kMarker)) found << path;
    }
    return found;
}

QString PageText(QWebEngineView* pView) {
    QString text;
    // The caller checks the text; a page that never shows it is reported there.
    (void)QTest::qWaitFor([&] {
        text = RunPageScript(pView, QStringLiteral("document.body ? document.body.innerText : ''")).toString();
        return text.contains(QLatin1String(kMarker));
    }, 15000);
    return text;
}

bool Enabled(CMainFrame* frame, unsigned nID) {
    CCmdUI ui(nID);
    return frame->OnCmdMsg(nID, &ui) && ui.m_bEnabled;
}

CNote* MarkerNote(CClipVaultDoc& doc) { return doc.m_rootCata.GetNote("Marker"); }

}  // namespace

class EncryptedNotebookWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void encryptReopenShowAndRemoveLeavesNothingPlain();

private:
    QTemporaryDir m_home;
};

void EncryptedNotebookWindowTest::initTestCase() {
    // A home and a temporary folder of the test's own, before any engine
    // profile exists: whatever the program or the engine keeps lands here.
    QVERIFY(m_home.isValid());
    for (const char* name : {"home", "tmp", "cache", "data", "state"}) QVERIFY(QDir(m_home.path()).mkpath(QLatin1String(name)));
    qputenv("HOME", (m_home.path() + QStringLiteral("/home")).toLocal8Bit());
    qputenv("TMPDIR", (m_home.path() + QStringLiteral("/tmp")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (m_home.path() + QStringLiteral("/cache")).toLocal8Bit());
    qputenv("XDG_STATE_HOME", (m_home.path() + QStringLiteral("/state")).toLocal8Bit());
}

void EncryptedNotebookWindowTest::encryptReopenShowAndRemoveLeavesNothingPlain() {
    CGuiTestFixture fx;
    CAppEnvironment env = fx.Environment();
    env.m_pPassphraseQuestions = std::make_shared<CCheapKeys>();
    auto app = std::make_unique<CClipVaultApp>(env);
    app->m_nSplashMinMs = 0;
    app->m_fnShowTip = nullptr;
    app->m_fnStartDialog = [] {};
    QVERIFY(app->InitInstance({QStringLiteral("clipvault")}));
    CMainFrame* frame = app->MainFrame();
    frame->show();
    const QString tempRoot = app->TempRoot();
    QVERIFY(!tempRoot.isEmpty());
    QCOMPARE(QFileInfo(tempRoot).permissions() & 0x0077, QFileDevice::Permissions());

    // A plain notebook with the marker page, saved, indexed and shown: its
    // text is on disk in the working folder and the index.
    frame->ExecuteCommand(cmd::kCmdNew);
    CChildFrame* child = frame->ActiveChildFrame();
    QVERIFY(child);
    CClipVaultDoc* doc = &child->Document();
    CNote* note = doc->m_rootCata.AddNewNote("Marker");
    note->m_strExt = "htm";
    note->m_nContentType = kContentHeld;
    const QByteArray png = PngPicture(Qt::red, 8, 6);
    CNoteAttatch* picture = doc->MakeAttachment("vltpic.png", "http://127.0.0.1:9/pic.png",
                                                std::vector<uint8_t>(png.begin(), png.end()));
    QVERIFY(picture);
    const std::string pictureName = picture->m_strName;
    const QByteArray page = "<html><body><p>" + kMarker + "</p><img id=\"pic\" src=\"" +
                            QByteArray::fromStdString(pictureName) + "\"></body></html>";
    note->SetContent(std::vector<uint8_t>(page.begin(), page.end()));
    note->m_attachNames = {pictureName};
    const QString path = fx.WorkFolder() + QStringLiteral("/secret.vlt");
    QVERIFY(doc->OnSaveDocument(path.toStdString()));
    doc->SetPathName(path.toStdString());
    child->DocumentSaved();
    QTRY_COMPARE_WITH_TIMEOUT(child->Indexer()->GetState(), CNoteIndexer::kReady, 20000);
    const QString indexFile = QString::fromStdString(child->Indexer()->IndexFile());
    QVERIFY(QFileInfo::exists(indexFile));
    child->ShowNote(note, false, 0);
    QVERIFY(PageText(child->BrowserView()).contains(QLatin1String(kMarker)));
    QVERIFY(!FilesHoldingMarker(tempRoot).isEmpty());  // the search below finds what is there
    QVERIFY(Enabled(frame, cmd::kCmdEncryptNotebook));
    QVERIFY(!Enabled(frame, cmd::kCmdChangePassphrase));
    QVERIFY(!Enabled(frame, cmd::kCmdRemoveEncryption));

    // Encrypted from the menu: two passphrases that differ are refused and
    // the dialog stays; an empty one too.
    {
        CPassphraseUser user;
        user.Then(CPassphraseUser::NewPassphrase(QStringLiteral("right horse"), QStringLiteral("right hors")));
        user.Then(CPassphraseUser::NewPassphrase(QString(), QString()));
        user.Then(CPassphraseUser::NewPassphrase(QStringLiteral("right horse"), QStringLiteral("right horse")));
        fx.Clear();
        frame->ExecuteCommand(cmd::kCmdEncryptNotebook);
        QVERIFY(user.Done());
        QVERIFY(fx.Shown(ids::IDS_CRYPT_DIFFER));
        QVERIFY(fx.Shown(ids::IDS_CRYPT_EMPTY));
        QVERIFY(fx.Shown(ids::IDS_CRYPT_DONE));
        QVERIFY(user.m_texts.join('\n').contains(QStringLiteral("recover a forgotten passphrase")));
        QCOMPARE(user.m_unnamed, QStringList());
    }
    QVERIFY(doc->IsEncrypted());
    QVERIFY(vault::IsEncryptedFile(path.toStdString()));
    QVERIFY(!Enabled(frame, cmd::kCmdEncryptNotebook));
    QVERIFY(Enabled(frame, cmd::kCmdChangePassphrase));
    // The plain copies went: the index, the working copies; the page on
    // show came back from memory.
    QVERIFY(!QFileInfo::exists(indexFile));
    QCOMPARE(FilesHoldingMarker(tempRoot), QStringList());
    QCOMPARE(FilesHoldingMarker(fx.WorkFolder()), QStringList());
    QVERIFY(PageText(child->BrowserView()).contains(QLatin1String(kMarker)));
    child->close();
    QTRY_VERIFY(frame->ChildFrames().isEmpty());

    // Cancelled: nothing opens, nothing is said. Three wrong: the refusal,
    // and no window.
    {
        CPassphraseUser user;
        user.Then(CPassphraseUser::Cancel());
        fx.Clear();
        QVERIFY(!app->OpenDocumentFile(path));
        QVERIFY(user.Done());
        QVERIFY(fx.m_messages.empty());
        for (int i = 0; i < CClipVaultDoc::kPassphraseTries; ++i) user.Then(CPassphraseUser::Passphrase(QStringLiteral("wrong")));
        QVERIFY(!app->OpenDocumentFile(path));
        QVERIFY(user.Done());
        QVERIFY(fx.Shown(ids::IDS_SEALED_NOT_OPENED));
        QVERIFY(frame->ChildFrames().isEmpty());
        QVERIFY(app->DocTemplate()->Documents().empty());
    }

    // Opened again: wrong once (the dialog says so), then right.
    {
        CPassphraseUser user;
        user.Then(CPassphraseUser::Passphrase(QStringLiteral("wrong")));
        user.Then(CPassphraseUser::Passphrase(QStringLiteral("right horse")));
        fx.Clear();
        doc = app->OpenDocumentFile(path);
        QVERIFY(doc);
        QVERIFY(user.Done());
        QVERIFY(fx.m_messages.empty());
        QVERIFY2(user.m_texts.join('\n').contains(QStringLiteral("Tries left: 2")), qPrintable(user.m_texts.join('|')));
        QVERIFY(user.m_texts.join('\n').contains(QStringLiteral("Passphrase for “secret.vlt”:")));
        QCOMPARE(user.m_unnamed, QStringList());
    }
    QVERIFY(doc->IsEncrypted());
    child = frame->ActiveChildFrame();
    QVERIFY(child && &child->Document() == doc);
    note = MarkerNote(*doc);
    QVERIFY(note);
    const QString workFolder = QString::fromStdString(doc->GetWorkFolder(true));
    QVERIFY(workFolder.startsWith(tempRoot));
    QCOMPARE(QFileInfo(workFolder).permissions() & 0x0077, QFileDevice::Permissions());

    // Shown in the browser, then in the editor: from memory, its picture
    // too.
    child->ShowNote(note, false, 0);
    QVERIFY(child->BrowserView());
    QVERIFY(PageText(child->BrowserView()).contains(QLatin1String(kMarker)));
    QTRY_COMPARE(RunPageScript(child->BrowserView(), QStringLiteral("document.getElementById('pic').naturalWidth")).toInt(), 8);
    child->ShowNote(note, false, 1);
    QVERIFY(child->EditorView());
    auto* editor = dynamic_cast<CNoteEditView*>(child->EditorView());
    QVERIFY(editor && editor->IsPageLoaded());
    auto* editorPage = child->EditorView()->Widget()->findChild<QWebEngineView*>();
    QVERIFY(editorPage);
    QVERIFY(PageText(editorPage).contains(QLatin1String(kMarker)));
    QTest::qWait(300);
    const QString tmp = QString::fromLocal8Bit(qgetenv("TMPDIR"));
    for (const QString& folder : {tempRoot, tmp, fx.WorkFolder(), QString::fromLocal8Bit(qgetenv("HOME")),
                                  m_home.path(), fx.ConfigFolder(), fx.ProgramFolder()})
        QVERIFY2(FilesHoldingMarker(folder).isEmpty(), qPrintable(FilesHoldingMarker(folder).join(' ')));
    // The search index is never opened for it.
    QCOMPARE(child->Indexer()->GetState(), CNoteIndexer::kOff);
    // An edit goes back into the notebook as the editor is left, through
    // no file that stays.
    QTRY_COMPARE(RunPageScript(editorPage, QStringLiteral("document.getElementById('pic').naturalWidth")).toInt(), 8);
    RunPageScript(editorPage, QStringLiteral("document.body.insertAdjacentHTML('beforeend', '<p>%1 edited</p>'); 1")
                                  .arg(QLatin1String(kMarker)));
    QTRY_VERIFY(editor->Engine()->IsChanged());
    // A picture inserted from disk shows at once, served with the page.
    const QString inserted = m_home.filePath(QStringLiteral("inserted.png"));
    {
        QFile f(inserted);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(PngPicture(Qt::blue, 5, 4));
    }
    RunPageScript(editorPage, QStringLiteral("var r=document.createRange(); r.selectNodeContents(document.body);"
                                             "r.collapse(false); getSelection().removeAllRanges();"
                                             "getSelection().addRange(r); 1"));
    QCOMPARE(editor->Engine()->Exec(edit::kInsertImage, edit::kDontPromptUser, inserted), edit::kOk);
    QTRY_VERIFY(RunPageScript(editorPage, QStringLiteral("Array.from(document.images).map(i => i.naturalWidth).join()"))
                    .toString() == QStringLiteral("8,5"));
    child->ShowNote(note, false, 0);
    {
        std::lock_guard<std::mutex> guard(note->m_dataLock);
        const std::vector<uint8_t>& now = note->Content();
        const QByteArray bytes(reinterpret_cast<const char*>(now.data()), qsizetype(now.size()));
        QVERIFY(bytes.contains(kMarker + " edited"));
        QVERIFY2(bytes.contains(QByteArray::fromStdString(pictureName)), bytes.constData());
    }
    QCOMPARE(note->m_attachNames.size(), 2u);
    QCOMPARE(note->m_attachNames.front(), pictureName);
    QVERIFY(doc->FindAttachment(pictureName));
    QVERIFY(doc->IsModified());
    QCOMPARE(FilesHoldingMarker(tempRoot), QStringList());
    QVERIFY(doc->OnSaveDocument(path.toStdString()));
    QCOMPARE(FilesHoldingMarker(fx.WorkFolder()), QStringList());

    // A new passphrase, and then the encryption taken off, which asks for
    // the current one.
    {
        CPassphraseUser user;
        user.Then(CPassphraseUser::NewPassphrase(QStringLiteral("second"), QStringLiteral("second")));
        frame->ExecuteCommand(cmd::kCmdChangePassphrase);
        QVERIFY(user.Done());
        user.Then(CPassphraseUser::Passphrase(QStringLiteral("right horse")));
        fx.Clear();
        frame->ExecuteCommand(cmd::kCmdRemoveEncryption);
        QVERIFY(user.Done());
        QVERIFY(fx.Shown(ids::IDS_CRYPT_REMOVE_WRONG));
        QVERIFY(doc->IsEncrypted());
        QVERIFY(vault::IsEncryptedFile(path.toStdString()));
        user.Then(CPassphraseUser::Passphrase(QStringLiteral("second")));
        frame->ExecuteCommand(cmd::kCmdRemoveEncryption);
        QVERIFY(user.Done());
        QVERIFY(fx.Shown(ids::IDS_CRYPT_REMOVED));
    }
    QVERIFY(!doc->IsEncrypted());
    QVERIFY(!vault::IsEncryptedFile(path.toStdString()));
    QCOMPARE(FilesHoldingMarker(fx.WorkFolder()), QStringList{path});
    QVERIFY(Enabled(frame, cmd::kCmdEncryptNotebook));
    QVERIFY(!Enabled(frame, cmd::kCmdRemoveEncryption));

    // Encrypted once more and closed: its private folder goes with it.
    {
        CPassphraseUser user;
        user.Then(CPassphraseUser::NewPassphrase(QStringLiteral("third"), QStringLiteral("third")));
        frame->ExecuteCommand(cmd::kCmdEncryptNotebook);
        QVERIFY(user.Done());
    }
    QVERIFY(doc->IsEncrypted());
    // A working copy still needed (a web archive on show, say).
    QCOMPARE(QString::fromStdString(doc->GetWorkFolder(true)), workFolder);
    {
        QFile copy(workFolder + QStringLiteral("/vltcopy.mht"));
        QVERIFY(copy.open(QIODevice::WriteOnly));
        copy.write(kMarker);
    }
    child->close();
    QTRY_VERIFY(frame->ChildFrames().isEmpty());
    QVERIFY(!QFileInfo::exists(workFolder));
    QCOMPARE(FilesHoldingMarker(tempRoot), QStringList());
    app->ExitInstance();
}

CLIPVAULT_GUI_TEST_MAIN(EncryptedNotebookWindowTest)
#include "EncryptedNotebookWindowTest.moc"
