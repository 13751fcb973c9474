// The editing engine on the real web engine: every command against the page's
// DOM, the status it reports, the page's scripts kept from running, and saves
// that leave what was not edited byte for byte as it was.
#include "support/GuiTestSupport.h"

#include "platform/gui/LanguageModule.h"
#include "views/WebEditEngine.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QDialog>
#include <QWebEngineFindTextResult>
#include <QWebEngineView>

using namespace edit;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

const char kPage[] =
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>T</title>\n"
    "<style>  p { color: #123456 }  </style>\n"
    "<script>document.documentElement.setAttribute('data-ran', '1');</script>\n"
    "</head>\n<body onload=\"document.body.setAttribute('data-loaded', '1')\">\n"
    "<p id=\"a\">alpha beta</p><p id=\"b\">gamma</p>\n"
    "<script>document.write('<p id=\"w\">' + 'written</p>');</script>\n"
    "<div id=\"box\" style=\"width:100px;height:40px\">box</div>\n"
    "<img id=\"pic\" src=\"missing.png\" width=\"20\" height=\"20\">\n"
    "</body>\n</html>\n";

}  // namespace

class CWebEditEngineTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void beforeLoadNothingRuns();
    void pageScriptsDoNotRun();
    void textCommands();
    void clipboardUndoAndSelection();
    void tables();
    void tabGoesFromCellToCell();
    void hyperlinks();
    void blockFormats();
    void fonts();
    void positioning();
    void bordersAndDetailsAreNeverSaved();
    void options();
    void insertImage();
    void findAndPrint();
    void unchangedSaves();
    void editedSaves();
    void textPage();
    void noNavigationNoFilesOutside();
    void blankPageCallbacksAndClose();

private:
    // Loads `html` as a file of the temporary folder and waits for the engine.
    bool Load(const QByteArray& html, const QString& name = QStringLiteral("page.htm"));
    QVariant Js(const QString& script) { return m_pEngine->Evaluate(script); }
    QString Html(const QString& id) {
        return Js(QStringLiteral("(function(){var e=document.getElementById('%1');return e?e.outerHTML:'';})()").arg(id))
            .toString();
    }
    // Selects the contents of element `id` (or the `from`-`to` characters of its first text).
    void Select(const QString& id, int from = -1, int to = -1) {
        Js(QStringLiteral("(function(){var e=document.getElementById('%1'),r=document.createRange();"
                          "if(%2<0)r.selectNodeContents(e);else{r.setStart(e.firstChild,%2);r.setEnd(e.firstChild,%3);}"
                          "var s=getSelection();s.removeAllRanges();s.addRange(r);})()")
               .arg(id)
               .arg(from)
               .arg(to));
        Settle();
    }
    void Caret(const QString& id) {
        Js(QStringLiteral("(function(){var e=document.getElementById('%1'),r=document.createRange();"
                          "r.selectNodeContents(e);r.collapse(true);var s=getSelection();s.removeAllRanges();"
                          "s.addRange(r);})()")
               .arg(id));
        Settle();
    }
    // The engine's state after what was sent so far.
    void Settle() {
        Js(QStringLiteral("0"));
        QTest::qWait(60);
        QVERIFY(m_pEngine->WaitIdle());
    }
    int32_t Run(int nCmd, const QVariant& arg = QVariant()) {
        const int32_t hr = m_pEngine->Exec(nCmd, kDontPromptUser, arg);
        m_pEngine->WaitIdle();
        return hr;
    }

    std::unique_ptr<CGuiTestFixture> m_pFx;
    CLanguageModule m_lang;
    std::unique_ptr<CWebEditEngine> m_pEngine;
    QTemporaryDir m_dir;
    int m_nReady = 0;
};

void CWebEditEngineTest::initTestCase() {
    m_pFx = std::make_unique<CGuiTestFixture>(QStringList{QStringLiteral("Eng")}, false);
    QVERIFY(m_lang.Load(CLanguageModule::ModulePath(m_pFx->ProgramFolder(), QStringLiteral("Eng"))));
    SetCurrentLanguage(&m_lang);
    m_pEngine = std::make_unique<CWebEditEngine>();
    m_pEngine->m_fnReady = [this] { ++m_nReady; };
    m_pEngine->Widget()->resize(800, 600);
    m_pEngine->Widget()->show();
    QVERIFY(m_dir.isValid());
}

void CWebEditEngineTest::cleanupTestCase() {
    m_pEngine.reset();
    SetCurrentLanguage(nullptr);
}

bool CWebEditEngineTest::Load(const QByteArray& html, const QString& name) {
    const QString path = m_dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    f.write(html);
    f.close();
    if (m_pEngine->LoadFile(path) != kOk) return false;
    if (!QTest::qWaitFor([this] { return m_pEngine->IsReady(); }, 15000)) return false;
    return m_pEngine->WaitIdle();
}

void CWebEditEngineTest::beforeLoadNothingRuns() {
    CWebEditEngine fresh;
    QCOMPARE(fresh.QueryStatus(kBold), 0u);
    QCOMPARE(fresh.Exec(kBold, kDontPromptUser), kErrDisabled);
    QCOMPARE(fresh.Exec(99, kDontPromptUser), kErrNotSupported);
    QCOMPARE(fresh.LoadFile(m_dir.filePath(QStringLiteral("no-such.htm"))), kErrFileNotFound);
    QCOMPARE(fresh.Selection().m_strType, QStringLiteral("None"));
    QCOMPARE(fresh.Widget()->accessibleName(), QStringLiteral("Note editor"));
}

