// Start-up of the desktop program in one process: the application object,
// the language module, the main window with its bars, and a sample notebook
// opened from the command line into its window (tree filled, browser view
// made). Process start and the web engine's helper processes are not in it.
// Every run starts on a fresh profile, as a first start does: the tip of the
// day comes up and is answered with Cancel. The figures end with each
// start-up set against the reference, a bare window with a menu and a tree
// made and shown the same way, so that a slow machine shows as such.
#include "app/ClipVaultApp.h"
#include "app/DocTemplate.h"
#include "capture/gui/StoredPageScheme.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/TemplateDialog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QMenuBar>
#include <QTreeWidget>
#include <QSettings>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

QString g_strProgramFolder;

CAppEnvironment Environment() {
    CAppEnvironment env;
    env.m_strProgramFolder = g_strProgramFolder;
    env.m_strOptionsPath = g_strProgramFolder + QStringLiteral("/AppOption.data");
    env.m_locale = QLocale(QLocale::English, QLocale::UnitedStates);
    env.m_bSingleInstance = false;
    return env;
}

void StartWithSample(benchmark::State& state, const char* sample) {
    const QString path = g_strProgramFolder + QStringLiteral("/Sample/") + QString::fromLatin1(sample);
    for (auto _ : state) {
        CClipVaultApp app(Environment());
        // The start-up picture's minimum time is a wait, not work.
        app.m_nSplashMinMs = 0;
        if (!app.InitInstance({QStringLiteral("clipvault"), path})) {
            state.SkipWithError("start-up failed");
            break;
        }
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(app.MainFrame()->ActiveChildFrame()->TreeView()->topLevelItemCount());
    }
}

void StartEmpty(benchmark::State& state) {
    for (auto _ : state) {
        CClipVaultApp app(Environment());
        app.m_fnStartDialog = [] {};
        app.m_nSplashMinMs = 0;
        if (!app.InitInstance({QStringLiteral("clipvault")})) {
            state.SkipWithError("start-up failed");
            break;
        }
        QCoreApplication::processEvents();
    }
}

// The floor any start-up of a Qt window stands on.
void Reference_BareWindow(benchmark::State& state) {
    for (auto _ : state) {
        QMainWindow window;
        window.menuBar()->addMenu(QStringLiteral("File"))->addAction(QStringLiteral("Open"));
        auto* tree = new QTreeWidget(&window);
        tree->addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("Notebook")}));
        window.setCentralWidget(tree);
        window.show();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(tree->topLevelItemCount());
    }
}

// The usual table, then each start-up as a multiple of the reference.
class CRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (!run.error_occurred && run.iterations > 0)
                m_ms[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto ref = m_ms.find("Reference_BareWindow");
        if (ref == m_ms.end() || ref->second <= 0) return;
        std::printf("\nreal time against the reference (a bare window, %.1f ms):\n", ref->second);
        for (const auto& [name, ms] : m_ms)
            if (name != ref->first) std::printf("  %-40s %8.1f ms  %6.1fx\n", name.c_str(), ms, ms / ref->second);
    }

private:
    std::map<std::string, double> m_ms;
};

}  // namespace

BENCHMARK(Reference_BareWindow)->Unit(benchmark::kMillisecond);
BENCHMARK(StartEmpty)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(StartWithSample, getting_started, "Getting Started.vlt")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(StartWithSample, recipes_travel, "Recipes and Travel.vlt")->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    // As the program does: the browser view serves notes under this scheme.
    RegisterStoredPageScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication qapp(argc, argv);
    // A program folder of its own beside the built one, so nothing there
    // (options, recent files) changes.
    QTemporaryDir dir;
    g_strProgramFolder = dir.path();
    const QString bin = QStringLiteral(CLIPVAULT_BIN_DIR);
    QFile::link(bin + QStringLiteral("/Language"), dir.path() + QStringLiteral("/Language"));
    QFile::link(bin + QStringLiteral("/Sample"), dir.path() + QStringLiteral("/Sample"));
    QTemporaryDir config;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    SetMessageBoxHook([](unsigned, unsigned, const QString&) { return 2; });
    // The tip of the day of a fresh profile, and any other dialog, is
    // answered as a user who closes it at once: Cancel.
    SetDialogHook([](CTemplateDialog&) {});
    benchmark::Initialize(&argc, argv);
    CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    return 0;
}
