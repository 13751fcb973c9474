// The reader view of the note browser: a news page's article alone with its
// picture, the command greyed for a page of links and for other notes, the
// style the user chose kept in the options, a hostile article that inserts
// nothing that runs, and the note's bytes as they were, in a plain and in an
// encrypted notebook.
#include "support/GuiTestSupport.h"

#include "app/AppOptions.h"
#include "capture/gui/NoteBrowserView.h"
#include "capture/gui/ReaderView.h"
#include "document/ClipVaultDoc.h"
#include "document/NotebookCipher.h"
#include "document/Records.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/CommandIds.h"
#include "platform/StringIds.h"
#include "platform/gui/LanguageModule.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QWebEngineView>

namespace {

QVariant Js(QWebEngineView* view, const QString& script) { return RunPageScript(view, script); }
QString BodyText(QWebEngineView* view) {
    return Js(view, QStringLiteral("document.body ? document.body.innerText : ''")).toString();
}

QString Paragraphs(const QString& topic, int n) {
    QString out;
    for (int i = 0; i < n; ++i)
        out += QStringLiteral("<p>Paragraph %1 about %2: the council met on Tuesday evening, and the people of the "
                              "valley, who had waited for years, heard at last that the work would go on through "
                              "the winter, with the old mill kept as it was and the river path opened again.</p>")
                   .arg(i + 1)
                   .arg(topic);
    return out;
}

// A news page: a title, a byline, a date, paragraphs, a picture from the
// notebook, a navigation bar, an advert sidebar and a footer.
QByteArray NewsPage() {
    return (QStringLiteral("<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\">"
                           "<title>River town opens its new library | Valley Gazette</title>"
                           "<meta property=\"og:title\" content=\"River town opens its new library\">"
                           "<meta property=\"article:published_time\" content=\"2024-03-05T09:30:00Z\">"
                           "<meta name=\"author\" content=\"Ada Lovelace\">"
                           "<link rel=\"stylesheet\" href=\"vltnews.css\"></head><body>"
                           "<nav class=\"site-nav\"><a href=\"/\">Home</a> <a href=\"/world\">World</a> "
                           "<a href=\"/sport\">Sport</a> <span>NAVWORDS</span></nav>"
                           "<div class=\"layout\"><main><article><h1>River town opens its new library</h1>"
                           "<p class=\"byline\">By Ada Lovelace</p>") +
            Paragraphs(QStringLiteral("the library"), 4) +
            QStringLiteral("<figure><img id=\"photo\" src=\"vltphoto.png\" width=\"300\" height=\"200\" "
                           "alt=\"The new library\"><figcaption>The library at dawn.</figcaption></figure>") +
            Paragraphs(QStringLiteral("the opening"), 3) +
            QStringLiteral("<p>See <a href=\"vltnext.htm\">the next story</a>.</p></article></main>"
                           "<aside class=\"sidebar\"><div class=\"advert ad-slot\">ADVERTWORDS Buy a boat today</div>"
                           "<ul><li><a href=\"/a\">Most read one</a></li><li><a href=\"/b\">Most read two</a></li></ul>"
                           "</aside></div><footer class=\"site-footer\">FOOTERWORDS Valley Gazette</footer>"
                           "</body></html>"))
        .toUtf8();
}

QByteArray LinksPage() {
    QString links;
    for (int i = 0; i < 40; ++i) links += QStringLiteral("<li><a href=\"/page%1\">Link %1</a></li>").arg(i);
    return (QStringLiteral("<!DOCTYPE html><html><head><title>Links</title></head><body><h1>Links</h1><ul>") + links +
            QStringLiteral("</ul></body></html>"))
        .toUtf8();
}

// What a stranger's article tries: every handler and script marks the
// page's root element, which the reader view clears when it shows the
// article.
QByteArray HostilePage() {
    const QString mark = QStringLiteral(
        "document.documentElement.setAttribute('data-ran','1')");
    return (QStringLiteral("<!DOCTYPE html><html><head><title>Hostile</title></head><body><article>"
                           "<h1>An article with traps</h1>") +
            Paragraphs(QStringLiteral("traps"), 3) +
            QStringLiteral("<p>Trap one <img src=\"vltmissing.png\" onerror=\"%1\"> and "
                           "<img src=\"vltphoto.png\" onload=\"%1\"> in a sentence that goes on for a while.</p>"
                           "<p>Trap two <a id=\"js1\" href=\"javascript:%1\">a script link</a> and "
                           "<a id=\"js2\" href=\" JaVaScRiPt:%1\"><b>a spaced one</b></a> and "
                           "<a id=\"js3\" href=\"data:text/html,&lt;script&gt;alert(1)&lt;/script&gt;\">data</a>.</p>"
                           "<p>Trap three<script>%1</script> "
                           "<svg><image href=\"javascript:alert(1)\"/><script>%1</script></svg>"
                           "<iframe srcdoc=\"&lt;script&gt;parent.%1&lt;/script&gt;\"></iframe>"
                           "<span style=\"background:url(javascript:alert(1))\" onmouseover=\"%1\">hover</span>"
                           "<object data=\"vltmissing.swf\"></object><embed src=\"vltmissing.swf\">"
                           "<form action=\"javascript:alert(1)\"><button formaction=\"javascript:alert(1)\">b</button></form>"
                           "</p>")
                .arg(mark.toHtmlEscaped()) +
            Paragraphs(QStringLiteral("more traps"), 3) + QStringLiteral("</article></body></html>"))
        .toUtf8();
}

std::vector<uint8_t> Bytes(const QByteArray& b) { return std::vector<uint8_t>(b.begin(), b.end()); }

bool Enabled(CMainFrame* frame, unsigned nID, int* pCheck = nullptr) {
    CCmdUI ui(nID);
    const bool handled = frame->OnCmdMsg(nID, &ui);
    if (pCheck) *pCheck = ui.m_nCheck;
    return handled && ui.m_bEnabled;
}

}  // namespace