void CWebEditEngineTest::pageScriptsDoNotRun() {
    QVERIFY(Load(kPage));
    QTRY_COMPARE(m_nReady, 1);
    QVERIFY(m_pEngine->QueryStatus(kEditMode) & kLatched);
    QCOMPARE(Js(QStringLiteral("document.documentElement.getAttribute('data-ran')")), QVariant());
    QCOMPARE(Js(QStringLiteral("document.body.getAttribute('data-loaded')")), QVariant());
    QCOMPARE(Html(QStringLiteral("w")), QString());
    // A caret from the start: commands work before the first click.
    QVERIFY(m_pEngine->QueryStatus(kInsertTable) & kEnabled);
    QVERIFY(m_pEngine->QueryStatus(kBold) & kEnabled);
    QCOMPARE(Js(QStringLiteral("document.designMode")).toString(), QStringLiteral("on"));
    // Edit mode off and on again.
    QCOMPARE(Run(kEditMode, false), kOk);
    QCOMPARE(Js(QStringLiteral("document.designMode")).toString(), QStringLiteral("off"));
    QVERIFY(!(m_pEngine->QueryStatus(kEditMode) & kLatched));
    QVERIFY(!(m_pEngine->QueryStatus(kBold) & kEnabled));
    QCOMPARE(m_pEngine->Exec(kBold, kDontPromptUser), kErrDisabled);
    QCOMPARE(Run(kEditMode, true), kOk);
    QVERIFY(m_pEngine->QueryStatus(kEditMode) & kLatched);
    // A second load does not call the host's ready again.
    QVERIFY(Load(kPage));
    QTRY_COMPARE(m_nReady, 1);
}

void CWebEditEngineTest::textCommands() {
    QVERIFY(Load(kPage));
    Select(QStringLiteral("a"), 0, 5);
    QVERIFY(!(m_pEngine->QueryStatus(kBold) & kLatched));
    QCOMPARE(Run(kBold), kOk);
    QCOMPARE(Html(QStringLiteral("a")), QStringLiteral("<p id=\"a\"><b>alpha</b> beta</p>"));
    QVERIFY(m_pEngine->QueryStatus(kBold) & kLatched);
    Run(kItalic);
    Run(kUnderline);
    QCOMPARE(Html(QStringLiteral("a")), QStringLiteral("<p id=\"a\"><b><i><u>alpha</u></i></b> beta</p>"));
    QVERIFY(m_pEngine->QueryStatus(kItalic) & kLatched);
    QVERIFY(m_pEngine->QueryStatus(kUnderline) & kLatched);

    Caret(QStringLiteral("b"));
    Run(kJustifyCenter);
    QVERIFY(Html(QStringLiteral("b")).contains(QStringLiteral("center")));
    QVERIFY(m_pEngine->QueryStatus(kJustifyCenter) & kLatched);
    Run(kJustifyRight);
    QVERIFY(Html(QStringLiteral("b")).contains(QStringLiteral("right")));
    Run(kJustifyLeft);
    QVERIFY(Html(QStringLiteral("b")).contains(QStringLiteral("left")));

    Run(kIndent);
    QCOMPARE(Js(QStringLiteral("document.getElementById('b').parentElement.tagName")).toString(),
             QStringLiteral("BLOCKQUOTE"));
    Run(kOutdent);
    QCOMPARE(Js(QStringLiteral("document.getElementById('b').parentElement.tagName")).toString(),
             QStringLiteral("BODY"));

    Caret(QStringLiteral("b"));
    Run(kOrderList);
    QCOMPARE(Js(QStringLiteral("document.querySelectorAll('ol li').length")).toInt(), 1);
    QVERIFY(m_pEngine->QueryStatus(kOrderList) & kLatched);
    Run(kUnorderList);
    QCOMPARE(Js(QStringLiteral("document.querySelectorAll('ol').length")).toInt(), 0);
    QCOMPARE(Js(QStringLiteral("document.querySelectorAll('ul li').length")).toInt(), 1);
    QVERIFY(m_pEngine->QueryStatus(kUnorderList) & kLatched);
}

void CWebEditEngineTest::clipboardUndoAndSelection() {
    QVERIFY(Load(kPage));
    Select(QStringLiteral("a"), 6, 10);
    const CEditSelection sel = m_pEngine->Selection();
    QCOMPARE(sel.m_strType, QStringLiteral("Text"));
    QCOMPARE(sel.m_strText, QStringLiteral("beta"));
    QCOMPARE(sel.m_strTag, QStringLiteral("P"));
    QCOMPARE(sel.m_strParentTag, QStringLiteral("BODY"));

    QApplication::clipboard()->clear();
    QCOMPARE(Run(kCopy), kOk);
    QTRY_COMPARE(QApplication::clipboard()->text(), QStringLiteral("beta"));
    QCOMPARE(Run(kCut), kOk);
    QTRY_COMPARE(Html(QStringLiteral("a")), QStringLiteral("<p id=\"a\">alpha&nbsp;</p>"));
    Caret(QStringLiteral("b"));
    QCOMPARE(Run(kPaste), kOk);
    QTRY_COMPARE(Html(QStringLiteral("b")), QStringLiteral("<p id=\"b\">betagamma</p>"));

    QVERIFY(m_pEngine->QueryStatus(kUndo) & kEnabled);
    QCOMPARE(Run(kUndo), kOk);
    QTRY_COMPARE(Html(QStringLiteral("b")), QStringLiteral("<p id=\"b\">gamma</p>"));
    QVERIFY(m_pEngine->QueryStatus(kRedo) & kEnabled);
    QCOMPARE(Run(kRedo), kOk);
    QTRY_COMPARE(Html(QStringLiteral("b")), QStringLiteral("<p id=\"b\">betagamma</p>"));

    Select(QStringLiteral("b"), 0, 4);
    QCOMPARE(Run(kDelete), kOk);
    QCOMPARE(Html(QStringLiteral("b")), QStringLiteral("<p id=\"b\">gamma</p>"));

    Select(QStringLiteral("b"), 0, 5);
    m_pEngine->PutSelectionText(QStringLiteral("<x> & y"));
    Settle();
    QCOMPARE(Html(QStringLiteral("b")), QStringLiteral("<p id=\"b\">&lt;x&gt; &amp; y</p>"));

    m_pEngine->SetBackgroundColor(QStringLiteral("#FF0000"));
    Settle();
    QCOMPARE(Js(QStringLiteral("document.body.getAttribute('bgcolor')")).toString(), QStringLiteral("#FF0000"));

    QCOMPARE(Run(kSelectAll), kOk);
    Settle();
    QVERIFY(m_pEngine->Selection().m_strText.contains(QStringLiteral("alpha")));

    // A click on a picture selects it whole.
    Js(QStringLiteral("(function(){var i=document.getElementById('pic'),r=i.getBoundingClientRect();"
                      "i.dispatchEvent(new MouseEvent('mousedown',{bubbles:true,button:0,clientX:r.left+2,clientY:r.top+2}));"
                      "i.dispatchEvent(new MouseEvent('mouseup',{bubbles:true,button:0}));})()"));
    Settle();
    QCOMPARE(m_pEngine->Selection().m_strType, QStringLiteral("Control"));
    QCOMPARE(m_pEngine->Selection().m_strTag, QStringLiteral("IMG"));
}

