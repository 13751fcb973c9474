// Highlights through the window: text selected across two paragraphs and a
// link is highlighted and commented in the browser, lands in the note's page
// bytes (one id, nothing else changed, the picture kept), survives a save
// and a reopen, is listed and filtered in the Highlights tab, opens scrolled
// to, shows in Chromium after an export, and comes out again leaving the
// page as it was. A locked notebook refuses; an encrypted one changes only
// in memory.
#include "support/GuiTestSupport.h"

#include "capture/PageHighlights.h"
#include "capture/gui/HighlightCommentDlg.h"
#include "capture/gui/NoteBrowserView.h"
#include "capture/gui/PageHighlighter.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/CommandIds.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/CommandActions.h"
#include "views/HighlightsTab.h"
#include "views/TabView.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

namespace {

const QByteArray kPage =
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Marked page</title>\n"
    "<style>body{font:16px sans-serif} .tall{height:1600px}</style></head>\n<body>\n"
    "<div class=\"tall\"></div>\n"
    "<p id=\"first\">The first paragraph says something worth keeping.</p>\n"
    "<p id=\"second\">The second one goes on with <a href=\"http://127.0.0.1:9/more\">a link to more</a> and ends.</p>\n"
    "<img id=\"pic\" src=\"PIC\">\n<div class=\"tall\"></div>\n</body></html>\n";
const char kExact[] = "paragraph says something worth keeping. The second one goes on with a link";
// Markup and a language of its own: the comment must come back as typed.
const QString kComment = QStringLiteral("Keep <this> & \"that\" \u2014 \u8bb0\u4f4f");

QVariant Js(QWebEngineView* view, const QString& script) { return RunPageScript(view, script); }

QByteArray ContentOf(CNote* note) {
    std::lock_guard<std::mutex> guard(note->m_dataLock);
    const std::vector<uint8_t>& c = note->Content();
    return QByteArray(reinterpret_cast<const char*>(c.data()), static_cast<qsizetype>(c.size()));
}

// The ids of the marks in the page's bytes, one per mark.
QStringList MarkIds(const QByteArray& page) {
    QStringList ids;
    static const QRegularExpression re(QStringLiteral("<mark\\b[^>]*data-cv-highlight=\"([^\"]+)\""));
    for (auto it = re.globalMatch(QString::fromUtf8(page)); it.hasNext();) ids << it.next().captured(1);
    return ids;
}

QByteArray WithoutMarks(QByteArray page) {
    static const QRegularExpression open(QStringLiteral("<mark\\b[^>]*data-cv-highlight[^>]*>"));
    QString s = QString::fromUtf8(page);
    s.remove(open);
    s.remove(QStringLiteral("</mark>"));
    return s.toUtf8();
}

// Selects from "paragraph" in the first paragraph to "a link" inside the
// second one's link, and scrolls to the paragraphs.
bool SelectAcross(QWebEngineView* view) {
    for (int i = 0; i < 100; ++i) {
        const QVariant n = Js(view, QStringLiteral(
            "(function(){var a=document.getElementById('first'),l=document.querySelector('#second a');"
            "if(!a||!l)return 0;var r=document.createRange();r.setStart(a.firstChild,10);r.setEnd(l.firstChild,6);"
            "var s=getSelection();s.removeAllRanges();s.addRange(r);window.scrollTo(0,1500);return s.toString().length;})()"));
        if (n.toInt() > 0) return true;
        QTest::qWait(50);
    }
    return false;
}

// Acts on the comment dialog once it is up.
void OnCommentDialog(std::function<void(CHighlightCommentDlg*)> fn) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, fn] {
        if (auto* dlg = qobject_cast<CHighlightCommentDlg*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            fn(dlg);
        }
    });
    timer->start(50);
}

QPushButton* Button(QDialog* dlg, QDialogButtonBox::StandardButton which) {
    return dlg->findChild<QDialogButtonBox*>()->button(which);
}

// The centre of the first mark of the page, in the view's coordinates.
QPoint MarkCentre(QWebEngineView* view) {
    const QVariantList r = Js(view, QStringLiteral("(function(){var m=document.querySelector('mark[data-cv-highlight]');"
                                                   "if(!m)return [];var b=m.getBoundingClientRect();"
                                                   "return [b.left+b.width/2,b.top+b.height/2];})()"))
                               .toList();
    if (r.size() != 2) return QPoint(-1, -1);
    return QPoint(qRound(r[0].toDouble() * view->zoomFactor()), qRound(r[1].toDouble() * view->zoomFactor()));
}

