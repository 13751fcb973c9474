// The window's side of keeping notebooks: a damaged notebook opened, saved
// and autosaved leaves its file byte for byte, and the autosave never asks
// anything nor runs inside a dialog.
#include "support/GuiTestSupport.h"

#include "app/AppOptions.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "platform/CommandIds.h"
#include "platform/StringIds.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

namespace {

QByteArray ReadAll(const QString& strPath) {
    QFile f(strPath);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& strPath, const QByteArray& bytes) {
    QFile f(strPath);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

bool Enabled(CMainFrame* frame, unsigned nID) {
    CCmdUI ui(nID);
    return frame->OnCmdMsg(nID, &ui) && ui.m_bEnabled;
}

// Plays the user at the save dialogs: each new one gets the next path, or is
// cancelled when there is none; a question whether to replace a file is
// answered Yes. Counts the dialogs it saw.
class CSaveDialogUser : public QObject {
public:
    explicit CSaveDialogUser(QStringList paths) : m_paths(std::move(paths)) {
        connect(&m_poll, &QTimer::timeout, this, &CSaveDialogUser::Look);
        m_poll.start(20);
    }
    int m_nDialogs = 0;
    QString m_strOffered;  // the name the first dialog proposed

private:
    void Look() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            if (QAbstractButton* yes = box->button(QMessageBox::Yes)) yes->click();
            return;
        }
        auto* dlg = qobject_cast<QFileDialog*>(modal);
        if (!dlg || dlg == m_pLast) return;
        m_pLast = dlg;
        auto* name = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!m_nDialogs++ && name) m_strOffered = name->text();
        if (m_paths.isEmpty()) {
            QTimer::singleShot(0, dlg, &QDialog::reject);
            return;
        }
        // Typed into the name box, as selectFile leaves a focused box alone.
        const QString path = m_paths.takeFirst();
        if (name) name->setText(path);
        else dlg->selectFile(path);
        QTimer::singleShot(0, dlg, &QDialog::accept);
    }
    QStringList m_paths;
    QPointer<QFileDialog> m_pLast;
    QTimer m_poll;
};

}  // namespace

class DamagedNotebookWindowTest : public QObject {
    Q_OBJECT
private slots:
    void aDamagedNotebookIsReadOnlyAndKeptByteForByte();
    void autosaveAsksNothingAndWaitsForDialogs();
};