void CWebEditEngineTest::tables() {
    QVERIFY(Load(kPage));
    Caret(QStringLiteral("b"));
    for (int cmd : {kInsertRow, kInsertColumn, kDeleteRows, kDeleteColumns, kMergeCells, kSplitCell, kInsertCell,
                    kDeleteCells}) {
        QCOMPARE(m_pEngine->QueryStatus(cmd), unsigned(kSupported));
        QCOMPARE(m_pEngine->Exec(cmd, kDontPromptUser), kErrDisabled);
    }
    QCOMPARE(m_pEngine->Exec(kInsertTable, kDontPromptUser, QVariant()), kErrInvalidArg);
    // The dialog's preset, with an empty caption.
    const QVariantList preset{2, 2, QStringLiteral("BORDER=1 BGCOLOR=black onclick=alert(1)"),
                              QStringLiteral("BGCOLOR=white"), QString()};
    QCOMPARE(Run(kInsertTable, preset), kOk);
    QCOMPARE(Js(QStringLiteral("document.querySelectorAll('table').length")).toInt(), 1);
    QCOMPARE(Js(QStringLiteral("document.querySelectorAll('caption').length")).toInt(), 0);
    QCOMPARE(Js(QStringLiteral("document.querySelector('table').getAttribute('border')")).toString(),
             QStringLiteral("1"));
    QCOMPARE(Js(QStringLiteral("document.querySelector('table').getAttribute('bgcolor')")).toString(),
             QStringLiteral("black"));
    QVERIFY(!Js(QStringLiteral("document.querySelector('table').hasAttribute('onclick')")).toBool());
    QCOMPARE(Js(QStringLiteral("document.querySelectorAll('td[bgcolor=white]').length")).toInt(), 4);
    QCOMPARE(Run(kInsertTable, QVariantList{1, 1, QVariant(), QVariant(), QStringLiteral("Cap")}), kOk);
    QCOMPARE(Js(QStringLiteral("document.querySelector('caption') && document.querySelector('caption').textContent"))
                 .toString(),
             QStringLiteral("Cap"));
    QCOMPARE(Run(kUndo), kOk);
    QTRY_COMPARE(Js(QStringLiteral("document.querySelectorAll('table').length")).toInt(), 1);

    auto cells = [this] {
        return Js(QStringLiteral("Array.prototype.map.call(document.querySelector('table').rows,"
                                 "function(r){return Array.prototype.map.call(r.cells,function(c){"
                                 "return (c.textContent||'.')+(c.colSpan>1?'*'+c.colSpan:'')+"
                                 "(c.rowSpan>1?'^'+c.rowSpan:'');}).join(',');}).join('|')"))
            .toString();
    };
    Js(QStringLiteral("var t=document.querySelector('table');t.rows[0].cells[0].textContent='a';"
                      "t.rows[0].cells[1].textContent='b';t.rows[1].cells[0].textContent='c';"
                      "t.rows[1].cells[1].textContent='d';"
                      "['a','b','c','d'].forEach(function(n,i){t.rows[i>>1].cells[i&1].id='c'+n;});"));
    QCOMPARE(cells(), QStringLiteral("a,b|c,d"));
    Caret(QStringLiteral("ca"));
    for (int cmd : {kInsertRow, kInsertColumn, kDeleteRows, kDeleteColumns, kMergeCells, kInsertCell, kDeleteCells})
        QVERIFY2(m_pEngine->QueryStatus(cmd) & kEnabled, qPrintable(QString::number(cmd)));
    QVERIFY(!(m_pEngine->QueryStatus(kSplitCell) & kEnabled));

    Run(kInsertRow);
    QCOMPARE(cells(), QStringLiteral("a,b|.,.|c,d"));
    // The new table is the old one's copy: its attributes, nothing added.
    QCOMPARE(Js(QStringLiteral("document.querySelectorAll('table').length")).toInt(), 1);
    const QString table = Js(QStringLiteral("document.querySelector('table').outerHTML")).toString();
    QVERIFY2(table.startsWith(QStringLiteral("<table border=\"1\" bgcolor=\"black\"><tbody>")) &&
                 !table.contains(QStringLiteral("style")) && !table.contains(QStringLiteral("data-vlt")),
             qPrintable(table));
    QCOMPARE(m_pEngine->Selection().m_strTag, QStringLiteral("TD"));
    Caret(QStringLiteral("ca"));
    Run(kInsertColumn);
    QCOMPARE(cells(), QStringLiteral("a,.,b|.,.,.|c,.,d"));
    Caret(QStringLiteral("ca"));
    Run(kMergeCells);
    QCOMPARE(cells(), QStringLiteral("a*2,b|.,.,.|c,.,d"));
    Caret(QStringLiteral("ca"));
    QVERIFY(m_pEngine->QueryStatus(kSplitCell) & kEnabled);
    Run(kSplitCell);
    QCOMPARE(cells(), QStringLiteral("a,.,b|.,.,.|c,.,d"));
    Caret(QStringLiteral("cb"));
    Run(kInsertCell);
    QCOMPARE(cells(), QStringLiteral("a,.,.,b|.,.,.|c,.,d"));
    Caret(QStringLiteral("cb"));
    Run(kDeleteCells);
    QCOMPARE(cells(), QStringLiteral("a,.,.|.,.,.|c,.,d"));
    Caret(QStringLiteral("cc"));
    Run(kDeleteRows);
    QCOMPARE(cells(), QStringLiteral("a,.,.|.,.,."));
    Caret(QStringLiteral("ca"));
    Run(kDeleteColumns);
    QCOMPARE(cells(), QStringLiteral(".,.|.,."));
    // Each of them undoes.
    QCOMPARE(Run(kUndo), kOk);
    QTRY_COMPARE(cells(), QStringLiteral("a,.,.|.,.,."));
    QCOMPARE(Js(QStringLiteral("document.querySelectorAll('[data-vlt-table], [data-vlt-caret]').length")).toInt(), 0);
}