class ReaderViewTest : public QObject {
    Q_OBJECT
private slots:
    void newsPageShowsItsArticleAloneAndKeepsItsBytes();
    void noArticleGreysTheCommandAndSaysWhy();
    void theStyleIsKeptInTheOptions();
    void aHostileArticleInsertsNothingThatRuns();
    void anEncryptedNotebookWritesNothingPlain();
    void pictures();

private:
    struct CWindow {
        std::unique_ptr<CGuiTestFixture> fx;
        std::unique_ptr<CClipVaultApp> app;
        CMainFrame* frame = nullptr;
        CChildFrame* child = nullptr;
        CClipVaultDoc* doc = nullptr;
        bool Open(const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates)) {
            fx = std::make_unique<CGuiTestFixture>();
            // The program folder of an installed copy holds the scripts.
            QFile::link(QStringLiteral(CLIPVAULT_BIN_DIR "/js"), fx->ProgramFolder() + QStringLiteral("/js"));
            app = fx->MakeApp(locale);
            app->m_fnStartDialog = [] {};
            if (!app->InitInstance({QStringLiteral("clipvault")})) return false;
            frame = app->MainFrame();
            frame->resize(1000, 760);
            frame->show();
            return NewNotebook();
        }
        bool NewNotebook() {
            frame->ExecuteCommand(cmd::kCmdNew);
            child = frame->ActiveChildFrame();
            if (!child) return false;
            child->showMaximized();
            doc = &child->Document();
            const QByteArray photo = PngPicture(QColor(40, 120, 200), 300, 200);
            return doc->MakeAttachment("vltphoto.png", "http://127.0.0.1:9/photo.png", Bytes(photo)) != nullptr;
        }
        CNote* Add(const std::string& name, const QByteArray& html, const char* ext = "htm") {
            CNote* p = doc->m_rootCata.AddNewNote(name);
            p->m_nID = doc->NextNoteID();
            p->m_strExt = ext;
            p->m_nContentType = kContentHeld;
            p->m_strSource = "http://127.0.0.1:9/" + name + ".htm";
            p->SetContent(Bytes(html));
            p->m_attachNames = {"vltphoto.png"};
            child->TreeView()->InsertNote(p);
            return p;
        }
        CNoteBrowserView* View() const { return child->BrowserView(); }
        CReaderMode* Reader() const { return View() ? View()->Reader() : nullptr; }
        // Shows the note in the browser and waits until its page is read.
        bool Show(CNote* p) {
            child->ShowNote(p, false, 0);
            if (!View() || !Reader()) return false;
            return QTest::qWaitFor(
                [&] {
                    const int s = Reader()->GetState();
                    return View()->ShownNote() == p && s != CReaderMode::kNoPage && s != CReaderMode::kProbing;
                },
                15000);
        }
        bool Toggle(CReaderMode::State want) {
            frame->ExecuteCommand(cmd::kCmdReaderView);
            return QTest::qWaitFor([&] { return Reader()->GetState() == want; }, 10000);
        }
        QString Status() const { return frame->statusBar()->currentMessage(); }
    };
};