bool Enabled(CMainFrame* frame, unsigned nID) {
    CCmdUI ui(nID);
    return frame->OnCmdMsg(nID, &ui) && ui.m_bEnabled;
}

// A picture of the whole screen, when asked for (the notes' screenshots).
void Shot(const char* name) {
    const QString dir = qEnvironmentVariable("CLIPVAULT_SHOT_DIR");
    if (dir.isEmpty()) return;
    QTest::qWait(1500);
    QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                 dir + QLatin1Char('/') + QLatin1String(name)});
}

}  // namespace

class HighlightTest : public QObject {
    Q_OBJECT
private slots:
    void highlightCommentSaveReopenListExportRemove();
    void lockedRefusesAndEncryptedStaysInMemory();
    void aRepeatedLineIsMarkedWhereItWasSelected();

private:
    struct CWindow {
        std::unique_ptr<CGuiTestFixture> fx;
        std::unique_ptr<CClipVaultApp> app;
        CMainFrame* frame = nullptr;
        CChildFrame* child = nullptr;
        CClipVaultDoc* doc = nullptr;
        CNoteBrowserView* View() const { return child->BrowserView(); }
        bool Use(CChildFrame* pChild) {
            child = pChild;
            if (!child) return false;
            child->showMaximized();
            doc = &child->Document();
            return true;
        }
        CNote* AddPage(std::string* pPicture) {
            CNote* note = doc->m_rootCata.AddNewNote("Marked page");
            note->m_nID = doc->NextNoteID();
            note->m_strExt = "htm";
            note->m_nContentType = kContentHeld;
            note->m_strSource = "http://127.0.0.1:9/marked.htm";
            const QByteArray png = PngPicture(Qt::darkGreen, 40, 20);
            CNoteAttatch* pic = doc->MakeAttachment("vltmarked.png", "http://127.0.0.1:9/marked.png",
                                                    std::vector<uint8_t>(png.begin(), png.end()));
            *pPicture = pic->m_strName;
            QByteArray page = kPage;
            page.replace("PIC", QByteArray::fromStdString(*pPicture));
            note->SetContent(std::vector<uint8_t>(page.begin(), page.end()));
            note->m_attachNames = {*pPicture};
            child->TreeView()->InsertNote(note);
            return note;
        }
        // Shows the note in the browser and waits for its page.
        bool Show(CNote* note) {
            child->ShowNote(note, false, 0);
            // The commands go to the view with the focus.
            child->SetActiveView(View());
            return Loaded();
        }
        bool Loaded() {
            for (int i = 0; i < 200; ++i) {
                QTest::qWait(50);
                CNoteBrowserView* v = View();
                if (!v || Js(v, QStringLiteral("document.readyState")).toString() != QLatin1String("complete")) continue;
                if (Js(v, QStringLiteral("!!document.getElementById('first')")).toBool()) return true;
            }
            return false;
        }
        // Runs a command on the browser, as the menu, the key or the button
        // does, and waits for it to end.
        bool Run(unsigned nID) {
            child->SetActiveView(View());
            QSignalSpy ended(&View()->Highlighter(), &CPageHighlighter::CommandEnded);
            frame->ExecuteCommand(nID);
            return ended.count() > 0 || ended.wait(15000);
        }
    };
    bool Open(CWindow& w);
};

bool HighlightTest::Open(CWindow& w) {
    w.fx = std::make_unique<CGuiTestFixture>();
    w.app = w.fx->StartApp();
    if (!w.app) return false;
    w.frame = w.app->MainFrame();
    w.frame->resize(1000, 720);
    w.frame->show();
    w.frame->ExecuteCommand(cmd::kCmdNew);
    return w.Use(w.frame->ActiveChildFrame());
}