void CWebEditEngineTest::tabGoesFromCellToCell() {
    QVERIFY(Load("<p id=\"p\">text</p><table><tr><td id=\"a\">a</td><td id=\"b\">b</td></tr></table>"));
    QWidget* keys = m_pEngine->View()->focusProxy();
    keys->setFocus();
    // Each key, and the cell the caret is in then ("new" for one without id).
    auto press = [&](Qt::Key key) {
        QTest::keyClick(keys, key, key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        Settle();
        return Js(QStringLiteral("(function(){var n=getSelection().anchorNode;while(n&&n.tagName!=='TD')"
                                 "n=n.parentNode;return n?(n.id||'new'):'';})()"))
            .toString();
    };
    Caret(QStringLiteral("a"));
    QCOMPARE(press(Qt::Key_Backtab), QStringLiteral("a"));
    QCOMPARE(press(Qt::Key_Tab), QStringLiteral("b"));
    QCOMPARE(press(Qt::Key_Tab), QStringLiteral("new"));
    QCOMPARE(press(Qt::Key_Backtab), QStringLiteral("b"));
    // A new row, and no tab typed anywhere.
    QCOMPARE(Js(QStringLiteral("var t=document.querySelector('table');t.rows.length+t.textContent")).toString(),
             QStringLiteral("2ab"));
    QCOMPARE(Run(kUndo), kOk);
    QTRY_COMPARE(Js(QStringLiteral("document.querySelector('table').rows.length")).toInt(), 1);
    // Outside a table Tab types a tab, as before.
    Caret(QStringLiteral("p"));
    press(Qt::Key_Tab);
    QTRY_COMPARE(Js(QStringLiteral("document.getElementById('p').textContent")).toString(), QStringLiteral("\ttext"));
}

void CWebEditEngineTest::hyperlinks() {
    QVERIFY(Load(kPage));
    Select(QStringLiteral("a"), 6, 10);
    QCOMPARE(Run(kHyperlink, QStringLiteral("http://example.com/x")), kOk);
    QCOMPARE(Html(QStringLiteral("a")), QStringLiteral("<p id=\"a\">alpha <a href=\"http://example.com/x\">beta</a></p>"));
    Settle();
    const CEditSelection sel = m_pEngine->Selection();
    QVERIFY(sel.m_strTag == QStringLiteral("A") || sel.m_strParentTag == QStringLiteral("A"));
    QVERIFY(sel.m_strHref == QStringLiteral("http://example.com/x") ||
            sel.m_strParentHref == QStringLiteral("http://example.com/x"));
    // A caret inside the link and a null address take the link away.
    Js(QStringLiteral("(function(){var a=document.querySelector('#a a'),r=document.createRange();"
                      "r.setStart(a.firstChild,2);r.collapse(true);getSelection().removeAllRanges();"
                      "getSelection().addRange(r);})()"));
    Settle();
    QCOMPARE(Run(kHyperlink, QString()), kOk);
    QCOMPARE(Html(QStringLiteral("a")), QStringLiteral("<p id=\"a\">alpha beta</p>"));
}

void CWebEditEngineTest::blockFormats() {
    QVERIFY(Load(kPage));
    QVariant list;
    Caret(QStringLiteral("b"));
    QCOMPARE(m_pEngine->Exec(kBlockFormats, kDontPromptUser, QVariant(), &list), kOk);
    const QStringList names = list.toStringList();
    QVERIFY(names.size() >= 12);
    QVERIFY(names.contains(QStringLiteral("Heading 1")));
    QVERIFY(names.contains(QStringLiteral("Formatted")));
    QVariant current;
    QCOMPARE(m_pEngine->Exec(kBlockFormat, kDontPromptUser, QVariant(), &current), kOk);
    QCOMPARE(current.toString(), QStringLiteral("Normal"));
    QCOMPARE(Run(kBlockFormat, QStringLiteral("Heading 1")), kOk);
    QCOMPARE(Js(QStringLiteral("document.querySelectorAll('h1').length")).toInt(), 1);
    QCOMPARE(m_pEngine->Exec(kBlockFormat, kDontPromptUser, QVariant(), &current), kOk);
    QCOMPARE(current.toString(), QStringLiteral("Heading 1"));
    QCOMPARE(Run(kBlockFormat, QStringLiteral("Formatted")), kOk);
    QCOMPARE(Js(QStringLiteral("document.querySelectorAll('pre').length")).toInt(), 1);
    QCOMPARE(Run(kBlockFormat, QStringLiteral("Bulleted List")), kOk);
    QCOMPARE(Js(QStringLiteral("document.querySelectorAll('ul li').length")).toInt(), 1);
    QCOMPARE(m_pEngine->Exec(kBlockFormat, kDontPromptUser, QVariant(), &current), kOk);
    QCOMPARE(current.toString(), QStringLiteral("Bulleted List"));
    QCOMPARE(m_pEngine->Exec(kBlockFormat, kDontPromptUser, QStringLiteral("No such style")), kErrInvalidArg);
}

void CWebEditEngineTest::fonts() {
    QVERIFY(Load("<html><body><p id=\"a\" style=\"font-family: 'Courier New', monospace\">alpha beta</p>"
                 "<p id=\"b\">gamma</p></body></html>"));
    Caret(QStringLiteral("a"));
    QVariant v;
    QCOMPARE(m_pEngine->Exec(kFontName, kDontPromptUser, QVariant(), &v), kOk);
    QCOMPARE(v.toString(), QStringLiteral("Courier New"));
    Select(QStringLiteral("b"));
    QCOMPARE(Run(kFontName, QStringLiteral("Arial")), kOk);
    QCOMPARE(Run(kFontSize, 5), kOk);
    QCOMPARE(Run(kForeColor, 0x0000FF), kOk);  // red as 0x00BBGGRR
    const QString b = Html(QStringLiteral("b"));
    QVERIFY2(b.contains(QStringLiteral("face=\"Arial\"")), qPrintable(b));
    QVERIFY2(b.contains(QStringLiteral("size=\"5\"")), qPrintable(b));
    QVERIFY2(b.contains(QStringLiteral("color=\"#ff0000\"")), qPrintable(b));
    Settle();
    QCOMPARE(m_pEngine->Exec(kFontName, kDontPromptUser, QVariant(), &v), kOk);
    QCOMPARE(v.toString(), QStringLiteral("Arial"));
    QCOMPARE(m_pEngine->Exec(kFontSize, kDontPromptUser, QVariant(), &v), kOk);
    QCOMPARE(v.toInt(), 5);
    QCOMPARE(m_pEngine->Exec(kForeColor, kDontPromptUser, QVariant(), &v), kOk);
    QCOMPARE(v.toInt(), 0x0000FF);
    QCOMPARE(m_pEngine->Exec(kFontSize, kDontPromptUser, 9), kErrInvalidArg);

    // The font dialog: cancelled, then a bold 24-point Serif.
    auto saved = CWebEditEngine::s_fnChooseFont;
    CWebEditEngine::s_fnChooseFont = [](QFont&, QWidget*) { return false; };
    Select(QStringLiteral("a"));
    QCOMPARE(m_pEngine->Exec(kFont, kPromptUser), kFalse);
    CWebEditEngine::s_fnChooseFont = [](QFont& f, QWidget*) {
        f = QFont(QStringLiteral("Serif"), 24);
        f.setBold(true);
        f.setUnderline(true);
        return true;
    };
    QCOMPARE(m_pEngine->Exec(kFont, kPromptUser), kOk);
    m_pEngine->WaitIdle();
    CWebEditEngine::s_fnChooseFont = saved;
    const QString a = Html(QStringLiteral("a")).toLower();
    QVERIFY2(a.contains(QStringLiteral("face=\"serif\"")) && a.contains(QStringLiteral("size=\"6\"")) &&
                 a.contains(QStringLiteral("<b>")) && a.contains(QStringLiteral("<u>")) &&
                 !a.contains(QStringLiteral("<i>")),
             qPrintable(a));
}

void CWebEditEngineTest::positioning() {
    QVERIFY(Load("<html><body style=\"margin:8px\"><p id=\"t\">text</p>"
                 "<div id=\"box\" style=\"width:100px;height:40px;margin-left:30px\">box</div>"
                 "<div id=\"two\" style=\"position:absolute;left:300px;top:300px;z-index:4\">two</div></body></html>"));
    Caret(QStringLiteral("box"));
    for (int cmd : {kNudge, kLockElement, kSendToBack, kBringToFront})
        QVERIFY(!(m_pEngine->QueryStatus(cmd) & kEnabled));
    QVERIFY(m_pEngine->QueryStatus(kMakeAbsolute) & kEnabled);
    const QVariant before = Js(QStringLiteral("(function(){var r=document.getElementById('box').getBoundingClientRect();"
                                              "return [r.left, r.top];})()"));
    QCOMPARE(Run(kMakeAbsolute), kOk);
    const QVariant after = Js(QStringLiteral("(function(){var r=document.getElementById('box').getBoundingClientRect();"
                                             "return [r.left, r.top];})()"));
    QCOMPARE(Js(QStringLiteral("document.getElementById('box').style.position")).toString(), QStringLiteral("absolute"));
    // It stays where it stood (its margin moves with it).
    QCOMPARE(after.toList().value(0).toDouble(), before.toList().value(0).toDouble());
    QCOMPARE(after.toList().value(1).toDouble(), before.toList().value(1).toDouble());
    QVERIFY(m_pEngine->QueryStatus(kMakeAbsolute) & kLatched);

    auto pos = [this] {
        return Js(QStringLiteral("(function(){var s=document.getElementById('box').style;"
                                 "return parseInt(s.left)+','+parseInt(s.top)+','+s.zIndex;})()"))
            .toString();
    };
    const QStringList start = pos().split(QLatin1Char(','));
    const int left = start[0].toInt(), top = start[1].toInt();
    QCOMPARE(Run(kNudge, QPoint(5, -3)), kOk);
    QCOMPARE(pos(), QStringLiteral("%1,%2,").arg(left + 5).arg(top - 3));
    QCOMPARE(m_pEngine->Exec(kNudge, kDontPromptUser, 5), kErrInvalidArg);

    Run(kBringToFront);
    QCOMPARE(pos().section(QLatin1Char(','), 2), QStringLiteral("5"));
    Run(kSendBackward);
    QCOMPARE(pos().section(QLatin1Char(','), 2), QStringLiteral("4"));
    Run(kBringForward);
    QCOMPARE(pos().section(QLatin1Char(','), 2), QStringLiteral("5"));
    Run(kSendToBack);
    QCOMPARE(pos().section(QLatin1Char(','), 2), QStringLiteral("3"));
    Run(kSendBehindText);
    QVERIFY(pos().section(QLatin1Char(','), 2).toInt() < 0);
    Run(kBringAboveText);
    QVERIFY(pos().section(QLatin1Char(','), 2).toInt() >= 0);

    // Dragging snaps to the grid; constrained, it moves one way only.
    auto drag = [this](int dx, int dy) {
        Js(QStringLiteral("(function(){var b=document.getElementById('box'),r=b.getBoundingClientRect(),"
                          "x=r.left+3,y=r.top+3,o={bubbles:true,button:0};"
                          "function ev(t,cx,cy){o.clientX=cx;o.clientY=cy;b.dispatchEvent(new MouseEvent(t,o));}"
                          "ev('mousedown',x,y);ev('mousemove',x+%1,y+%2);ev('mouseup',x+%1,y+%2);})()")
               .arg(dx)
               .arg(dy));
        Settle();
    };
    QCOMPARE(Run(kAlignGrid, QPoint(25, 20)), kOk);
    drag(33, 47);
    QStringList p = pos().split(QLatin1Char(','));
    QCOMPARE(p[0].toInt() % 25, 0);
    QCOMPARE(p[1].toInt() % 20, 0);
    QCOMPARE(m_pEngine->Selection().m_strType, QStringLiteral("Control"));
    QCOMPARE(Run(kAlignGrid, QPoint(0, 0)), kOk);
    QVERIFY(!(m_pEngine->QueryStatus(kConstrain) & kLatched));
    QCOMPARE(Run(kConstrain, true), kOk);
    QVERIFY(m_pEngine->QueryStatus(kConstrain) & kLatched);
    const QStringList p0 = pos().split(QLatin1Char(','));
    drag(40, 7);
    p = pos().split(QLatin1Char(','));
    QCOMPARE(p[0].toInt(), p0[0].toInt() + 40);
    QCOMPARE(p[1].toInt(), p0[1].toInt());
    Run(kConstrain, false);

    // Locked, it neither drags nor nudges.
    QCOMPARE(Run(kLockElement), kOk);
    QVERIFY(m_pEngine->QueryStatus(kLockElement) & kLatched);
    const QString locked = pos();
    drag(50, 50);
    QCOMPARE(pos(), locked);
    QCOMPARE(m_pEngine->Exec(kNudge, kDontPromptUser, QPoint(1, 1)), kErrDisabled);
    Run(kLockElement);
    QVERIFY(!(m_pEngine->QueryStatus(kLockElement) & kLatched));

    Run(kMakeAbsolute);
    QCOMPARE(Js(QStringLiteral("document.getElementById('box').style.position")).toString(), QString());
}

void CWebEditEngineTest::bordersAndDetailsAreNeverSaved() {
    const QByteArray page = "<html><head><title>x</title></head><body><table id=\"t\"><tr><td>c</td></tr></table>"
                            "<a name=\"here\"></a><p id=\"p\">text</p></body></html>";
    QVERIFY(Load(page, QStringLiteral("borders.htm")));
    QCOMPARE(Run(kShowBorders, true), kOk);
    QCOMPARE(Run(kShowDetails, true), kOk);
    QVERIFY(m_pEngine->QueryStatus(kShowBorders) & kLatched);
    QVERIFY(m_pEngine->QueryStatus(kShowDetails) & kLatched);
    QCOMPARE(Js(QStringLiteral("getComputedStyle(document.querySelector('td')).outlineStyle")).toString(),
             QStringLiteral("dashed"));
    const QString path = m_dir.filePath(QStringLiteral("borders.htm"));
    // Shown, and nothing else changed: the file stays as it was.
    QCOMPARE(m_pEngine->Save(QString()), kOk);
    QCOMPARE(ReadAll(path), page);
    Caret(QStringLiteral("p"));
    Js(QStringLiteral("document.execCommand('insertText', false, 'new ')"));
    QCOMPARE(m_pEngine->Save(QString()), kOk);
    const QByteArray saved = ReadAll(path);
    QVERIFY(saved.contains("new text"));
    QVERIFY(!saved.contains("dashed"));
    QVERIFY(!saved.contains("style"));
    QCOMPARE(Run(kShowBorders, false), kOk);
    QVERIFY(!(m_pEngine->QueryStatus(kShowBorders) & kLatched));
    QCOMPARE(Js(QStringLiteral("getComputedStyle(document.querySelector('td')).outlineStyle")).toString(),
             QStringLiteral("none"));
}

void CWebEditEngineTest::options() {
    QVERIFY(Load(kPage));
    for (int cmd : {kActivateActiveX, kActivateApplets, kActivateDtc}) {
        QVERIFY(!(m_pEngine->QueryStatus(cmd) & kLatched));
        QCOMPARE(Run(cmd, true), kOk);
        QVERIFY(m_pEngine->QueryStatus(cmd) & kLatched);
        QCOMPARE(Run(cmd, false), kOk);
        QVERIFY(!(m_pEngine->QueryStatus(cmd) & kLatched));
    }
}

void CWebEditEngineTest::insertImage() {
    QVERIFY(Load(QByteArray(kPage).replace("</body>", "<p id=\"w2\">w2</p></body>"), QStringLiteral("img.htm")));
    QTemporaryDir elsewhere;
    const QString picture = elsewhere.filePath(QStringLiteral("dot.png"));
    WriteAll(picture, QByteArray::fromHex("89504e470d0a1a0a"));
    auto saved = CWebEditEngine::s_fnChooseImage;
    CWebEditEngine::s_fnChooseImage = [](QString&, QWidget*) { return false; };
    Caret(QStringLiteral("b"));
    QCOMPARE(m_pEngine->Exec(kInsertImage, kPromptUser), kFalse);
    CWebEditEngine::s_fnChooseImage = [picture](QString& address, QWidget*) {
        address = picture;
        return true;
    };
    QCOMPARE(m_pEngine->Exec(kInsertImage, kPromptUser), kOk);
    m_pEngine->WaitIdle();
    CWebEditEngine::s_fnChooseImage = saved;
    const QString src = Js(QStringLiteral("document.querySelector('#b img').getAttribute('src')")).toString();
    QVERIFY2(src.startsWith(QStringLiteral("vlt")) && src.endsWith(QStringLiteral(".png")) &&
                 !src.contains(QLatin1Char('/')),
             qPrintable(src));
    QCOMPARE(ReadAll(m_dir.filePath(src)), ReadAll(picture));
    // The engine's own chooser: its address line, by its label.
    QTimer::singleShot(200, [] {
        auto* pDlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!pDlg) return;
        for (QLineEdit* e : pDlg->findChildren<QLineEdit*>())
            if (e->accessibleName() == QStringLiteral("Picture address:")) e->setText(QStringLiteral("http://example.com/b.gif"));
        for (QPushButton* b : pDlg->findChildren<QPushButton*>())
            if (b->accessibleName() == QStringLiteral("OK")) b->click();
    });
    Caret(QStringLiteral("w2"));
    QCOMPARE(m_pEngine->Exec(kInsertImage, kPromptUser), kOk);
    m_pEngine->WaitIdle();
    QCOMPARE(Js(QStringLiteral("document.querySelector('#w2 img').getAttribute('src')")).toString(),
             QStringLiteral("http://example.com/b.gif"));
    // An address goes in as it is.
    Caret(QStringLiteral("a"));
    QCOMPARE(Run(kInsertImage, QStringLiteral("http://example.com/a.gif")), kOk);
    QCOMPARE(Js(QStringLiteral("document.querySelector('#a img').getAttribute('src')")).toString(),
             QStringLiteral("http://example.com/a.gif"));
}