void ReaderViewTest::newsPageShowsItsArticleAloneAndKeepsItsBytes() {
    CWindow w;
    QVERIFY(w.Open());
    CNote* news = w.Add("News", NewsPage());
    const std::vector<uint8_t> before = news->Content();
    w.doc->SetModifiedFlag(false);
    QVERIFY(w.Show(news));
    // The reader reads and shows in the program's own world: the page's
    // scripts need not run.
    QVERIFY(!w.View()->PageScriptsOn());
    QCOMPARE(int(w.Reader()->GetState()), int(CReaderMode::kAvailable));
    int check = -1;
    QVERIFY(Enabled(w.frame, cmd::kCmdReaderView, &check));
    QCOMPARE(check, 0);
    QVERIFY(BodyText(w.View()).contains(QLatin1String("NAVWORDS")));

    QVERIFY(w.Toggle(CReaderMode::kOn));
    QVERIFY(Enabled(w.frame, cmd::kCmdReaderView, &check));
    QCOMPARE(check, 1);
    const QString text = BodyText(w.View());
    QVERIFY2(text.contains(QLatin1String("River town opens its new library")), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("Ada Lovelace")), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("2024-03-05")), qPrintable(text));
    QVERIFY(text.contains(QLatin1String("Paragraph 3 about the opening")));
    QVERIFY(text.contains(QLatin1String("The library at dawn.")));
    for (const char* gone : {"NAVWORDS", "ADVERTWORDS", "FOOTERWORDS", "Most read"})
        QVERIFY2(!text.contains(QLatin1String(gone)), gone);
    // The picture comes from the note's attachments, through the page's origin.
    QTRY_COMPARE(Js(w.View(), QStringLiteral("(function(){var i=document.querySelector('article img');"
                                             "return i&&i.complete?i.naturalWidth:0;})()"))
                     .toInt(),
                 300);
    // The page's styles went; the reader's own is the only one.
    QCOMPARE(Js(w.View(), QStringLiteral("document.querySelectorAll('style,link,script,nav,aside,footer').length")).toInt(), 0);
    QCOMPARE(Js(w.View(), QStringLiteral("document.styleSheets.length + document.adoptedStyleSheets.length")).toInt(), 1);
    // A relative link still leads to the page's own origin.
    QVERIFY(Js(w.View(), QStringLiteral("document.querySelector('article a').href")).toString().startsWith(QLatin1String("cvpage:")));
    QCOMPARE(w.Status(), CurrentLanguage().String(ids::IDS_READER_SHOWN));
    // Copying takes what is shown: the article, not the page's bars.
    QApplication::clipboard()->clear();
    w.View()->setFocus();
    QTRY_VERIFY(w.View()->hasFocus() || (w.View()->focusProxy() && w.View()->focusProxy()->hasFocus()));
    w.View()->OnCmdMsg(cmd::kCmdSelectAll, nullptr);
    QTRY_VERIFY(Js(w.View(), QStringLiteral("window.getSelection().toString()")).toString().contains(QLatin1String("dawn")));
    w.View()->OnCmdMsg(cmd::kCmdCopy, nullptr);
    QTRY_VERIFY(QApplication::clipboard()->text().contains(QLatin1String("Paragraph 2 about the opening")));
    QVERIFY(!QApplication::clipboard()->text().contains(QLatin1String("NAVWORDS")));

    // Refreshed, the page shows its article again.
    w.frame->ExecuteCommand(cmd::kCmdBrowserRefresh);
    QVERIFY(QTest::qWaitFor([&] { return w.Reader()->GetState() != CReaderMode::kOn; }, 5000));
    QVERIFY(QTest::qWaitFor([&] { return w.Reader()->GetState() == CReaderMode::kOn; }, 10000));
    QVERIFY(!BodyText(w.View()).contains(QLatin1String("NAVWORDS")));

    // Printing prints the article.
    if (!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) {
        QTemporaryDir out;
        const QString pdf = out.filePath(QStringLiteral("article.pdf"));
        const auto old = CNoteBrowserView::s_fnAskPrinter;
        CNoteBrowserView::s_fnAskPrinter = [&](QPrinter& printer, QWidget*) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            return true;
        };
        QSignalSpy done(w.View(), &CNoteBrowserView::PrintDone);
        w.frame->ExecuteCommand(cmd::kCmdPrint);
        QTRY_VERIFY_WITH_TIMEOUT(done.count() == 1, 20000);
        CNoteBrowserView::s_fnAskPrinter = old;
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        QVERIFY(p.waitForFinished(20000));
        const QString printed = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(printed.contains(QLatin1String("River town opens")) && !printed.contains(QLatin1String("NAVWORDS")),
                 qPrintable(printed));
    }

    // Nothing of it went into the note or its working copy.
    QCOMPARE(news->Content(), before);
    QFile work(QString::fromStdString(news->GetWorkPath()));
    QVERIFY(work.open(QIODevice::ReadOnly));
    QVERIFY(work.readAll().contains("NAVWORDS"));
    QVERIFY(!w.doc->IsModified());

    // Again, by its key from within the page: the whole page, as the note
    // keeps it.
    QWidget* target = w.View()->focusProxy() ? w.View()->focusProxy() : w.View();
    target->setFocus();
    QTest::keyClick(target, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(QTest::qWaitFor([&] { return w.Reader()->GetState() == CReaderMode::kAvailable; }, 10000));
    QTRY_VERIFY(BodyText(w.View()).contains(QLatin1String("NAVWORDS")));
    QVERIFY(Enabled(w.frame, cmd::kCmdReaderView, &check));
    QCOMPARE(check, 0);
    QCOMPARE(news->Content(), before);

    // Another note shown leaves the reader view.
    CNote* other = w.Add("Other", NewsPage());
    QVERIFY(w.Toggle(CReaderMode::kOn));
    QVERIFY(w.Show(other));
    QCOMPARE(int(w.Reader()->GetState()), int(CReaderMode::kAvailable));
    QVERIFY(BodyText(w.View()).contains(QLatin1String("NAVWORDS")));
}

