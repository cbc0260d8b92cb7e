// How long one reading takes on each panel, from the button to the pixels: the histogram
// panel's three histogram calls, fill and draw, and the readings panel's level reading
// and display update. Runs offscreen on the emulated instrument.
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

namespace {

// The running panel on the emulated instrument, made once for all benchmarks.
struct Panel {
    Panel() {
        app.m_visaLibraryName = "libsfp-bench-no-such-library.so";
        app.Initialize();
    }
    template <class Form> Form* ShowForm(int commandId) {
        app.m_pMainWnd->MenuAction(commandId)->trigger();
        QCoreApplication::processEvents();
        return static_cast<Form*>(app.m_pCurrentPanel->m_pForm.data());
    }
    platform::MessageBoxRecorder boxes;
    CSfpApp app;
};

Panel* g_panel = nullptr;

void BM_HistogramTakeReading(benchmark::State& state) {
    auto* form = g_panel->ShowForm<CPan1Form>(ID_PANELS_HISTOGRAM);
    for (auto _ : state) {
        form->TakeReading();
    }
}
BENCHMARK(BM_HistogramTakeReading)->Unit(benchmark::kMicrosecond);

void BM_ReadingsTakeReading(benchmark::State& state) {
    auto* form = g_panel->ShowForm<CReadForm>(ID_PANELS_READINGS);
    for (auto _ : state) {
        form->TakeReading();
    }
}
BENCHMARK(BM_ReadingsTakeReading)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qtApp(argc, argv);
    Panel panel;
    g_panel = &panel;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete panel.app.m_pMainWnd;
    return 0;
}