void CWebEditEngineTest::findAndPrint() {
    QVERIFY(Load(kPage));
    QCOMPARE(Run(kFind), kOk);
    auto* pEdit = m_pEngine->Widget()->findChild<QLineEdit*>();
    QVERIFY(pEdit && pEdit->isVisible());
    QCOMPARE(pEdit->accessibleName(), QStringLiteral("Find:"));
    QPushButton* pNext = nullptr;
    QPushButton* pClose = nullptr;
    for (QPushButton* b : m_pEngine->Widget()->findChildren<QPushButton*>()) {
        if (b->accessibleName() == QStringLiteral("Next")) pNext = b;
        if (b->accessibleName() == QStringLiteral("Close")) pClose = b;
    }
    QVERIFY(pNext && pClose);
    QVERIFY(m_pEngine->Widget()->findChild<QCheckBox*>()->accessibleName() == QStringLiteral("Match case"));
    pEdit->setText(QStringLiteral("gamma"));
    QSignalSpy found(m_pEngine->View()->page(), &QWebEnginePage::findTextFinished);
    pNext->click();
    QVERIFY(found.wait(5000));
    QCOMPARE(found.at(0).at(0).value<QWebEngineFindTextResult>().numberOfMatches(), 1);
    pClose->click();
    QVERIFY(!pEdit->isVisible());

    auto saved = CWebEditEngine::s_fnAskPrinter;
    CWebEditEngine::s_fnAskPrinter = [](QPrinter&, QWidget*) { return false; };
    QCOMPARE(m_pEngine->Exec(kPrint, kPromptUser), kFalse);
    const QString pdf = m_dir.filePath(QStringLiteral("out.pdf"));
    CWebEditEngine::s_fnAskPrinter = [pdf](QPrinter& printer, QWidget*) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return true;
    };
    QSignalSpy done(m_pEngine.get(), &CWebEditEngine::PrintDone);
    QCOMPARE(m_pEngine->Exec(kPrint, kPromptUser), kOk);
    QVERIFY(done.wait(20000));
    CWebEditEngine::s_fnAskPrinter = saved;
    QVERIFY(done.at(0).at(0).toBool());
    QVERIFY(ReadAll(pdf).startsWith("%PDF"));
}

