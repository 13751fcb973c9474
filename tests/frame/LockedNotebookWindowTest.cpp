// A locked notebook in the window: it shows its lock (a padlock on the tree's
// root and on its tab, "(locked)" after its title), every change the user
// tries is answered with the message that says it is locked and how to
// unlock it, the file is left byte for byte, and unlocking takes the marks
// away.
#include "support/GuiTestSupport.h"

#include "document/ClipVaultDoc.h"
#include "document/RecordClipboard.h"
#include "document/Records.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/CommandIds.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/TemplateDialog.h"
#include "views/PasswordDlgs.h"
#include "views/WindowTabs.h"

#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

namespace {

QByteArray ReadAll(const QString& strPath) {
    QFile f(strPath);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool Enabled(CMainFrame* frame, unsigned nID) {
    CCmdUI ui(nID);
    return frame->OnCmdMsg(nID, &ui) && ui.m_bEnabled;
}

QImage Picture(const QIcon& icon) { return icon.pixmap(16, 16).toImage(); }

// Every category and note by its path: what a refused change must leave.
QStringList Records(const CNoteCata& cata, const QString& strPrefix = QString()) {
    QStringList out;
    for (auto it = cata.m_notes.begin(); it != cata.m_notes.end(); ++it)
        out << strPrefix + QString::fromStdString(it.value()->m_strName);
    for (auto it = cata.m_subCatas.begin(); it != cata.m_subCatas.end(); ++it) {
        const QString path = strPrefix + QString::fromStdString(it.value()->m_strName) + QLatin1Char('/');
        out << path << Records(*it.value(), path);
    }
    return out;
}

CNote* FirstNote(const CNoteCata& cata) {
    if (cata.m_notes.GetCount()) return cata.m_notes.begin().value();
    for (auto it = cata.m_subCatas.begin(); it != cata.m_subCatas.end(); ++it)
        if (CNote* note = FirstNote(*it.value())) return note;
    return nullptr;
}

QPoint OnLabel(QTreeWidget* view, QTreeWidgetItem* item) {
    view->scrollToItem(item);
    const QRect rc = view->visualItemRect(item);
    return QPoint(rc.left() + view->iconSize().width() + 6, rc.center().y());
}

// A press on the item and a move well past the drag distance.
void TryToDrag(QTreeWidget* view, QTreeWidgetItem* item) {
    const QPoint from = OnLabel(view, item);
    QWidget* vp = view->viewport();
    QMouseEvent press(QEvent::MouseButtonPress, from, vp->mapToGlobal(from), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(vp, &press);
    for (int i = 1; i <= 4; ++i) {
        const QPoint at = from + QPoint(0, 12 * i);
        QMouseEvent move(QEvent::MouseMove, at, vp->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &move);
    }
    const QPoint to = from + QPoint(0, 48);
    QMouseEvent release(QEvent::MouseButtonRelease, to, vp->mapToGlobal(to), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(vp, &release);
}

}  // namespace

class LockedNotebookWindowTest : public QObject {
    Q_OBJECT
private slots:
    void aLockedNotebookShowsItsLockAndSaysWhyEachChangeIsRefused();
};

void LockedNotebookWindowTest::aLockedNotebookShowsItsLockAndSaysWhyEachChangeIsRefused() {
    CGuiTestFixture fx;
    auto app = fx.StartApp();
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    const QString path = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    CClipVaultDoc* doc = app->OpenDocumentFile(path);
    QVERIFY(doc);
    CChildFrame* child = frame->ActiveChildFrame();
    QVERIFY(child && &child->Document() == doc);
    CNoteCataView* tree = child->TreeView();
    CWindowTabs* tabs = frame->WindowTabs();
    QVERIFY(tree && tabs);
    tabs->Refresh();
    const int tab = tabs->FindTab(child);
    QVERIFY(tab >= 0);
    const QString plainTitle = child->windowTitle();
    const QImage plainTab = Picture(tabs->tabIcon(tab));
    const QImage plainRoot = Picture(tree->RootItem()->icon(0));
    QVERIFY(!plainTitle.contains(QStringLiteral("locked")));
    QVERIFY(tree->RootItem()->toolTip(0).isEmpty());

    // A password is set through its dialog, which says what the lock is
    // and is not; the notebook locks, and is saved with it.
    QString dialogText;
    OnNextDialog([&](CTemplateDialog* d) {
        if (auto* note = d->Control<QLabel>(1109)) dialogText = note->text();
        d->Control<QLineEdit>(CChangePasswordDlg::IDC_NEW)->setText(QStringLiteral("secret"));
        d->Control<QLineEdit>(CChangePasswordDlg::IDC_CONFIRM)->setText(QStringLiteral("secret"));
        d->Control<QPushButton>(host::IDOK)->click();
    });
    fx.m_nAnswer = host::IDYES;
    frame->ExecuteCommand(cmd::kCmdChangePassword);
    fx.m_nAnswer = 0;
    QVERIFY(doc->IsLocked());
    QVERIFY(!doc->IsModified());
    QVERIFY(dialogText.contains(QStringLiteral("does not hide")));
    QVERIFY(dialogText.contains(QStringLiteral("can be recovered")));
    QVERIFY(dialogText.contains(QStringLiteral("File > Encrypt notebook...")));
    const QByteArray locked = ReadAll(path);
    const QStringList records = Records(doc->m_rootCata);
    QVERIFY(records.size() > 2);

    // The marks: the title, the tab, the tree's root.
    QCOMPARE(child->windowTitle(), plainTitle + QStringLiteral(" (locked)"));
    tabs->Refresh();
    QVERIFY(tabs->tabText(tab).contains(QStringLiteral("(locked)")));
    QVERIFY(Picture(tabs->tabIcon(tab)) != plainTab);
    QVERIFY(Picture(tree->RootItem()->icon(0)) != plainRoot);
    QCOMPARE(CNoteCataView::ImageOf(tree->RootItem()), int(CNoteCataView::kImageNotebook));
    QVERIFY(tree->RootItem()->toolTip(0).contains(QStringLiteral("Unlock notebook")));

    // Each change tried: the locked message, and nothing changes.
    CNote* note = FirstNote(doc->m_rootCata);
    QVERIFY(note && note->m_pParent);
    QTreeWidgetItem* noteItem = tree->ItemOf(note);
    QVERIFY(noteItem);
    child->SetActiveView(tree);
    tree->setCurrentItem(noteItem);
    QApplication::processEvents();
    auto refused = [&](const std::function<void()>& fnTry) {
        fx.Clear();
        fnTry();
        return QTest::qWaitFor([&] { return fx.Shown(ids::IDS_NOTEBOOK_LOCKED); }, 3000) &&
               !fx.Shown(ids::IDS_NOTEBOOK_READ_ONLY) && !tree->findChild<QLineEdit*>() &&
               Records(doc->m_rootCata) == records;
    };
    QVERIFY2(refused([&] { QTest::keyClick(tree, Qt::Key_F2); }), "F2");
    // A second click on the selected note, as for renaming.
    QVERIFY2(refused([&] {
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, OnLabel(tree, noteItem));
    }), "slow click");
    // A double click opens the note as ever, and says nothing.
    fx.Clear();
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, OnLabel(tree, noteItem));
    QTest::qWait(QApplication::doubleClickInterval() + 200);
    QVERIFY(fx.m_messages.empty());
    QVERIFY2(refused([&] { QTest::keyClick(tree, Qt::Key_Delete); }), "Delete key");
    QVERIFY2(refused([&] { TryToDrag(tree, noteItem); }), "drag");
    for (unsigned nID : {cmd::kCmdRename, cmd::kCmdDelete, cmd::kCmdNewNote, cmd::kCmdNewCategory, cmd::kCmdCutRecord,
                         cmd::kCmdImport}) {
        // On, so that the menu and its keys can say why.
        QVERIFY2(Enabled(frame, nID), qPrintable(QString::number(nID)));
        QVERIFY2(refused([&] { frame->ExecuteCommand(nID); }), qPrintable(QString::number(nID)));
    }
    QCOMPARE(TheRecordClipboard().ClipState(), int(CRecordClipboard::stateEmpty));
    frame->ExecuteCommand(cmd::kCmdCopyRecord);
    QVERIFY(TheRecordClipboard().ClipState() != CRecordClipboard::stateEmpty);
    tree->setCurrentItem(tree->RootItem());
    QApplication::processEvents();
    QVERIFY(Enabled(frame, cmd::kCmdPasteRecord));
    QVERIFY2(refused([&] { frame->ExecuteCommand(cmd::kCmdPasteRecord); }), "paste");

    // The note itself: shown, not edited.
    tree->setCurrentItem(noteItem);
    QApplication::processEvents();
    QCOMPARE(child->CurrentNote(), note);
    QVERIFY(child->BrowserView());
    QVERIFY(!child->EditorView());
    QVERIFY(Enabled(frame, cmd::kCmdEditNote));
    QVERIFY2(refused([&] { frame->ExecuteCommand(cmd::kCmdEditNote); }), "edit note");
    QVERIFY(!child->EditorView());

    // A file dropped from outside, filed straight in.
    const QString dropped = fx.WorkFolder() + QStringLiteral("/dropped.txt");
    {
        QFile f(dropped);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("dropped text");
    }
    g_bDirectImport = true;
    QVERIFY2(refused([&] {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(dropped)});
        // A drop goes where the drag entered.
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(frame, &enter);
        QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(frame, &drop);
    }), "drop from outside");
    g_bDirectImport = false;

    // The message names the way out.
    QString text;
    for (const CShownMessage& m : fx.m_messages)
        if (m.m_nID == ids::IDS_NOTEBOOK_LOCKED) text = m.m_strText;
    QVERIFY(text.contains(QStringLiteral("File > Unlock notebook...")));
    QVERIFY(!doc->IsModified());
    QCOMPARE(ReadAll(path), locked);

    // Unlocked: the marks go.
    OnNextDialog([](CTemplateDialog* d) {
        d->Control<QLineEdit>(CUnlockDlg::IDC_PASSWORD)->setText(QStringLiteral("secret"));
        d->Control<QPushButton>(host::IDOK)->click();
    });
    frame->ExecuteCommand(cmd::kCmdUnlockNotebook);
    QVERIFY(!doc->IsLocked());
    QCOMPARE(child->windowTitle(), plainTitle);
    tabs->Refresh();
    QVERIFY(!tabs->tabText(tab).contains(QStringLiteral("locked")));
    QCOMPARE(Picture(tabs->tabIcon(tab)), plainTab);
    QCOMPARE(Picture(tree->RootItem()->icon(0)), plainRoot);
    QVERIFY(tree->RootItem()->toolTip(0).isEmpty());
    TheRecordClipboard().ClearClip();
    QVERIFY(child->close());
}

CLIPVAULT_GUI_TEST_MAIN(LockedNotebookWindowTest)
#include "LockedNotebookWindowTest.moc"
