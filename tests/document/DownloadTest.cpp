#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>

#include "app/AppOptions.h"
#include "capture/TestServer.h"
#include "document/ClipVaultDoc.h"
#include "support/TestSupport.h"
#include "platform/FileUtil.h"
#include "platform/StringIds.h"
#include "platform/TempFiles.h"
#include "platform/UiQueue.h"

using namespace std::chrono_literals;

namespace {

// Download workers whose behaviour each note's source names: "ok", "fail",
// "wait" (until released, or until a stop is requested), "stubborn"
// (until released, whatever happens) and "churn" (rewrites the note's page
// and attachment names, as a capture does, until released).
class ScriptedDownloads : public ::testing::Test {
protected:
    ScriptedDownloads() {
        m_pPrevQueue = host::SetUiQueue(&m_queue);
        m_nPrevWorkers = AppOptions().m_nMaxDownloadWorkers;
        CClipVaultDoc::SetDownloadBody([this](CNote& n, const CDownloadSettings&) { return Run(n); });
    }
    ~ScriptedDownloads() override {
        ReleaseAll();
        m_doc.reset();
        CClipVaultDoc::SetDownloadBody(nullptr);
        host::SetUiQueue(m_pPrevQueue);
        AppOptions().m_nMaxDownloadWorkers = m_nPrevWorkers;
    }

    bool Run(CNote& n) {
        const std::string how = n.m_strSource;
        if (how == "churn") return Churn(n);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_errorAtStart[&n] = n.m_strError;
        ++m_nStarted;
        m_cv.notify_all();
        if (how == "ok") return true;
        if (how == "fail") return false;
        for (;;) {
            if (m_bReleaseAll || m_released.count(&n)) return true;
            if (how == "wait" && n.StopRequested()) {
                m_sawStop.insert(n.m_strName);
                lock.unlock();
                // Nobody is asked any more: the window may be waiting for
                // this worker.
                const int answer = host::ShowMessage(ids::IDS_STOP_DOWNLOADS_TO_CLOSE, host::MB_YESNO);
                lock.lock();
                m_answerAfterStop[n.m_strName] = answer;
                return false;
            }
            m_cv.wait_for(lock, 2ms);
        }
    }
    // Two states of a page and the attachments it lists, switched back and
    // forth under the note's lock.
    bool Churn(CNote& n) {
        for (int i = 0;; ++i) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                ++m_nChurned;
                if (i == 0) {
                    ++m_nStarted;
                    m_cv.notify_all();
                }
                if (m_bReleaseAll || m_released.count(&n)) return true;
            }
            std::lock_guard<std::mutex> guard(n.m_dataLock);
            if (i % 2) {
                n.SetContent(std::vector<uint8_t>(1, 'A'));
                n.m_attachNames = {"vlta.gif"};
            } else {
                n.SetContent(std::vector<uint8_t>(2, 'B'));
                n.m_attachNames = {"vlta.gif", "vltb.gif"};
            }
        }
    }
    void Release(CNote* n) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released.insert(n);
        m_cv.notify_all();
    }
    void ReleaseAll() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bReleaseAll = true;
        m_cv.notify_all();
    }
    void WaitStarted(int n) {
        std::unique_lock<std::mutex> lock(m_mutex);
        ASSERT_TRUE(m_cv.wait_for(lock, 10s, [&] { return m_nStarted >= n; })) << m_nStarted << " of " << n;
    }
    // Runs posted "capture done" messages until `done` holds.
    template <class Pred>
    void PumpUntil(Pred done) {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (!done()) {
            ASSERT_LT(std::chrono::steady_clock::now(), end) << "timed out";
            m_queue.WaitAndRun(5ms);
        }
    }
    bool SawStop(const std::string& name) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sawStop.count(name) != 0;
    }

    CNote* NewNote(const std::string& name, const std::string& how, CNoteCata* in = nullptr) {
        CNote* n = (in ? in : &Doc().m_rootCata)->AddNewNote(name);
        n->m_strSource = how;
        return n;
    }
    CClipVaultDoc& Doc() { return *m_doc; }
    bool Listed(CNote* n) {
        auto& l = Doc().m_pendingNotes;
        return std::find(l.begin(), l.end(), n) != l.end();
    }

    host::CSimpleUiQueue m_queue;
    std::unique_ptr<CClipVaultDoc> m_doc = std::make_unique<CClipVaultDoc>();
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_nStarted = 0;
    int m_nChurned = 0;
    bool m_bReleaseAll = false;
    std::set<CNote*> m_released;
    std::set<std::string> m_sawStop;
    std::map<CNote*, std::string> m_errorAtStart;
    std::map<std::string, int> m_answerAfterStop;

