// Start-up of the desktop program in one process: the application object,
// the language module, the main window with its bars, and a sample notebook
// opened from the command line into its window (tree filled, browser view
// made). Process start and the web engine's helper processes are not in it.
#include "app/ClipVaultApp.h"
#include "app/DocTemplate.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/gui/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

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

}  // namespace

BENCHMARK(StartEmpty)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(StartWithSample, getting_started, "Getting Started.vlt")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(StartWithSample, recipes_travel, "Recipes and Travel.vlt")->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
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
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
