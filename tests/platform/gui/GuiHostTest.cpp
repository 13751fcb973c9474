// The desktop program's side of the core's interfaces: what workers post
// runs on the window's thread in order, their messages never make them wait
// for a window that waits for them, and a download finishes through the
// window's event loop.
#include "support/GuiTestSupport.h"

#include "app/DocTemplate.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/UiQueue.h"
#include "platform/Charset.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/QtText.h"

#include <QTest>
#include <QThread>
#include <atomic>
#include <thread>

class GuiHostTest : public QObject {
    Q_OBJECT
private slots:
    void postsRunOnTheWindowThreadInOrder();
    void workerFailureDoesNotWaitForTheBox();
    void workerQuestionWaitsForTheAnswer();
    void workerQuestionIsWithdrawnByItsStop();
    void messageArguments();
    void textCrossesTheQtBoundaryInTheCodePage();
    void downloadFinishesThroughTheEventLoop();
};

void GuiHostTest::postsRunOnTheWindowThreadInOrder() {
    CGuiTestFixture fx;
    CGuiHost hostObject;
    QList<int> order;
    QThread* uiThread = QThread::currentThread();
    bool allOnUi = true;
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i)
            host::PostToUi(host::WM_CAPTURE_DONE, [&, i] {
                allOnUi = allOnUi && QThread::currentThread() == uiThread;
                order << i;
            });
    });
    worker.join();
    QTRY_COMPARE(order.size(), 50);
    for (int i = 0; i < 50; ++i) QCOMPARE(order[i], i);
    QVERIFY(allOnUi);
}

void GuiHostTest::workerFailureDoesNotWaitForTheBox() {
    CGuiTestFixture fx;
    CGuiHost hostObject;
    std::atomic<int> answer{0};
    // The window thread is busy joining the worker, as it is while it stops
    // a download; the worker's failure report must not hang on it.
    std::thread worker([&] { answer = host::ShowMessage(ids::IDS_OPERATION_FAILED); });
    worker.join();
    QCOMPARE(answer.load(), int(host::IDOK));
    QVERIFY(fx.m_messages.empty());
    QTRY_VERIFY(fx.Shown(ids::IDS_OPERATION_FAILED));
}

void GuiHostTest::workerQuestionWaitsForTheAnswer() {
    CGuiTestFixture fx;
    CGuiHost hostObject;
    fx.m_nAnswer = host::IDYES;
    std::atomic<int> answer{0};
    std::thread worker([&] { answer = host::ShowMessage(ids::IDS_ASK_TO_SAVE, host::MB_YESNOCANCEL, {"book"}); });
    QTRY_COMPARE(answer.load(), int(host::IDYES));
    worker.join();
    QVERIFY(fx.Shown(ids::IDS_ASK_TO_SAVE));
}

void GuiHostTest::workerQuestionIsWithdrawnByItsStop() {
    CGuiTestFixture fx;
    CGuiHost hostObject;
    fx.m_nAnswer = host::IDYES;
    std::atomic<bool> asked{false}, ended{false};
    std::atomic<int> answer{0};
    CClipVaultDoc::SetDownloadBody([&](CNote&, const CDownloadSettings&) {
        asked = true;
        answer = host::ShowMessage(ids::IDS_STOP_DOWNLOADS_TO_CLOSE, host::MB_YESNO | host::MB_ICONQUESTION);
        ended = true;
        return false;
    });
    auto doc = std::make_unique<CClipVaultDoc>();
    // Far longer than a worker that hears its stop needs.
    doc->m_nStopTimeout = std::chrono::seconds(30);
    CNote* note = doc->m_rootCata.AddNewNote("Asking");
    note->m_strSource = "http://127.0.0.1:9/none";
    doc->ListForDownload(note, true);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!asked && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    QVERIFY(asked);

    // The window waits for the worker without running its event loop, as it
    // does while it stops a download.
    const bool bStopped = doc->StopDownload(note);
    const bool bEndedInTime = ended;
    // Whatever happened, the worker is let go before the notebook waits for it.
    QTRY_VERIFY_WITH_TIMEOUT(ended, 60000);
    QVERIFY(bStopped);
    QVERIFY2(bEndedInTime, "the question held the worker past its stop");
    QCOMPARE(answer.load(), int(host::IDNO));
    QCOMPARE(note->m_nStatus.load(), int(kStatusDone));
    QTest::qWait(50);
    QVERIFY2(!fx.Shown(ids::IDS_STOP_DOWNLOADS_TO_CLOSE), "a withdrawn question is not shown");
    doc.reset();
    CClipVaultDoc::SetDownloadBody(nullptr);
}