void HighlightTest::highlightCommentSaveReopenListExportRemove() {
    CWindow w;
    QVERIFY(Open(w));
    std::string picture;
    CNote* note = w.AddPage(&picture);
    const QByteArray original = ContentOf(note);
    const size_t attachments = w.doc->m_attachments.GetCount();

    // The toolbar's button: the four colours, the comment and removal, and
    // the key on its command.
    auto* button = w.frame->findChild<QToolButton*>(QStringLiteral("highlightButton"));
    QVERIFY(button && button->menu());
    QVERIFY(!button->accessibleName().isEmpty());
    QCOMPARE(button->menu()->actions().size(), 7);
    QCOMPARE(w.frame->Actions().Action(cmd::kCmdHighlight)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+H")));

    QVERIFY(w.Show(note));
    QVERIFY(Enabled(w.frame, cmd::kCmdHighlightYellow));
    // Nothing selected: the user is told, the page stays.
    w.fx->Clear();
    QVERIFY(w.Run(cmd::kCmdHighlightYellow));
    QVERIFY(w.fx->Shown(ids::IDS_HL_NO_SELECTION));
    QCOMPARE(ContentOf(note), original);

    // Across two paragraphs and into a link, in yellow.
    QVERIFY(SelectAcross(w.View()));
    const uint64_t changes = w.doc->ChangeCount();
    // By its key, in the colour last chosen (yellow), with the keys in the page.
    {
        QSignalSpy ended(&w.View()->Highlighter(), &CPageHighlighter::CommandEnded);
        QApplication::setActiveWindow(w.frame);
        QWidget* keys = w.View()->focusProxy() ? w.View()->focusProxy() : w.View();
        keys->setFocus();
        // Keys reach only an enabled action, and the window brings its
        // actions up to date a moment after the page came.
        QTRY_VERIFY(w.frame->Actions().Action(cmd::kCmdHighlight)->isEnabled());
        QTest::keyClick(keys, Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(ended.count() > 0 || ended.wait(15000));
    }
    QByteArray marked = ContentOf(note);
    QStringList ids = MarkIds(marked);
    QVERIFY2(ids.size() >= 3, marked.constData());
    ids.removeDuplicates();
    QCOMPARE(ids.size(), 1);
    const QString id = ids.first();
    QVERIFY(marked.contains("data-cv-color=\"yellow\""));
    QCOMPARE(WithoutMarks(marked), original);
    QVERIFY(w.doc->IsModified());
    QVERIFY(w.doc->ChangeCount() > changes);
    QCOMPARE(note->m_attachNames, std::vector<std::string>{picture});
    QCOMPARE(static_cast<size_t>(w.doc->m_attachments.GetCount()), attachments);
    // The view shows the marks where it was scrolled, the picture too.
    QTRY_COMPARE_WITH_TIMEOUT(Js(w.View(), QStringLiteral("document.querySelectorAll('mark[data-cv-highlight]').length"))
                                  .toInt(),
                              MarkIds(marked).size(), 10000);
    QCOMPARE(Js(w.View(), QStringLiteral("Math.round(window.scrollY)")).toInt(), 1500);
    QTRY_VERIFY(Js(w.View(), QStringLiteral("document.getElementById('pic').naturalWidth")).toInt() == 40);
    Shot("hl-browser.png");

    // A comment on the highlight, through its dialog.
    w.View()->Highlighter().Reveal(id.toStdString());
    QTRY_VERIFY(Js(w.View(), QStringLiteral("getSelection().toString()")).toString().contains(QLatin1String("says")));
    bool sawRemove = false;
    OnCommentDialog([&](CHighlightCommentDlg* dlg) {
        sawRemove = dlg->findChild<QPushButton*>(QStringLiteral("remove")) != nullptr;
        auto* edit = dlg->findChild<QPlainTextEdit*>(QStringLiteral("comment"));
        QVERIFY(edit && !edit->accessibleName().isEmpty());
        edit->setPlainText(kComment);
        Shot("hl-comment.png");
        Button(dlg, QDialogButtonBox::Ok)->click();
    });
    QVERIFY(w.Run(cmd::kCmdHighlightComment));
    QVERIFY(sawRemove);
    marked = ContentOf(note);
    QStringList commented = MarkIds(marked);
    commented.removeDuplicates();
    QCOMPARE(commented, QStringList{id});
    QCOMPARE(WithoutMarks(marked), original);
    std::vector<uint8_t> bytes(marked.begin(), marked.end());
    std::vector<CHighlight> listed = ListHighlights(bytes);
    QCOMPARE(listed.size(), size_t(1));
    QCOMPARE(QString::fromStdString(listed[0].m_strComment), kComment);
    QCOMPARE(QString::fromStdString(listed[0].m_strId), id);

    // Saved, closed, opened again: the highlight is in the page.
    const QString path = w.fx->WorkFolder() + QStringLiteral("/marked.vlt");
    w.doc->SetPathName(path.toStdString());
    QVERIFY(w.doc->DoFileSave());
    w.child->close();
    QTRY_VERIFY(!w.frame->ActiveChildFrame());
    QVERIFY(w.app->OpenDocumentFile(path));
    QVERIFY(w.Use(w.frame->ActiveChildFrame()));
    note = w.doc->m_rootCata.m_notes.GetCount() ? w.doc->m_rootCata.m_notes.begin().value() : nullptr;
    QVERIFY(note);
    QCOMPARE(ContentOf(note), marked);
    QVERIFY(w.doc->FindAttachment(picture));

    // The Highlights tab lists it, filters by comment and text.
    CTabView* tabs = w.child->TabView();
    CHighlightsTab* tab = nullptr;
    int page = 0;
    for (; page < tabs->GetPageCount() && !tab; ++page) tab = qobject_cast<CHighlightsTab*>(tabs->GetPage(page));
    QVERIFY(tab);
    QVERIFY(!tab->FilterBox()->accessibleName().isEmpty() && !tab->List()->accessibleName().isEmpty());
    QSignalSpy listedSpy(tab, &CHighlightsTab::Listed);
    tabs->SetActivePage(page - 1);
    QVERIFY(listedSpy.count() > 0 || listedSpy.wait(10000));
    QCOMPARE(tab->List()->topLevelItemCount(), 1);
    QTreeWidgetItem* row = tab->List()->topLevelItem(0);
    QVERIFY(row->text(CHighlightsTab::kColText).contains(QLatin1String("paragraph says")));
    QVERIFY(row->text(CHighlightsTab::kColComment).contains(QStringLiteral("\u8bb0\u4f4f")));
    QCOMPARE(row->text(CHighlightsTab::kColNote), QStringLiteral("Marked page"));
    QVERIFY(!row->text(CHighlightsTab::kColDate).isEmpty());
    tab->FilterBox()->setText(QStringLiteral("\"THAT\""));
    QCOMPARE(tab->ShownCount(), 1);
    tab->FilterBox()->setText(QStringLiteral("nothing like it"));
    QCOMPARE(tab->ShownCount(), 0);
    tab->FilterBox()->setText(QStringLiteral("second one"));
    QCOMPARE(tab->ShownCount(), 1);
    Shot("hl-tab.png");
    tab->FilterBox()->clear();

    // Opened from the list: the note in the browser, scrolled to the marks,
    // which are selected.
    tab->List()->setFocus();
    tab->List()->setCurrentItem(row);
    QTest::keyClick(tab->List(), Qt::Key_Return);
    QVERIFY(w.Loaded());
    QTRY_VERIFY_WITH_TIMEOUT(Js(w.View(), QStringLiteral("getSelection().toString()")).toString().contains(
                                 QLatin1String("worth keeping")), 10000);
    QVERIFY(Js(w.View(), QStringLiteral("(function(){var b=document.querySelector('mark[data-cv-highlight]')"
                                        ".getBoundingClientRect();return b.top>=0&&b.bottom<=innerHeight;})()"))
                .toBool());

    // Saved out as "Save note as" does: Chromium shows the marks with their
    // comment, the picture beside the page.
    const QString exported = w.fx->WorkFolder() + QStringLiteral("/out/marked.htm");
    QVERIFY(QDir().mkpath(w.fx->WorkFolder() + QStringLiteral("/out")));
    QVERIFY(note->WriteWorkingCopy(exported.toStdString(), true));
    QProcess check;
    check.start(QStringLiteral("python3"), {QStringLiteral(CLIPVAULT_HL_EXPORT_CHECK), exported, id, kComment,
                                            QString::fromUtf8(kExact)});
    QVERIFY(check.waitForFinished(90000));
    const QString said = QString::fromUtf8(check.readAllStandardOutput() + check.readAllStandardError());
    QVERIFY2(check.exitCode() == 0 && said.startsWith(QLatin1String("PASS")), qPrintable(said));

    // Taken out from the context menu on the mark: the page is as it was.
    const QPoint at = MarkCentre(w.View());
    QVERIFY(at.x() >= 0);
    QSignalSpy ended(&w.View()->Highlighter(), &CPageHighlighter::CommandEnded);
    QWidget* target = w.View()->focusProxy() ? w.View()->focusProxy() : w.View();
    QTest::mouseClick(target, Qt::RightButton, Qt::NoModifier, at);
    QMenu* menu = nullptr;
    QTRY_VERIFY((menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr &&
                menu->actions().size() > 3);
    QAction* remove = nullptr;
    for (QAction* a : menu->actions())
        if (a->data().toUInt() == cmd::kCmdRemoveHighlight) remove = a;
    QVERIFY(remove);
    Shot("hl-menu.png");
    remove->trigger();
    menu->close();
    QVERIFY(ended.count() > 0 || ended.wait(15000));
    QCOMPARE(ContentOf(note), original);
    QCOMPARE(note->m_attachNames, std::vector<std::string>{picture});
    QTRY_COMPARE_WITH_TIMEOUT(tab->List()->topLevelItemCount(), 0, 10000);
}

void HighlightTest::lockedRefusesAndEncryptedStaysInMemory() {
    CWindow w;
    QVERIFY(Open(w));
    std::string picture;
    CNote* note = w.AddPage(&picture);
    const QByteArray original = ContentOf(note);
    QVERIFY(w.Show(note));

    // Locked: refused with the lock's message, the page untouched.
    w.doc->SetPassword("secret");
    QVERIFY(w.doc->IsLocked());
    QVERIFY(SelectAcross(w.View()));
    w.fx->Clear();
    QVERIFY(w.Run(cmd::kCmdHighlight));
    QVERIFY(w.fx->Shown(ids::IDS_NOTEBOOK_LOCKED));
    QCOMPARE(ContentOf(note), original);
    w.doc->Unlock("secret");
    w.doc->SetPassword(std::string());
    QVERIFY(!w.doc->IsLocked());

    // Encrypted: the page changes in the notebook and in the view, from
    // memory; no file on disk holds the new page.
    QVERIFY(w.doc->Encrypt("passphrase", vault::MinimalLimits()));
    // As the window does once it has encrypted: the page comes anew.
    w.View()->ShowNothing();
    QVERIFY(w.Show(note));
    QVERIFY(SelectAcross(w.View()));
    QVERIFY(w.Run(cmd::kCmdHighlightYellow + 1));
    const QByteArray marked = ContentOf(note);
    const QStringList ids = MarkIds(marked);
    QVERIFY2(!ids.isEmpty(), marked.constData());
    QVERIFY(marked.contains("data-cv-color=\"green\""));
    QCOMPARE(WithoutMarks(marked), original);
    QTRY_VERIFY_WITH_TIMEOUT(
        Js(w.View(), QStringLiteral("document.querySelectorAll('mark[data-cv-color=\"green\"]').length")).toInt() > 0,
        10000);
    QVERIFY(w.View()->url().scheme() == StoredPageScheme());
    const QString work = QString::fromStdString(w.doc->GetWorkFolder(true));
    if (!work.isEmpty()) {
        for (QDirIterator it(work, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            QFile f(it.next());
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY2(!f.readAll().contains(ids.first().toUtf8()), qPrintable(f.fileName()));
        }
    }
}

void HighlightTest::aRepeatedLineIsMarkedWhereItWasSelected() {
    // Twelve lines alike, so that the text around the sixth tells nothing:
    // only its place in the page's text does, as the browser and the
    // notebook both count it past a title, a list box, a drawing's text and
    // a text area that no reader sees as the page's text.
    CWindow w;
    QVERIFY(Open(w));
    std::string picture;
    CNote* note = w.AddPage(&picture);
    QByteArray page = "<html><head><title>Lines alike</title></head><body><p id=\"first\">Lines:</p>"
                      "<select><option>one choice</option><option>another</option></select>"
                      "<svg width=\"10\" height=\"10\"><text>drawn</text></svg><textarea>typed</textarea><ul>";
    for (int i = 0; i < 12; ++i) page += "<li>the same words again</li>";
    page += "</ul></body></html>";
    note->SetContent(std::vector<uint8_t>(page.begin(), page.end()));
    QVERIFY(w.Show(note));
    QVERIFY(Js(w.View(), QStringLiteral("(function(){var t=document.querySelectorAll('li')[5].firstChild;"
                                        "var r=document.createRange();r.setStart(t,4);r.setEnd(t,14);"
                                        "getSelection().removeAllRanges();getSelection().addRange(r);return true;})()"))
                .toBool());
    QVERIFY(w.Run(cmd::kCmdHighlight));
    const QByteArray marked = ContentOf(note);
    QCOMPARE(MarkIds(marked).size(), 1);
    const qsizetype mark = marked.indexOf("<mark");
    QVERIFY(mark > 0);
    // Five lines before it.
    QCOMPARE(marked.left(mark).count("<li>"), 6);
    QVERIFY(marked.mid(mark).contains("same words</mark> again</li>"));
    QCOMPARE(WithoutMarks(marked), page);
}

CLIPVAULT_GUI_TEST_MAIN(HighlightTest)
#include "HighlightTest.moc"
