// Pages a stranger wrote, kept in a notebook, try what an attacker would:
// read files and other notes, list the working folder, reach the loopback
// by HTTP, WebSocket or WebRTC, run the program's commands from frames, hand
// files to the desktop. In the browser view with scripts off and on, and in
// the editor, none of it gets anywhere. A loopback server counts every
// connection made to it, whatever the protocol.
#include "support/GuiTestSupport.h"

#include "capture/gui/NoteBrowserView.h"
#include "capture/gui/StoredPageScheme.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/CommandIds.h"
#include "views/WebEditEngine.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEngineScript>

namespace {

// Counts connections and answers each with a page that would tell, were it
// ever read.
class CCountingServer : public QTcpServer {
public:
    CCountingServer() {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                ++m_nConnections;
                connect(s, &QTcpSocket::readyRead, s, [s] {
                    s->readAll();
                    s->write("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nAccess-Control-Allow-Origin: *\r\n\r\nLEAKED");
                    s->disconnectFromHost();
                });
            }
        });
    }
    int m_nConnections = 0;
};

QVariant Js(QWebEngineView* view, const QString& script) { return RunPageScript(view, script); }

struct CRecordingOpener : IDesktopOpener {
    QList<QUrl> opened;
    void OpenOnDesktop(const QUrl& url) override { opened << url; }
};

// The attacks, each reporting what it got in the title when scripts run.
QByteArray HostilePage(int port, const QString& secret, const QString& workFolder, const QString& otherNote) {
    const QString web = QStringLiteral("http://127.0.0.1:%1").arg(port);
    QString page = QStringLiteral(
        "<!DOCTYPE html><html><head><title>&lt;script&gt;x&lt;/script&gt;</title>\n"
        "<link rel=\"dns-prefetch\" href=\"%1/dns\"><link rel=\"prefetch\" href=\"%1/prefetch\"><link rel=\"preconnect\" href=\"%1\"><link rel=\"preload\" as=\"image\" href=\"%1/preload\"><link rel=\"stylesheet\" href=\"%1/css\">\n"
        "<link rel=\"stylesheet\" href=\"vltown.css\">\n"
        "<script>\n"
        "var r={};\n"
        "function put(k,v){r[k]=String(v).slice(0,40);document.title='R'+JSON.stringify(r);}\n"
        "function get(k,u){try{fetch(u).then(function(x){return x.text();}).then(function(t){put(k,t);},function(){put(k,'blocked');});}catch(e){put(k,'threw');}}\n"
        "function xhr(u){try{var x=new XMLHttpRequest();x.open('GET',u,false);x.send();return x.responseText;}catch(e){return 'blocked';}}\n"
        "put('rtc',typeof RTCPeerConnection+' '+typeof webkitRTCPeerConnection);\n"
        "put('xfile',xhr('%2'));\n"
        "get('file','%2');get('dir','%3/');get('other','%4');get('web','%1/fetch');get('root','/');\n"
        "try{var ws=new WebSocket('ws://127.0.0.1:%5/ws');ws.onopen=function(){put('ws','open');};ws.onerror=function(){put('ws','error');};}catch(e){put('ws','threw');}\n"
        "window.addEventListener('load',function(){var a=document.getElementById('vf');if(a)a.click();var b=document.getElementById('del');if(b)b.click();});\n"
        "</script></head><body><p id=\"words\">A hostile page</p><img src=\"%1/img\">\n"
        "<iframe src=\"SheduleAllDeleteNotes\"></iframe><iframe src=\"qrc:/browser/DeleteTheNote\"></iframe>\n"
        "<iframe src=\"%1/FailAllDeleteNotes\"></iframe><iframe src=\"%2\"></iframe><iframe src=\"%3/\"></iframe>\n"
        "<iframe src=\"vltfile:///bin/sh\"></iframe><iframe src=\"clipvault:1\"></iframe>\n"
        "<a id=\"vf\" href=\"vltfile:///bin/sh\">run</a><a id=\"del\" href=\"DeleteTheNote\">delete</a>\n"
        "<iframe src=\"%4\"></iframe></body></html>");
    page = page.arg(web, QUrl::fromLocalFile(secret).toString(), QUrl::fromLocalFile(workFolder).toString(), otherNote)
               .arg(port);
    return page.toUtf8();
}

}  // namespace

class HostilePageTest : public QObject {
    Q_OBJECT
private slots:
    void hostilePagesReachNothing();
    void pagePolicyKeepsTheDoctypeFirst();
};