void GuiHostTest::messageArguments() {
    QCOMPARE(FormatMessageText(QStringLiteral("%1 in %2, again %1"), {"a", "b"}), QStringLiteral("a in b, again a"));
    QCOMPARE(FormatMessageText(QStringLiteral("%d notes in %s"), {"3", "Travel"}), QStringLiteral("3 notes in Travel"));
    QCOMPARE(FormatMessageText(QStringLiteral("100%% sure: %s"), {"yes"}), QStringLiteral("100% sure: yes"));
    // A missing argument leaves nothing behind; a lone % stays.
    QCOMPARE(FormatMessageText(QStringLiteral("%s and %s"), {"one"}), QStringLiteral("one and "));
    QCOMPARE(FormatMessageText(QStringLiteral("50% off"), {}), QStringLiteral("50% off"));
    // Arguments are the core's byte strings, so text outside ASCII arrives.
    QCOMPARE(FormatMessageText(QStringLiteral("%s"), {"\xE6\x97\x85\xE8\xA1\x8C"}), QString::fromUtf8("旅行"));
}

void GuiHostTest::textCrossesTheQtBoundaryInTheCodePage() {
    const std::string utf8 = "\xE6\x97\x85\xE8\xA1\x8C";  // 旅行
    QCOMPARE(ToQ(utf8), QString::fromUtf8("旅行"));
    QCOMPARE(FromQ(QString::fromUtf8("旅行")), utf8);
    QVERIFY(charset::SetProcessCodePage("GBK"));
    const std::string gbk = "\xC2\xC3\xD0\xD0";
    QCOMPARE(ToQ(gbk), QString::fromUtf8("旅行"));
    QCOMPARE(FromQ(QString::fromUtf8("旅行")), gbk);
    QVERIFY(charset::SetProcessCodePage("UTF-8"));
}

void GuiHostTest::downloadFinishesThroughTheEventLoop() {
    CGuiTestFixture fx;
    const QString path = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    auto app = fx.MakeApp();
    QVERIFY(app->InitInstance({QStringLiteral("clipvault"), path}));
    CChildFrame* child = app->MainFrame()->ActiveChildFrame();
    CClipVaultDoc& doc = child->Document();
    std::atomic<bool> ranOffUi{false};
    QThread* uiThread = QThread::currentThread();
    CClipVaultDoc::SetDownloadBody([&](CNote& note, const CDownloadSettings&) {
        ranOffUi = QThread::currentThread() != uiThread;
        std::lock_guard<std::mutex> lock(note.m_dataLock);
        const std::string page = "<html><head><title>Fetched</title></head><body>fetched</body></html>";
        note.SetContent(std::vector<uint8_t>(page.begin(), page.end()));
        note.m_strExt = "htm";
        note.m_nContentType = kContentHeld;
        return true;
    });
    CNote* note = doc.m_rootCata.AddNewNote("Coming");
    note->m_strSource = "http://127.0.0.1:9/none";
    child->TreeView()->Populate();
    doc.ListForDownload(note, true);
    QTRY_VERIFY(!doc.IsDownloading());
    QTRY_COMPARE(note->m_nStatus.load(), int(kStatusDone));
    QVERIFY(ranOffUi);
    // The tree shows the note as holding its page now.
    QTreeWidgetItem* item = child->TreeView()->ItemOf(note);
    QVERIFY(item);
    QVERIFY(!item->icon(0).isNull());
    CClipVaultDoc::SetDownloadBody(nullptr);
}

CLIPVAULT_GUI_TEST_MAIN(GuiHostTest)
#include "GuiHostTest.moc"