void ReaderViewTest::noArticleGreysTheCommandAndSaysWhy() {
    CWindow w;
    QVERIFY(w.Open());
    CNote* links = w.Add("Links", LinksPage());
    QVERIFY(w.Show(links));
    QCOMPARE(int(w.Reader()->GetState()), int(CReaderMode::kNoArticle));
    QVERIFY(!Enabled(w.frame, cmd::kCmdReaderView));
    const QString why = CurrentLanguage().String(ids::IDS_READER_NOT_READABLE);
    QVERIFY(!why.isEmpty());
    QCOMPARE(w.Reader()->NoArticleReason(), why);
    QCOMPARE(w.Status(), why);
    // Hovering the greyed command says it too.
    int tips = 0;
    for (QAction* a : w.frame->findChildren<QAction*>())
        if (a->data().toUInt() == cmd::kCmdReaderView) {
            QCOMPARE(a->statusTip(), why);
            ++tips;
        }
    QVERIFY(tips >= 1);
    // The command does nothing while greyed.
    w.frame->ExecuteCommand(cmd::kCmdReaderView);
    QTest::qWait(300);
    QVERIFY(BodyText(w.View()).contains(QLatin1String("Link 39")));

    // A picture note is no page: greyed, and nothing to say.
    const QByteArray png = PngPicture(Qt::red, 20, 20);
    CNote* picture = w.Add("Picture", png, "png");
    w.child->ShowNote(picture, false, 0);
    QTRY_COMPARE(w.View()->ShownNote(), picture);
    QTest::qWait(500);
    QCOMPARE(int(w.Reader()->GetState()), int(CReaderMode::kNoPage));
    QVERIFY(!Enabled(w.frame, cmd::kCmdReaderView));
    QVERIFY(w.Status() != why);
    for (QAction* a : w.frame->findChildren<QAction*>())
        if (a->data().toUInt() == cmd::kCmdReaderView) QVERIFY(a->statusTip() != why);

    // Without its scripts the program says where they are missing.
    SetReaderScriptFolder(w.fx->ProgramFolder() + QStringLiteral("/nowhere"));
    QVERIFY(w.Show(w.Add("News", NewsPage())));
    QCOMPARE(int(w.Reader()->GetState()), int(CReaderMode::kNoArticle));
    QVERIFY(w.Status().contains(QLatin1String("nowhere")));
    SetReaderScriptFolder(w.fx->ProgramFolder() + QStringLiteral("/js"));
}

