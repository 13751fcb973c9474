#include "app/StartupTiming.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace startup_timing {
namespace {

// The whole process's, all threads, since it started.
long long CpuMs() {
    rusage usage{};
    if (::getrusage(RUSAGE_SELF, &usage) != 0) return -1;
    auto ms = [](const timeval& tv) { return static_cast<long long>(tv.tv_sec) * 1000 + tv.tv_usec / 1000; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

class CFirstPaintWatch : public QObject {
public:
    CFirstPaintWatch(QTreeWidget* pTree, qint64 nMainMs) : QObject(pTree->viewport()), m_pTree(pTree), m_nMainMs(nMainMs) {
        m_clock.start();
        pTree->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override {
        if (pEvent->type() != QEvent::Paint || m_bPainted || m_pTree->topLevelItemCount() == 0)
            return QObject::eventFilter(pWatched, pEvent);
        m_bPainted = true;
        // The filter runs before the paint; the next turn of the event
        // loop comes after it, when the window takes input again.
        QTimer::singleShot(0, this, [this] {
            std::fprintf(stderr, "clipvault: tree shown at %lld (%lld ms after main, %lld ms of CPU)\n",
                         static_cast<long long>(QDateTime::currentMSecsSinceEpoch()),
                         static_cast<long long>(m_nMainMs + m_clock.elapsed()), CpuMs());
            std::fflush(stderr);
            deleteLater();
        });
        return QObject::eventFilter(pWatched, pEvent);
    }

private:
    QTreeWidget* m_pTree;
    qint64 m_nMainMs;
    QElapsedTimer m_clock;
    bool m_bPainted = false;
};

}  // namespace

bool Wanted() {
    static const bool bWanted = std::getenv("CLIPVAULT_REPORT_TREE_SHOWN") != nullptr;
    return bWanted;
}

void ReportWhenShown(QTreeWidget* pTree, const QElapsedTimer& sinceMain) {
    if (!pTree || !Wanted()) return;
    new CFirstPaintWatch(pTree, sinceMain.isValid() ? sinceMain.elapsed() : 0);
}

}  // namespace startup_timing