void DamagedNotebookWindowTest::aDamagedNotebookIsReadOnlyAndKeptByteForByte() {
    CGuiTestFixture fx;
    auto app = fx.StartApp();
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    AppOptions().m_bAutoSaveEnabled = true;

    // One changed byte (an attachment's class nobody knows), and a file cut
    // in the middle.
    const QString oneByte = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    QByteArray bytes = ReadAll(oneByte);
    const qsizetype at = bytes.indexOf("CNoteAttatch");
    QVERIFY(at > 0);
    bytes[at + 5] = 'B';
    WriteAll(oneByte, bytes);
    const QString cut = fx.CopySample(QStringLiteral("Recipes and Travel.vlt"));
    WriteAll(cut, ReadAll(cut).left(ReadAll(cut).size() / 2));

    for (const QString& path : {oneByte, cut}) {
        const QByteArray original = ReadAll(path);
        fx.Clear();
        CClipVaultDoc* doc = app->OpenDocumentFile(path);
        QVERIFY(doc);
        CChildFrame* child = frame->ActiveChildFrame();
        QVERIFY(child && &child->Document() == doc);
        // Save offers the save dialog; the damaged file itself is refused
        // and the dialog offered again, which the user cancels.
        int nSaveDialogs = 0, nAutosaveDialogs = 0;
        QString offered;
        {
            CSaveDialogUser user({path});
            frame->ExecuteCommand(cmd::kCmdSave);
            nSaveDialogs = user.m_nDialogs;
            offered = user.m_strOffered;
        }
        // Something marked it changed all the same: the autosave still leaves
        // it, and asks nothing.
        doc->MarkModified(true);
        {
            CSaveDialogUser user({});
            AppOptions().m_nAutoSavePeriod = 50;
            frame->RestartAutosaveTimer();
            QTest::qWait(400);
            nAutosaveDialogs = user.m_nDialogs;
        }
        QCOMPARE(ReadAll(path), original);
        QVERIFY(fx.Shown(ids::IDS_NOTEBOOK_DAMAGED));
        QCOMPARE(nSaveDialogs, 2);
        // What it offers is not the damaged file's name.
        QCOMPARE(offered, QFileInfo(path).completeBaseName() + QStringLiteral(" (recovered).vlt"));
        QVERIFY(fx.Shown(ids::IDS_DAMAGED_FILE_KEPT));
        QCOMPARE(nAutosaveDialogs, 0);
        QVERIFY(doc->IsModified());

        // Read-only like a locked notebook, and the title says why.
        QVERIFY(child->windowTitle().contains(QStringLiteral("(damaged, read-only)")));
        QVERIFY(!Enabled(frame, cmd::kCmdImport));
        QVERIFY(!Enabled(frame, cmd::kCmdChangePassword));

        // Save As under a new name keeps what was read, and from there the
        // notebook is an ordinary one.
        const QString kept = fx.WorkFolder() + QStringLiteral("/kept.vlt");
        QFile::remove(kept);
        {
            CSaveDialogUser user({kept});
            frame->ExecuteCommand(cmd::kCmdSaveAs);
            QCOMPARE(user.m_nDialogs, 1);
        }
        QCOMPARE(ReadAll(path), original);
        QCOMPARE(QString::fromStdString(doc->GetPathName()), kept);
        QVERIFY(!doc->IsModified());
        QVERIFY(!child->windowTitle().contains(QStringLiteral("damaged")));
        QVERIFY(Enabled(frame, cmd::kCmdImport));
        CClipVaultDoc back;
        QVERIFY(back.OnOpenDocument(kept.toStdString()));
        QCOMPARE(back.m_nLoadError, -1);
        QVERIFY(child->close());
    }
    AppOptions().m_nAutoSavePeriod = 1800000;
}

void DamagedNotebookWindowTest::autosaveAsksNothingAndWaitsForDialogs() {
    CGuiTestFixture fx;
    auto app = fx.StartApp();
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    AppOptions().m_bAutoSaveEnabled = true;

    // An untitled notebook, changed: no save dialog, period after period.
    CClipVaultDoc* untitled = app->OpenDocumentFile(QString());
    QVERIFY(untitled);
    untitled->m_rootCata.AddNewNote("unsaved");
    untitled->SetModifiedFlag(true);
    const QString path = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    CClipVaultDoc* titled = app->OpenDocumentFile(path);
    QVERIFY(titled);
    {
        CSaveDialogUser user({});
        AppOptions().m_nAutoSavePeriod = 50;
        frame->RestartAutosaveTimer();
        QTest::qWait(400);
        QCOMPARE(user.m_nDialogs, 0);
    }
    QVERIFY(untitled->IsModified());

    // While a dialog waits for the user nothing is saved; once it is gone,
    // the next period saves.
    titled->m_rootCata.AddNewNote("autosaved");
    titled->SetModifiedFlag(true);
    const QByteArray before = ReadAll(path);
    bool bSavedDuringDialog = true;
    QTimer::singleShot(0, [&] {
        QDialog dlg(frame);
        QTimer::singleShot(400, &dlg, [&] {
            bSavedDuringDialog = !titled->IsModified();
            dlg.reject();
        });
        dlg.exec();
    });
    QTest::qWait(50);
    QTRY_VERIFY_WITH_TIMEOUT(!titled->IsModified(), 5000);
    QVERIFY(!bSavedDuringDialog);
    QVERIFY(ReadAll(path) != before);

    AppOptions().m_nAutoSavePeriod = 1800000;
    frame->RestartAutosaveTimer();
    untitled->SetModifiedFlag(false);
}

CLIPVAULT_GUI_TEST_MAIN(DamagedNotebookWindowTest)
#include "DamagedNotebookWindowTest.moc"