void ReaderViewTest::theStyleIsKeptInTheOptions() {
    CWindow w;
    QVERIFY(w.Open());
    AppOptions().m_reader = CReaderOptions();
    QVERIFY(w.Show(w.Add("News", NewsPage())));
    QVERIFY(w.Toggle(CReaderMode::kOn));
    auto style = [&](const char* what) {
        return Js(w.View(), QStringLiteral("getComputedStyle(document.body).%1").arg(QLatin1String(what))).toString();
    };
    QCOMPARE(style("backgroundColor"), QStringLiteral("rgb(255, 255, 255)"));
    QCOMPARE(style("fontSize"), QStringLiteral("19px"));
    int check = -1;
    QVERIFY(Enabled(w.frame, cmd::kCmdReaderThemeLight, &check));
    QCOMPARE(check, 1);

    w.frame->ExecuteCommand(cmd::kCmdReaderThemeDark);
    w.frame->ExecuteCommand(cmd::kCmdReaderTextLarger);
    w.frame->ExecuteCommand(cmd::kCmdReaderWidthWide);
    QTRY_COMPARE(style("backgroundColor"), QStringLiteral("rgb(28, 27, 34)"));
    QCOMPARE(style("fontSize"), QStringLiteral("22px"));
    QCOMPARE(style("maxWidth"), QString::number(52 * 22) + QStringLiteral("px"));
    QVERIFY(Enabled(w.frame, cmd::kCmdReaderThemeDark, &check));
    QCOMPARE(check, 1);
    QCOMPARE(AppOptions().m_reader.m_nTheme, 2u);
    QCOMPARE(AppOptions().m_reader.m_nTextSize, 3u);
    QCOMPARE(AppOptions().m_reader.m_nLineWidth, 2u);
    // The sizes end at the largest.
    w.frame->ExecuteCommand(cmd::kCmdReaderTextLarger);
    QVERIFY(!Enabled(w.frame, cmd::kCmdReaderTextLarger));
    w.frame->ExecuteCommand(cmd::kCmdReaderTextLarger);
    QCOMPARE(AppOptions().m_reader.m_nTextSize, 4u);
    w.frame->ExecuteCommand(cmd::kCmdReaderThemeSepia);
    QTRY_COMPARE(style("backgroundColor"), QStringLiteral("rgb(244, 236, 216)"));

    // Closing the program writes them; the next run reads them back and
    // shows the next article so.
    const QString options = w.fx->OptionsPath();
    w.app->ExitInstance();
    CAppOptions read;
    QVERIFY(read.LoadOptions(options.toStdString()));
    QCOMPARE(read.m_reader.m_nTheme, 1u);
    QCOMPARE(read.m_reader.m_nTextSize, 4u);
    QCOMPARE(read.m_reader.m_nLineWidth, 2u);
}

