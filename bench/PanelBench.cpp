// How long the panel takes to start and stop, and one reading on each panel, from the
// button to the pixels: the histogram panel's three histogram calls, fill and draw, and
// the readings panel's level reading and display update. Runs offscreen on the emulated
// instrument, with message boxes recorded instead of shown.
#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "app/SfpApp.h"
#include "histogram/Pan1Form.h"
#include "panels/Panel.h"
#include "panels/ReadForm.h"
#include "platform/MessageBox.h"

#include <QAction>
#include <QApplication>

#include <benchmark/benchmark.h>

#include <optional>

namespace {

constexpr const char* kMissingLibrary = "libsfp-bench-no-such-library.so";

// Start-up to the shown main window, then shutdown, as the program does them.
void BM_StartUpAndShutDown(benchmark::State& state) {
    for (auto _ : state) {
        CSfpApp app;
        app.m_visaLibraryName = kMissingLibrary;
        app.Initialize();
        QCoreApplication::processEvents();
        delete app.m_pMainWnd;
    }
}
BENCHMARK(BM_StartUpAndShutDown)->Unit(benchmark::kMillisecond);

// The running panel for the reading benchmarks, made when the first of them runs.
struct Panel {
    Panel() {
        app.m_visaLibraryName = kMissingLibrary;
        app.Initialize();
    }
    ~Panel() { delete app.m_pMainWnd; }
    template <class Form> Form* ShowForm(int commandId) {
        app.m_pMainWnd->MenuAction(commandId)->trigger();
        QCoreApplication::processEvents();
        return static_cast<Form*>(app.m_pCurrentPanel->m_pForm.data());
    }
    CSfpApp app;
};

std::optional<Panel> g_panel; // ends before the QApplication does

Panel& RunningPanel() {
    if (!g_panel) {
        g_panel.emplace();
    }
    return *g_panel;
}

void BM_HistogramTakeReading(benchmark::State& state) {
    auto* form = RunningPanel().ShowForm<CPan1Form>(ID_PANELS_HISTOGRAM);
    for (auto _ : state) {
        form->TakeReading();
    }
}
BENCHMARK(BM_HistogramTakeReading)->Unit(benchmark::kMicrosecond);

void BM_ReadingsTakeReading(benchmark::State& state) {
    auto* form = RunningPanel().ShowForm<CReadForm>(ID_PANELS_READINGS);
    for (auto _ : state) {
        form->TakeReading();
    }
}
BENCHMARK(BM_ReadingsTakeReading)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qtApp(argc, argv);
    platform::MessageBoxRecorder boxes;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_panel.reset();
    return 0;
}