void CWebEditEngineTest::unchangedSaves() {
    struct CCase {
        const char* name;
        QByteArray bytes;
    };
    QByteArray utf16("\xFF\xFE", 2);
    const QString text = QStringLiteral("<html><head><meta charset=\"utf-16\"><title>\u4e2d</title></head>"
                                        "<body><p id=\"p\">\u4e2d\u6587 text</p></body></html>");
    utf16 += QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    const CCase cases[] = {
        {"utf8.htm", QByteArray("<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"></head>\r\n"
                                "<body  class=x ><P id=p>\xe4\xb8\xad\xe6\x96\x87  &nbsp;text<BR></body></html>")},
        {"utf16.htm", utf16},
        {"gbk.htm", QByteArray("<html><head><meta charset=\"gbk\"></head><body><p id=\"p\">\xd6\xd0\xce\xc4 text</p>"
                               "</body></html>")},
    };
    for (const CCase& c : cases) {
        QVERIFY2(Load(c.bytes, QString::fromLatin1(c.name)), c.name);
        QVERIFY2(Js(QStringLiteral("document.getElementById('p').textContent")).toString().startsWith(
                     QStringLiteral("\u4e2d\u6587")),
                 c.name);
        const QString path = m_dir.filePath(QString::fromLatin1(c.name));
        QCOMPARE(m_pEngine->CurrentFile(), QFileInfo(path).absoluteFilePath());
        QCOMPARE(m_pEngine->Save(QString()), kOk);
        QCOMPARE(ReadAll(path), c.bytes);
        const QString copy = m_dir.filePath(QStringLiteral("copy-") + QString::fromLatin1(c.name));
        QCOMPARE(m_pEngine->Save(copy), kOk);
        QCOMPARE(ReadAll(copy), c.bytes);
    }
}