private:
    host::IUiQueue* m_pPrevQueue;
    uint32_t m_nPrevWorkers;
};

}  // namespace

TEST_F(ScriptedDownloads, TheSixthNoteWaitsUntilOneOfFiveEnds) {
    AppOptions().m_nMaxDownloadWorkers = 5;
    std::vector<CNote*> notes;
    for (int i = 0; i < 6; ++i) {
        notes.push_back(NewNote("n" + std::to_string(i), "wait"));
        Doc().ListForDownload(notes.back(), true);
    }
    WaitStarted(5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(notes[i]->m_nStatus, kStatusRunning);
    EXPECT_EQ(notes[5]->m_nStatus, kStatusQueued);
    EXPECT_EQ(Doc().m_nRunning, 5);
    EXPECT_TRUE(Doc().IsDownloading());

    Release(notes[2]);
    PumpUntil([&] { return notes[5]->m_nStatus == kStatusRunning; });
    EXPECT_EQ(notes[2]->m_nStatus, kStatusDone);
    EXPECT_FALSE(Listed(notes[2])) << "a finished note leaves the download list";
    EXPECT_EQ(Doc().m_nRunning, 5);

    ReleaseAll();
    PumpUntil([&] { return Doc().m_nRunning == 0; });
    EXPECT_TRUE(Doc().m_pendingNotes.empty());
}

TEST_F(ScriptedDownloads, FailedHeldAndQueuedNotesMoveOnCommand) {
    AppOptions().m_nMaxDownloadWorkers = 1;
    CNote* bad = NewNote("bad", "fail");
    bad->m_strError = "left over";
    Doc().ListForDownload(bad, true);
    PumpUntil([&] { return bad->m_nStatus == kStatusFailed && Doc().m_nRunning == 0; });
    EXPECT_TRUE(Listed(bad));
    EXPECT_EQ(m_errorAtStart[bad], "") << "a worker starts with an empty error text";

    Doc().RetryAllFailed();
    EXPECT_EQ(Doc().m_nRunning, 1) << "started again";
    PumpUntil([&] { return bad->m_nStatus == kStatusFailed && Doc().m_nRunning == 0; });
    Doc().HoldAllFailed();
    EXPECT_EQ(bad->m_nStatus, kStatusHeld);

    CNote* first = NewNote("first", "wait");
    CNote* second = NewNote("second", "ok");
    Doc().ListForDownload(first, true);
    Doc().ListForDownload(second, true);
    EXPECT_EQ(second->m_nStatus, kStatusQueued) << "one worker at a time";
    Doc().HoldAllQueued();
    EXPECT_EQ(second->m_nStatus, kStatusHeld);

    bad->m_strSource = "ok";
    Release(first);
    PumpUntil([&] { return first->m_nStatus == kStatusDone && Doc().m_nRunning == 0; });
    EXPECT_EQ(second->m_nStatus, kStatusHeld) << "held notes wait for the user";
    Doc().StartAllHeld();
    PumpUntil([&] { return Doc().m_pendingNotes.empty() && Doc().m_nRunning == 0; });
    EXPECT_EQ(bad->m_nStatus, kStatusDone);
    EXPECT_EQ(second->m_nStatus, kStatusDone);
}

TEST_F(ScriptedDownloads, AStoppedDownloadEndsDoneAndLeavesTheList) {
    RecordingHost host;
    host.m_nAnswer = host::IDYES;
    CNote* n = NewNote("n", "wait");
    Doc().ListForDownload(n, true);
    WaitStarted(1);
    EXPECT_TRUE(Doc().StopDownload(n));
    EXPECT_TRUE(SawStop("n"));
    EXPECT_EQ(m_answerAfterStop["n"], host::IDNO) << "a stopped worker's question gets the cautious answer";
    EXPECT_TRUE(host.m_ids.empty()) << "without being asked";
    EXPECT_EQ(n->m_nStatus, kStatusDone);
    EXPECT_FALSE(Listed(n));
    EXPECT_EQ(Doc().m_nRunning, 0);
    m_queue.RunPending();  // the worker's own message changes nothing now
    EXPECT_EQ(n->m_nStatus, kStatusDone);
    EXPECT_EQ(Doc().m_nRunning, 0);
    EXPECT_TRUE(Doc().StopDownload(n)) << "not running: nothing to do";
}

TEST_F(ScriptedDownloads, AWorkerThatIgnoresTheStopIsLeftToEndAndJoined) {
    Doc().m_nStopTimeout = 50ms;
    CNote* n = NewNote("n", "stubborn");
    CNote* queued = NewNote("q", "ok");
    AppOptions().m_nMaxDownloadWorkers = 1;
    Doc().ListForDownload(n, true);
    Doc().ListForDownload(queued, true);
    WaitStarted(1);
    EXPECT_TRUE(Doc().StopDownload(n));
    EXPECT_EQ(n->m_nStatus, kStatusDone);
    EXPECT_FALSE(Listed(n));
    EXPECT_TRUE(Doc().HasWorker(n)) << "the worker that did not stop still runs";
    // Its place went to the queued note.
    PumpUntil([&] { return queued->m_nStatus == kStatusDone && Doc().m_nRunning == 0; });

    // Started again while the old worker still runs, it waits its turn.
    Doc().ListForDownload(n, true);
    EXPECT_EQ(n->m_nStatus, kStatusQueued);
    Doc().UnlistNote(n);
    n->m_nStatus = kStatusDone;

    Release(n);
    PumpUntil([&] { return !Doc().HasWorker(n); });
    EXPECT_EQ(n->m_nStatus, kStatusDone) << "the late worker changes nothing";
    EXPECT_EQ(Doc().m_nRunning, 0);
    EXPECT_TRUE(n->Delete());
}

TEST_F(ScriptedDownloads, ClosingAsksThenStopsEverything) {
    RecordingHost host;
    CNote* n = NewNote("n", "wait");
    CNote* q = NewNote("q", "wait");
    AppOptions().m_nMaxDownloadWorkers = 1;
    Doc().ListForDownload(n, true);
    Doc().ListForDownload(q, true);
    WaitStarted(1);
    host.m_answers[ids::IDS_STOP_DOWNLOADS_TO_CLOSE] = host::IDNO;
    EXPECT_FALSE(Doc().CanCloseFrame());
    EXPECT_EQ(n->m_nStatus, kStatusRunning);
    host.m_answers[ids::IDS_STOP_DOWNLOADS_TO_CLOSE] = host::IDYES;
    EXPECT_TRUE(Doc().CanCloseFrame());
    EXPECT_FALSE(Doc().IsDownloading());
    EXPECT_EQ(n->m_nStatus, kStatusDone);
    EXPECT_EQ(q->m_nStatus, kStatusHeld) << "queued notes are held, not started, while closing";
}

TEST_F(ScriptedDownloads, DeletingStopsWorkersAndLateMessagesFindNobody) {
    CNoteCata* c = Doc().m_rootCata.AddNewSubCata("c");
    CNote* inCategory = NewNote("in category", "wait", c->AddNewSubCata("deeper"));
    NewNote("finishes", "ok");
    Doc().ListForDownload(inCategory, true);
    Doc().ListForDownload(Doc().m_rootCata.GetNote("finishes"), true);
    CNote* survivor = NewNote("survivor", "wait");
    Doc().ListForDownload(survivor, true);
    WaitStarted(3);
    ASSERT_TRUE(c->Delete());
    EXPECT_TRUE(SawStop("in category")) << "the download was stopped before its note went";
    EXPECT_EQ(Doc().m_pendingNotes.size(), 2u);

    // The notebook goes while a worker runs and messages are still queued.
    m_doc.reset();
    EXPECT_TRUE(SawStop("survivor"));
    m_queue.RunPending();
}

TEST_F(ScriptedDownloads, ANoteQueuedBehindALeftWorkerStartsWhenThatWorkerEnds) {
    Doc().m_nStopTimeout = 0ms;
    CNote* n = NewNote("n", "stubborn");
    Doc().ListForDownload(n, true);
    WaitStarted(1);
    EXPECT_TRUE(Doc().StopDownload(n));
    EXPECT_EQ(n->m_nStatus, kStatusDone);

    // Fetched again while the old worker still runs: it waits for that one.
    Doc().ListForDownload(n, true);
    EXPECT_EQ(n->m_nStatus, kStatusQueued);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        n->m_strSource = "ok";
    }
    Release(n);
    PumpUntil([&] { return n->m_nStatus == kStatusDone && Doc().m_nRunning == 0; });
    EXPECT_FALSE(Listed(n));
    EXPECT_EQ(m_nStarted, 2);
}

