// One presentation cycle of the sdl back end (take the display lock, copy
// all 480 marked rows into the window's texture, handle waiting events,
// release) against a plain memcpy of the same 1,228,800 bytes. Runs on the
// X display in DISPLAY, or on a private Xvfb when none is set.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "screen/screen.h"
#include "screen/sdl_presenter.h"
#include "tests/x11_session.h"

namespace drusk {
namespace {

constexpr size_t pageBytes = 640 * 480 * 4;

struct Fixture {
    std::unique_ptr<testing::X11Session> session;
    SdlPresenter* presenter = nullptr;
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_PlainCopy(benchmark::State& state) {
    Screen& screen = *currentScreen();
    auto* target = static_cast<uint8_t*>(std::aligned_alloc(16, pageBytes));
    for (auto _ : state) {
        std::memcpy(target, screen.pages[0], pageBytes);
        benchmark::DoNotOptimize(target);
        benchmark::ClobberMemory();
    }
    std::free(target);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * pageBytes);
}
BENCHMARK(BM_PlainCopy);

void BM_PresentationCycle(benchmark::State& state) {
    Screen& screen = *currentScreen();
    for (auto _ : state) {
        std::memset(screen.changedRows, 1, static_cast<size_t>(screen.height));
        runLockedCycle(*fixture().presenter);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * pageBytes);
}
BENCHMARK(BM_PresentationCycle);

// The same cycle with nothing marked: the lock and the event pump alone.
void BM_IdleCycle(benchmark::State& state) {
    for (auto _ : state)
        runLockedCycle(*fixture().presenter);
}
BENCHMARK(BM_IdleCycle);

// Prints as usual and keeps each benchmark's time per iteration for the
// ratio at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.iterations > 0) times[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace
}  // namespace drusk

int main(int argc, char** argv) {
    using namespace drusk;
    benchmark::Initialize(&argc, argv);
    fixture().session = std::make_unique<testing::X11Session>();
    if (!fixture().session->ok()) {
        std::fprintf(stderr, "no X display: %s\n", fixture().session->error().c_str());
        return 1;
    }
    // The screen's pages and marks without a window thread; the benchmark's
    // own thread drives the window instead.
    setenv("DRUSK_SCREEN", "null", 1);
    if (openScreen(640, 480, 32, 2, alphaPrimitives, 0) != 0) return 1;
    fixture().presenter = createSdlPresenter(*currentScreen(), false);
    if (!fixture().presenter) {
        std::fprintf(stderr, "cannot open an SDL window\n");
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    destroySdlPresenter(fixture().presenter);
    closeScreen();

    auto copy = reporter.times.find("BM_PlainCopy");
    if (copy != reporter.times.end() && copy->second > 0) {
        for (const char* name : {"BM_PresentationCycle", "BM_IdleCycle"}) {
            auto cycle = reporter.times.find(name);
            if (cycle == reporter.times.end()) continue;
            std::printf("%s / plain copy of 1,228,800 bytes: %.2f\n", name,
                        cycle->second / copy->second);
        }
    }
    benchmark::Shutdown();
    return 0;
}