void ReaderViewTest::aHostileArticleInsertsNothingThatRuns() {
    CWindow w;
    QVERIFY(w.Open());
    CNote* hostile = w.Add("Hostile", HostilePage());
    QVERIFY(w.Show(hostile));
    // The page's own scripts on: a handler the reader inserted would run.
    w.frame->ExecuteCommand(cmd::kCmdPageScripts);
    QVERIFY(w.View()->PageScriptsOn());
    QVERIFY(w.Show(hostile));
    // The page's scripts did run on the page itself.
    QTRY_VERIFY(Js(w.View(), QStringLiteral("document.documentElement.hasAttribute('data-ran')")).toBool());
    QCOMPARE(int(w.Reader()->GetState()), int(CReaderMode::kAvailable));
    QVERIFY(w.Toggle(CReaderMode::kOn));
    QVERIFY(BodyText(w.View()).contains(QLatin1String("Trap two")));
    QTest::qWait(1000);

    // Hover over everything: a handler left would fire now.
    QTest::mouseMove(w.View()->focusProxy() ? w.View()->focusProxy() : w.View(), QPoint(200, 300));
    QTest::qWait(300);
    QCOMPARE(Js(w.View(), QStringLiteral("document.title")).toString(), QStringLiteral("Hostile"));
    QVERIFY(Js(w.View(), QStringLiteral("document.documentElement.hasAttribute('data-ran')")).toBool() == false);
    const QString left = Js(w.View(), QStringLiteral(
                                          "(function(){var out=[];document.querySelectorAll('*').forEach(function(e){"
                                          "if(/^(script|iframe|svg|object|embed|form|button|style|link)$/i.test(e.tagName))"
                                          "out.push(e.tagName);"
                                          "for(var i=0;i<e.attributes.length;i++){var a=e.attributes[i];"
                                          "if(/^on/i.test(a.name)||a.name=='style'||a.name=='srcdoc'||"
                                          "/^\\s*(javascript|data:text|vbscript)/i.test(a.value))out.push(e.tagName+'@'+a.name);}"
                                          "});return out.join(' ');})()"))
                             .toString();
    QVERIFY2(left.isEmpty(), qPrintable(left));
    // The link texts stay, without their addresses; the picture of the
    // notebook still shows.
    QVERIFY(BodyText(w.View()).contains(QLatin1String("a spaced one")));
    QTRY_VERIFY(Js(w.View(), QStringLiteral("(function(){var i=document.querySelector('img[src$=\"vltphoto.png\"]');"
                                            "return i&&i.complete?i.naturalWidth:0;})()"))
                    .toInt() == 300);
}