TEST_F(ScriptedDownloads, CopyingAndCountingANoteWhileItsWorkerWritesIt) {
    for (const char* name : {"vlta.gif", "vltb.gif"}) Doc().MakeAttachment(name, std::string("http://h/") + name, {});
    CNote* n = NewNote("n", "churn");
    Doc().ListForDownload(n, true);
    WaitStarted(1);
    for (int i = 0; i < 300; ++i) {
        std::unique_ptr<CNote> copy(n->CopyTo(&Doc()));
        ASSERT_TRUE(copy);
        // Content and names from one moment, never one of each.
        const std::string content(copy->Content().begin(), copy->Content().end());
        if (content == "A") EXPECT_EQ(copy->m_attachNames, std::vector<std::string>{"vlta.gif"});
        else if (content == "BB") EXPECT_EQ(copy->m_attachNames, (std::vector<std::string>{"vlta.gif", "vltb.gif"}));
        else EXPECT_EQ(content, "") << "before the first change";
        n->CountAttachmentUse();
    }
    Release(n);
    PumpUntil([&] { return Doc().m_nRunning == 0; });
    EXPECT_GT(m_nChurned, 1);
}

namespace {

// Real workers capturing from the loopback test server.
class NetworkDownloads : public ::testing::Test {
protected:
    NetworkDownloads() {
        m_pPrevQueue = host::SetUiQueue(&m_queue);
        m_saved = AppOptions();
        m_prevRoot = tempfiles::TempRoot();
        tempfiles::SetTempRoot(m_tmp.Path());
        // Tells the test when a worker's capture has returned.
        CClipVaultDoc::SetDownloadBody([this](CNote& n, const CDownloadSettings& settings) {
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_cv.wait(lock, [&] { return !m_bGate; });
            }
            const bool ok = RunNoteDownload(n, settings);
            std::lock_guard<std::mutex> lock(m_mutex);
            m_ended.insert(&n);
            m_cv.notify_all();
            return ok;
        });
    }
    ~NetworkDownloads() override {
        Open(false);
        m_doc.reset();
        CClipVaultDoc::SetDownloadBody(nullptr);
        host::SetUiQueue(m_pPrevQueue);
        AppOptions() = m_saved;
        tempfiles::SetTempRoot(m_prevRoot);
    }
    void Put(const std::string& rel, const std::string& bytes) {
        ASSERT_TRUE(fileutil::WriteWholeFile(m_site.File(rel), bytes.data(), bytes.size())) << rel;
    }
    testserver::TestServer& Server() {
        if (!m_server) m_server = std::make_unique<testserver::TestServer>("", m_site.Path());
        EXPECT_TRUE(m_server->Ok());
        return *m_server;
    }
    CNote* NewNote(const std::string& name, const std::string& url) {
        CNote* n = m_doc->m_rootCata.AddNewNote(name);
        n->m_strSource = url;
        n->m_nSourceKind = kSourceWebPage;
        return n;
    }
    // Holds workers before their capture begins while set.
    void Open(bool bHold) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bGate = bHold;
        m_cv.notify_all();
    }
    void WaitEnded(CNote* n) {
        std::unique_lock<std::mutex> lock(m_mutex);
        ASSERT_TRUE(m_cv.wait_for(lock, 90s, [&] { return m_ended.count(n) != 0; })) << n->m_strName;
    }
    void WaitRequests(const std::string& path, int n) {
        for (int i = 0; i < 2000 && Server().Count(path) < n; ++i) std::this_thread::sleep_for(5ms);
        ASSERT_GE(Server().Count(path), n) << path;
    }
    template <class Pred>
    void PumpUntil(Pred done) {
        const auto end = std::chrono::steady_clock::now() + 60s;
        while (!done()) {
            ASSERT_LT(std::chrono::steady_clock::now(), end) << "timed out";
            m_queue.WaitAndRun(5ms);
        }
    }
    CClipVaultDoc& Doc() { return *m_doc; }

    host::CSimpleUiQueue m_queue;
    TempDir m_site, m_tmp;
    std::unique_ptr<testserver::TestServer> m_server;
    std::unique_ptr<CClipVaultDoc> m_doc = std::make_unique<CClipVaultDoc>();
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bGate = false;
    std::set<CNote*> m_ended;