void HostilePageTest::pagePolicyKeepsTheDoctypeFirst() {
    const QByteArray withType = WithPagePolicy("\xEF\xBB\xBF <!-- c --><!DOCTYPE html><html>");
    QVERIFY(withType.startsWith("\xEF\xBB\xBF <!-- c --><!DOCTYPE html><meta http-equiv=\"Content-Security-Policy\""));
    QVERIFY(WithPagePolicy("<html><body>").startsWith("<meta http-equiv=\"Content-Security-Policy\""));
    QCOMPARE(WithPagePolicy(QByteArray("\xFF\xFE<\0h\0", 6)), QByteArray("\xFF\xFE<\0h\0", 6));
}

void HostilePageTest::hostilePagesReachNothing() {
    CCountingServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const int port = server.serverPort();
    QTemporaryDir outside;
    const QString secret = outside.filePath(QStringLiteral("secret.txt"));
    {
        QFile f(secret);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("SECRET-OUTSIDE");
    }

    CGuiTestFixture fx;
    auto app = fx.StartApp();
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    frame->resize(900, 700);
    frame->show();
    frame->ExecuteCommand(cmd::kCmdNew);
    CChildFrame* child = frame->ActiveChildFrame();
    QVERIFY(child);
    CClipVaultDoc& doc = child->Document();
    const QString work = QString::fromStdString(doc.GetWorkFolder(true));
    auto add = [&](const std::string& name, const QByteArray& html, int status) {
        CNote* p = doc.m_rootCata.AddNewNote(name);
        p->m_nID = doc.NextNoteID();
        p->m_strExt = "htm";
        p->m_nContentType = kContentHeld;
        p->m_strSource = "http://127.0.0.1:9/" + name + ".htm";
        p->SetContent(std::vector<uint8_t>(html.begin(), html.end()));
        child->TreeView()->InsertNote(p);
        if (status == kStatusHeld) doc.ListForDownload(p, false);
        return p;
    };
    CNote* other = add("Other", "<html><body>OTHER-NOTE-WORDS</body></html>", kStatusDone);
    CNote* held = add("Held", "", kStatusHeld);
    QCOMPARE(held->m_nStatus.load(), int(kStatusHeld));
    QVERIFY(doc.MakeAttachment("vltown.txt", "http://127.0.0.1:9/own.txt", {'O', 'W', 'N', '-', 'T', 'X', 'T'}));
    QVERIFY(doc.MakeAttachment("vltown.css", "http://127.0.0.1:9/own.css", {'p', '{', 'c', 'o', 'l', 'o', 'r', ':', 'r', 'e', 'd', '}'}));

    // Another notebook window shows the other note, so that its origin is
    // live while the hostile page names it.
    CRecordingOpener opener;
    CNoteBrowserView otherView(*child, doc, nullptr, &opener);
    otherView.ShowNote(other);
    QTRY_VERIFY(otherView.url().scheme() == QLatin1String("cvpage"));
    const QString otherUrl = otherView.url().toString();
    QTRY_VERIFY(Js(&otherView, QStringLiteral("document.body ? document.body.innerText : ''")).toString().contains(QLatin1String("OTHER-NOTE")));

    CNote* hostile = add("Hostile", HostilePage(port, secret, work, otherUrl), kStatusDone);
    hostile->m_attachNames = {"vltown.txt", "vltown.css"};
    auto has = [&](CNote* p) {
        for (auto it = doc.m_rootCata.m_notes.begin(); it != doc.m_rootCata.m_notes.end(); ++it)
            if (it.value() == p) return true;
        return false;
    };
    auto noneLost = [&] { return has(other) && has(held) && has(hostile); };

    for (const bool scripts : {false, true}) {
        CNoteBrowserView view(*child, doc, nullptr, &opener);
        view.resize(700, 500);
        view.show();
        if (view.PageScriptsOn() != scripts) {
            view.OnCmdMsg(cmd::kCmdPageScripts, nullptr);
            QCOMPARE(view.PageScriptsOn(), scripts);
        }
        view.ShowNote(hostile);
        QTRY_VERIFY(Js(&view, QStringLiteral("document.getElementById('words') ? 1 : 0")).toInt() == 1);
        // Its own stylesheet is there for it.
        QTRY_COMPARE(Js(&view, QStringLiteral("getComputedStyle(document.getElementById('words')).color")).toString(),
                     QStringLiteral("rgb(255, 0, 0)"));
        if (scripts) {
            // The page tells in its title what it read.
            QJsonObject r;
            for (int i = 0; i < 100 && r.size() < 8; ++i) {
                QTest::qWait(50);
                const QString title = view.title();
                if (title.startsWith(QLatin1Char('R'))) r = QJsonDocument::fromJson(title.mid(1).toUtf8()).object();
            }
            QVERIFY2(r.size() >= 8, qPrintable(view.title()));
            QCOMPARE(r.value(QStringLiteral("rtc")).toString(), QStringLiteral("undefined undefined"));
            for (const char* key : {"xfile", "file", "dir", "other", "web", "root"})
                QVERIFY2(r.value(QLatin1String(key)).toString() == QLatin1String("blocked") ||
                             r.value(QLatin1String(key)).toString().isEmpty(),
                         qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(key), r.value(QLatin1String(key)).toString())));
            QVERIFY(r.value(QStringLiteral("ws")).toString() != QLatin1String("open"));
        } else {
            QTest::qWait(1000);
            // No script ran: the title is the page's text, script and all.
            QCOMPARE(view.title(), QStringLiteral("<script>x</script>"));
        }
        // Nothing shows another note's words or a file from outside.
        const QString frames = Js(&view, QStringLiteral(
                                             "Array.prototype.map.call(document.querySelectorAll('iframe'),function(f){"
                                             "try{return f.contentDocument?f.contentDocument.body.innerText:'';}"
                                             "catch(e){return '';}}).join('|')"))
                                   .toString();
        QVERIFY2(!frames.contains(QLatin1String("OTHER-NOTE")) && !frames.contains(QLatin1String("SECRET")), qPrintable(frames));
        QTest::qWait(300);
        QCOMPARE(server.m_nConnections, 0);
        QVERIFY(noneLost());
        QCOMPARE(held->m_nStatus.load(), int(kStatusHeld));
        QVERIFY(opener.opened.isEmpty());
        QCOMPARE(view.ShownNote(), hostile);
    }

    // A kept page with its pictures and stylesheet still shows styled; the
    // stylesheet's own picture is no file the note lists.
    {
        auto png = [](QColor colour) {
            const QByteArray bytes = PngPicture(colour, 40, 40);
            return std::vector<uint8_t>(bytes.begin(), bytes.end());
        };
        QVERIFY(doc.MakeAttachment("vltpic.png", "http://127.0.0.1:9/pic.png", png(Qt::blue)));
        QVERIFY(doc.MakeAttachment("vltback.png", "http://127.0.0.1:9/back.png", png(Qt::yellow)));
        const std::string css = "body{background:url(vltback.png);font-family:serif}h1{color:#c00000;border:4px solid green}";
        QVERIFY(doc.MakeAttachment("vltstyle.css", "http://127.0.0.1:9/style.css", {css.begin(), css.end()}));
        CNote* styled = add("Styled", "<!DOCTYPE html><html><head><link rel=\"stylesheet\" href=\"vltstyle.css\"></head>"
                                      "<body><h1>Styled page</h1><img src=\"vltpic.png\" width=\"200\" height=\"120\">"
                                      "<p>Its picture and stylesheet come from the notebook.</p></body></html>",
                            kStatusDone);
        styled->m_attachNames = {"vltstyle.css", "vltpic.png"};
        CNoteBrowserView view(*child, doc, nullptr, &opener);
        // The notebook's choice outlives the view it was made in, and a
        // saved notebook's outlives the run.
        QVERIFY(view.PageScriptsOn());
        view.OnCmdMsg(cmd::kCmdPageScripts, nullptr);
        QVERIFY(!view.PageScriptsOn());
        doc.SetPathName(outside.filePath(QStringLiteral("kept.vlt")).toStdString());
        view.OnCmdMsg(cmd::kCmdPageScripts, nullptr);
        QVERIFY(CNoteBrowserView(*child, doc, nullptr).PageScriptsOn());
        view.OnCmdMsg(cmd::kCmdPageScripts, nullptr);
        QVERIFY(!CNoteBrowserView(*child, doc, nullptr).PageScriptsOn());
        view.resize(700, 500);
        view.show();
        view.ShowNote(styled);
        QTRY_COMPARE(Js(&view, QStringLiteral("document.querySelector('img') ? document.querySelector('img').naturalWidth : 0")).toInt(), 40);
        QTRY_COMPARE(Js(&view, QStringLiteral("getComputedStyle(document.querySelector('h1')).color")).toString(),
                     QStringLiteral("rgb(192, 0, 0)"));
        // The page is in standards mode: the policy did not go before its doctype.
        QCOMPARE(Js(&view, QStringLiteral("document.compatMode")).toString(), QStringLiteral("CSS1Compat"));
        QTRY_VERIFY(Js(&view, QStringLiteral("(function(){var i=new Image();i.src='vltback.png';return i.complete&&i.naturalWidth;})()")).toInt() == 40);
        // A web archive renders from its file, its picture from within it;
        // the address the part names is never asked.
        const QByteArray pic = QByteArray(reinterpret_cast<const char*>(png(Qt::blue).data()), int(png(Qt::blue).size()));
        const QByteArray mht = "MIME-Version: 1.0\r\nContent-Type: multipart/related; type=\"text/html\"; boundary=\"BB\"\r\n\r\n"
                               "--BB\r\nContent-Type: text/html\r\nContent-Location: http://127.0.0.1:" + QByteArray::number(port) +
                               "/a.htm\r\n\r\n<html><body><p id=\"words\">ARCHIVED</p><img src=\"p.png\"></body></html>\r\n"
                               "--BB\r\nContent-Type: image/png\r\nContent-Transfer-Encoding: base64\r\nContent-Location: "
                               "http://127.0.0.1:" + QByteArray::number(port) + "/p.png\r\n\r\n" + pic.toBase64() + "\r\n--BB--\r\n";
        CNote* archive = add("Archive", mht, kStatusDone);
        archive->m_strExt = "mht";
        view.ShowNote(archive);
        QTRY_VERIFY(Js(&view, QStringLiteral("document.body ? document.body.innerText : ''")).toString().contains(QLatin1String("ARCHIVED")));
        QTRY_COMPARE(Js(&view, QStringLiteral("document.images[0] ? document.images[0].naturalWidth : 0")).toInt(), 40);
        QCOMPARE(server.m_nConnections, 0);
        view.ShowNote(styled);
        QTRY_COMPARE(Js(&view, QStringLiteral("document.querySelector('h1') && document.images[0] ? document.images[0].naturalWidth : 0")).toInt(), 40);
        const QString pictures = qEnvironmentVariable("CLIPVAULT_PICTURES");
        if (!pictures.isEmpty()) {
            QTest::qWait(700);
            QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                         QDir(pictures).filePath(QStringLiteral("stored-page.png"))});
        }
    }

    // "View original" of a page whose live address frames command URLs:
    // the live page runs none of them.
    {
        QFile live(outside.filePath(QStringLiteral("live.htm")));
        QVERIFY(live.open(QIODevice::WriteOnly));
        live.write("<html><body><p id=\"words\">live</p><iframe src=\"SheduleAllDeleteNotes\"></iframe>"
                   "<iframe src=\"DeleteTheNote\"></iframe><iframe src=\"FailAllDeleteNotes\"></iframe></body></html>");
        live.close();
        CNote* source = add("Source", "<html><body>kept</body></html>", kStatusDone);
        source->m_strSource = live.fileName().toStdString();
        CNoteBrowserView view(*child, doc, nullptr, &opener);
        view.ShowSource(source);
        QTRY_VERIFY(Js(&view, QStringLiteral("document.getElementById('words') ? 1 : 0")).toInt() == 1);
        QTest::qWait(500);
        QVERIFY(noneLost());
        QVERIFY(has(source));
        QCOMPARE(held->m_nStatus.load(), int(kStatusHeld));
    }

    // The editor shows the page for editing and fetches nothing for it.
    {
        const QString path = QDir(work).filePath(QStringLiteral("vlthostile-edit.htm"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(HostilePage(port, secret, work, otherUrl));
        f.close();
        CWebEditEngine engine;
        engine.Widget()->resize(700, 500);
        engine.Widget()->show();
        QCOMPARE(engine.LoadFile(path), 0);
        QTRY_VERIFY_WITH_TIMEOUT(engine.IsReady(), 10000);
        QTest::qWait(1000);
        QCOMPARE(engine.View()->title(), QStringLiteral("<script>x</script>"));
        QCOMPARE(server.m_nConnections, 0);
        QVERIFY(noneLost());
        QVERIFY(opener.opened.isEmpty());
    }
    doc.StopAllDownloads();
    doc.MarkModified(false);
}

CLIPVAULT_GUI_TEST_MAIN(HostilePageTest)
#include "HostilePageTest.moc"