void CWebEditEngineTest::editedSaves() {
    QVERIFY(Load(kPage, QStringLiteral("edit.htm")));
    const QString path = m_dir.filePath(QStringLiteral("edit.htm"));
    Caret(QStringLiteral("b"));
    Js(QStringLiteral("document.execCommand('insertText', false, 'word ')"));
    QCOMPARE(m_pEngine->Save(QString()), kOk);
    const QByteArray saved = ReadAll(path);
    const QByteArray page(kPage);
    const int head = page.indexOf("<body");
    QCOMPARE(saved.left(head), page.left(head));
    QVERIFY(saved.contains("<p id=\"b\">word gamma</p>"));
    // The body's own script stays in the body, not run.
    QVERIFY(saved.contains("document.write("));
    QVERIFY(!saved.contains("<p id=\"w\">written"));
    QVERIFY(saved.contains("onload="));
    QVERIFY(saved.endsWith("</html>\n"));
    // Saved again unchanged, it stays; a file gone since is written again.
    QCOMPARE(m_pEngine->Save(QString()), kOk);
    QCOMPARE(ReadAll(path), saved);
    QVERIFY(QFile::remove(path));
    QCOMPARE(m_pEngine->Save(QString()), kOk);
    QCOMPARE(ReadAll(path), saved);
    Js(QStringLiteral("document.execCommand('insertText', false, 'more ')"));
    QCOMPARE(m_pEngine->Save(QString()), kOk);
    QVERIFY(ReadAll(path).contains("<p id=\"b\">word more gamma</p>"));
    QCOMPARE(ReadAll(path).left(head), page.left(head));
    // A folder that is not there fails, and says so.
    QVERIFY(Failed(m_pEngine->Save(m_dir.filePath(QStringLiteral("no/such/folder/x.htm")))));

    // The GBK page keeps its code page.
    QVERIFY(Load("<html><head><meta charset=\"gbk\"></head><body><p id=\"p\">\xd6\xd0 x</p></body></html>",
                 QStringLiteral("gbk2.htm")));
    Caret(QStringLiteral("p"));
    Js(QStringLiteral("document.execCommand('insertText', false, '\u6587')"));
    QCOMPARE(m_pEngine->Save(QString()), kOk);
    QVERIFY(ReadAll(m_dir.filePath(QStringLiteral("gbk2.htm"))).contains("<p id=\"p\">\xce\xc4\xd6\xd0 x</p>"));
}