private:
    host::IUiQueue* m_pPrevQueue;
    CAppOptions m_saved;
    std::string m_prevRoot;
};

std::string Text(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

}  // namespace

TEST_F(NetworkDownloads, AWorkerLeftBehindByAStopStillStopsAndChangesNothing) {
    // Retried for good, as the user may have asked: only a stop ends it.
    AppOptions().m_download.m_bRetryNoLimit = true;
    AppOptions().m_nMaxDownloadWorkers = 5;
    Doc().m_nStopTimeout = 0ms;
    RecordingHost host;
    host.m_answers[ids::IDS_STOP_DOWNLOADS_TO_CLOSE] = host::IDYES;
    testserver::TestServer& s = Server();
    CNote* kept = NewNote("kept", s.Url("/stall/kept.htm"));
    {
        const std::string old = "<html>the page as it was</html>";
        kept->SetContent(std::vector<uint8_t>(old.begin(), old.end()));
        kept->m_strExt = "htm";
        kept->m_attachNames = {"vltold.gif"};
        kept->m_nContentType = kContentHeld;
    }
    CNote* gone = NewNote("gone", s.Url("/stall/gone.htm"));
    Doc().ListForDownload(kept, true);
    Doc().ListForDownload(gone, true);
    WaitRequests("/stall/kept.htm", 1);
    WaitRequests("/stall/gone.htm", 1);

    // Both stops give up waiting at once; the notes show done.
    EXPECT_TRUE(Doc().StopDownload(kept));
    EXPECT_EQ(kept->m_nStatus, kStatusDone);
    EXPECT_TRUE(Doc().StopDownload(kept)) << "a second stop";
    EXPECT_TRUE(Doc().CanCloseFrame()) << "stops the other one the same way";
    EXPECT_EQ(gone->m_nStatus, kStatusDone);
    EXPECT_FALSE(Doc().IsDownloading());
    ASSERT_TRUE(gone->Delete()) << "waits for its worker, which must have been told to stop";

    WaitEnded(kept);
    EXPECT_TRUE(Text(kept->Content()) == "<html>the page as it was</html>")
        << "the content became " << kept->Content().size() << " other bytes";
    EXPECT_EQ(kept->m_strExt, "htm");
    EXPECT_EQ(kept->m_attachNames, std::vector<std::string>{"vltold.gif"});
    EXPECT_EQ(kept->m_strError, "");
    EXPECT_EQ(Doc().m_attachments.GetCount(), 0u);
    EXPECT_EQ(s.Count("/stall/kept.htm"), 1) << "no attempt after the stop";
    m_queue.RunPending();
    EXPECT_EQ(kept->m_nStatus, kStatusDone);
    m_doc.reset();  // joins what is left
}

