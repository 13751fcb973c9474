// A stand-in for the program on the test's private session bus: owns the
// program's bus name, answers AddNotesFromFiles and keeps what each call
// brought, so that a test sees exactly what crossed the bus.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;

namespace ctxmenu_test {

struct RecordedCall {
    std::string strSignature;       // of the call's arguments, "(v)"
    std::string strInnerType;       // of what the variant holds, "av"
    std::vector<std::string> paths; // the string elements, in order
    bool bAllStrings = true;        // every element a variant holding a string
};

class RecordingService {
public:
    enum class Kind {
        Full,           // the interface with AddNotesFromFiles
        WithoutMember,  // the interface, but only StartImport
    };
    explicit RecordingService(Kind kind = Kind::Full);
    ~RecordingService();

    // The name is owned and the object answers.
    bool Started() const { return m_bStarted; }
    // Waits until at least `nCalls` calls arrived or `nMs` passed.
    bool WaitForCalls(std::size_t nCalls, int nMs);
    std::vector<RecordedCall> Calls();

    // Called on the service's thread.
    void Record(RecordedCall call);

private:
    void Run();

    Kind m_kind;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_bReady = false;
    bool m_bStarted = false;
    std::vector<RecordedCall> m_arrCalls;
    GMainContext* m_pContext = nullptr;
    GMainLoop* m_pLoop = nullptr;
    GDBusConnection* m_pBus = nullptr;
};

// The folder the test's bus looks in for activation files.
std::string ServiceDir();

}  // namespace ctxmenu_test