void CWebEditEngineTest::textPage() {
    const QByteArray text("line one\nline <two>\n");
    QVERIFY(Load(text, QStringLiteral("note.txt")));
    QVERIFY(m_pEngine->QueryStatus(kEditMode) & kLatched);
    QVERIFY(!(m_pEngine->QueryStatus(kInsertTable) & kEnabled));
    QCOMPARE(m_pEngine->Save(QString()), kOk);
    QCOMPARE(ReadAll(m_dir.filePath(QStringLiteral("note.txt"))), text);
    Js(QStringLiteral("(function(){var p=document.querySelector('pre'),r=document.createRange();"
                      "r.setStart(p.firstChild,0);r.collapse(true);getSelection().removeAllRanges();"
                      "getSelection().addRange(r);document.execCommand('insertText',false,'new ');})()"));
    QCOMPARE(m_pEngine->Save(QString()), kOk);
    QCOMPARE(ReadAll(m_dir.filePath(QStringLiteral("note.txt"))), QByteArray("new line one\nline <two>\n"));
}

void CWebEditEngineTest::noNavigationNoFilesOutside() {
    QTemporaryDir outside;
    WriteAll(outside.filePath(QStringLiteral("secret.txt")), "secret");
    WriteAll(m_dir.filePath(QStringLiteral("inside.txt")), "inside");
    const QByteArray page = "<html><body><p id=\"p\"><a id=\"l\" href=\"http://example.com/\">link</a></p>"
                            "<iframe id=\"in\" src=\"inside.txt\"></iframe>"
                            "<iframe id=\"out\" src=\"" +
                            QUrl::fromLocalFile(outside.filePath(QStringLiteral("secret.txt"))).toEncoded() +
                            "\"></iframe></body></html>";
    QVERIFY(Load(page, QStringLiteral("nav.htm")));
    const QUrl url = m_pEngine->View()->url();
    Js(QStringLiteral("document.getElementById('l').click()"));
    QTest::qWait(300);
    QCOMPARE(m_pEngine->View()->url(), url);
    QVERIFY(m_pEngine->IsReady());
    // The page's own folder is readable; a file outside it is not.
    QTRY_COMPARE(Js(QStringLiteral("(function(){try{return document.getElementById('in').contentDocument.body"
                                   ".textContent}catch(e){return 'x'}})()"))
                     .toString(),
                 QStringLiteral("inside"));
    QVERIFY(!Js(QStringLiteral("(function(){try{var d=document.getElementById('out').contentDocument;"
                               "return d&&d.body?d.body.textContent:''}catch(e){return ''}})()"))
                 .toString()
                 .contains(QStringLiteral("secret")));
}

void CWebEditEngineTest::blankPageCallbacksAndClose() {
    // The editor's settings outlive the page they were given on.
    QVERIFY(Load(kPage));
    QCOMPARE(Run(kShowBorders, true), kOk);
    QCOMPARE(Run(kActivateApplets, true), kOk);
    QCOMPARE(m_pEngine->LoadBlank(), kOk);
    QVERIFY(QTest::qWaitFor([this] { return m_pEngine->IsReady(); }, 15000));
    QVERIFY(m_pEngine->WaitIdle());
    QCOMPARE(m_pEngine->CurrentFile(), QString());
    QVERIFY(m_pEngine->QueryStatus(kEditMode) & kLatched);
    QVERIFY(m_pEngine->QueryStatus(kShowBorders) & kLatched);
    QVERIFY(m_pEngine->QueryStatus(kActivateApplets) & kLatched);
    Run(kShowBorders, false);
    Run(kActivateApplets, false);
    // Nothing was loaded from a file: untouched there is nothing to write,
    // edited there is nowhere to keep it.
    QCOMPARE(m_pEngine->Save(m_dir.filePath(QStringLiteral("blank.htm"))), kOk);
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("blank.htm"))));
    Js(QStringLiteral("document.body.innerHTML = '<p>typed</p>'"));
    QVERIFY(m_pEngine->WaitIdle());
    QVERIFY(Failed(m_pEngine->Save(m_dir.filePath(QStringLiteral("blank.htm")))));
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("blank.htm"))));

    QVERIFY(Load(kPage));
    QPoint pressed(-1, -1);
    QStringList status;
    int nUpdates = 0;
    m_pEngine->m_fnMouseDown = [&](const QPoint& pt) { pressed = pt; };
    m_pEngine->m_fnStatusText = [&](const QString& text) { status << text; };
    m_pEngine->m_fnUpdateCommands = [&] { ++nUpdates; };
    Js(QStringLiteral("(function(){var p=document.getElementById('b');p.innerHTML='<a href=\"x.htm\">x</a>';"
                      "var a=p.firstChild;"
                      "a.dispatchEvent(new MouseEvent('mouseover',{bubbles:true}));"
                      "a.dispatchEvent(new MouseEvent('mouseout',{bubbles:true,relatedTarget:document.body}));"
                      "p.dispatchEvent(new MouseEvent('mousedown',{bubbles:true,button:0,clientX:12,clientY:34}));"
                      "p.dispatchEvent(new MouseEvent('mouseup',{bubbles:true,button:0}));})()"));
    QTRY_COMPARE(pressed, QPoint(12, 34));
    QTRY_COMPARE(status.size(), 2);
    QVERIFY(status[0].endsWith(QStringLiteral("/x.htm")));
    QCOMPARE(status[1], QString());
    QTRY_VERIFY(nUpdates > 0);
    m_pEngine->m_fnMouseDown = nullptr;
    m_pEngine->m_fnStatusText = nullptr;
    m_pEngine->m_fnUpdateCommands = nullptr;

    // Without a default printer the print without prompt fails.
    if (QPrinterInfo::defaultPrinter().isNull()) QCOMPARE(m_pEngine->Exec(kPrint, kDontPromptUser), kErrFail);

    // Closed, it does nothing more, and the page's file stays as it was.
    Caret(QStringLiteral("a"));
    Js(QStringLiteral("document.execCommand('insertText', false, 'unsaved ')"));
    Settle();
    m_pEngine->Close();
    QCOMPARE(m_pEngine->QueryStatus(kBold), 0u);
    QCOMPARE(m_pEngine->Exec(kBold, kDontPromptUser), kErrDisabled);
    QCOMPARE(m_pEngine->CurrentFile(), QString());
    QCOMPARE(ReadAll(m_dir.filePath(QStringLiteral("page.htm"))), QByteArray(kPage));
}

CLIPVAULT_GUI_TEST_MAIN(CWebEditEngineTest)
#include "WebEditEngineTest.moc"