TEST_F(NetworkDownloads, AWorkerUsesTheOptionsAsTheyWereWhenItStarted) {
    Put("a.gif", "GIF-a");
    Put("bg.gif", "GIF-bg");
    Put("page.htm", "<body background=\"bg.gif\"><img src=\"a.gif\"></body>");
    testserver::TestServer& s = Server();
    AppOptions().m_download.m_bFetchResources = true;
    AppOptions().m_download.m_nRetries = 2;
    CNote* n = NewNote("p", s.Url("/files/page.htm"));
    Open(true);
    Doc().ListForDownload(n, true);
    // Changed in the window once the download was under way.
    AppOptions().m_download.m_bFetchResources = false;
    Open(false);
    // And changed again and again while it runs.
    const auto end = std::chrono::steady_clock::now() + 60s;
    for (int i = 0;; ++i) {
        AppOptions().m_download.m_strProxyUser = "user" + std::to_string(i);
        AppOptions().m_download.m_strProxyPassword = std::string(static_cast<size_t>(i % 64), 'p');
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_ended.count(n)) break;
        }
        ASSERT_LT(std::chrono::steady_clock::now(), end) << "the capture did not end";
        std::this_thread::sleep_for(100us);
    }
    PumpUntil([&] { return Doc().m_nRunning == 0; });
    EXPECT_EQ(n->m_nStatus, kStatusDone);
    EXPECT_EQ(Text(n->Content()), "<body background=\"vltbg.gif\"><img src=\"vlta.gif\"></body>");
    // In the order they stand in the page.
    EXPECT_EQ(n->m_attachNames, (std::vector<std::string>{"vltbg.gif", "vlta.gif"}));
}