void ReaderViewTest::anEncryptedNotebookWritesNothingPlain() {
    CWindow w;
    QVERIFY(w.Open());
    QVERIFY(w.doc->Encrypt("reader passphrase", vault::MinimalLimits()));
    QVERIFY(w.doc->IsEncrypted());
    CNote* news = w.Add("News", NewsPage());
    const std::vector<uint8_t> before = news->Content();
    QVERIFY(w.Show(news));
    QVERIFY(w.Toggle(CReaderMode::kOn));
    QTRY_COMPARE(Js(w.View(), QStringLiteral("(function(){var i=document.querySelector('article img');"
                                             "return i&&i.complete?i.naturalWidth:0;})()"))
                     .toInt(),
                 300);
    QCOMPARE(news->Content(), before);
    // No plain byte of the page or its picture on disk.
    const QString work = QString::fromStdString(w.doc->GetWorkFolder(false));
    if (!work.isEmpty()) {
        QDirIterator it(work, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            QVERIFY2(!bytes.contains("River town") && !bytes.contains("\x89PNG"), qPrintable(f.fileName()));
        }
    }
}

// Pictures of the reader view for people to look at, when asked for.
void ReaderViewTest::pictures() {
    const QString folder = qEnvironmentVariable("CLIPVAULT_PICTURES");
    if (folder.isEmpty()) QSKIP("no picture folder asked for");
    CWindow w;
    QVERIFY(w.Open());
    w.frame->showMaximized();
    auto snap = [&](const QString& name) {
        QTest::qWait(900);
        QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                     folder + QStringLiteral("/reader-%1.png").arg(name)});
    };
    QFile docs(QStringLiteral(CLIPVAULT_SOURCE_DIR "/tests/capture/gui/reader_docs_page.html"));
    QVERIFY(docs.open(QIODevice::ReadOnly));
    CNote* docsNote = w.Add("Docs", docs.readAll());
    CNote* news = w.Add("News", NewsPage());
    CNote* links = w.Add("Links", LinksPage());
    AppOptions().m_reader = CReaderOptions();
    QVERIFY(w.Show(docsNote));
    snap(QStringLiteral("docs-page"));
    QVERIFY(w.Toggle(CReaderMode::kOn));
    snap(QStringLiteral("docs-light"));
    w.frame->ExecuteCommand(cmd::kCmdReaderThemeDark);
    snap(QStringLiteral("docs-dark"));
    QVERIFY(w.Show(news));
    snap(QStringLiteral("news-page"));
    QVERIFY(w.Toggle(CReaderMode::kOn));
    snap(QStringLiteral("news-dark"));
    w.frame->ExecuteCommand(cmd::kCmdReaderThemeLight);
    Js(w.View(), QStringLiteral("document.querySelector('figure').scrollIntoView()"));
    snap(QStringLiteral("news-light"));
    w.frame->ExecuteCommand(cmd::kCmdReaderThemeSepia);
    snap(QStringLiteral("news-sepia"));
    // The style menu from the button's arrow, as the user opens it.
    QToolBar* bar = w.frame->findChild<QToolBar*>(QStringLiteral("toolbar%1").arg(cmd::kToolbarSecond));
    QVERIFY(bar);
    QWidget* button = nullptr;
    for (QAction* a : bar->actions())
        if (a->data().toUInt() == cmd::kCmdReaderView) button = bar->widgetForAction(a);
    QVERIFY(button);
    QTimer::singleShot(1500, [&] {
        snap(QStringLiteral("news-style-menu"));
        if (QWidget* menu = QApplication::activePopupWidget()) menu->close();
    });
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(button->width() - 4, button->height() / 2));
    QTest::qWait(300);
    QVERIFY(w.Show(links));
    snap(QStringLiteral("links-greyed"));

    w.app.reset();
    w.fx.reset();
    CWindow zh;
    QVERIFY(zh.Open(QLocale(QLocale::Chinese, QLocale::China)));
    zh.frame->showMaximized();
    QVERIFY(zh.Show(zh.Add("Links", LinksPage())));
    snap(QStringLiteral("zh-links-greyed"));
}

CLIPVAULT_GUI_TEST_MAIN(ReaderViewTest)
#include "ReaderViewTest.moc"
