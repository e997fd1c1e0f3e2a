// The sdl back end: a window thread that owns an SdlPresenter and runs its
// presentation cycles until the screen closes.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "screen/screen_backend.h"
#include "screen/sdl_presenter.h"

namespace drusk {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto cyclePeriod = std::chrono::milliseconds(10);

struct SdlBackendState {
    std::thread thread;
    std::atomic<bool> stopRequested{false};
    std::mutex startLock;
    std::condition_variable started;
    bool signalled = false;
    SdlPresenter* presenter = nullptr;  // set once before signalling
};

void windowThread(SdlBackendState* state, Screen* screen, bool fullScreen) {
    SdlPresenter* presenter = createSdlPresenter(*screen, fullScreen);
    if (presenter) screen->active = true;
    {
        std::lock_guard<std::mutex> hold(state->startLock);
        state->presenter = presenter;
        state->signalled = true;
    }
    state->started.notify_all();
    if (!presenter) return;
    // Each cycle starts at least one period after the one before; a present
    // that waited for the display's refresh counts towards it.
    while (!state->stopRequested.load()) {
        Clock::time_point cycleStart = Clock::now();
        runLockedCycle(*presenter);
        presentIfChanged(*presenter);
        std::this_thread::sleep_until(cycleStart + cyclePeriod);
    }
    destroySdlPresenter(presenter);
}

bool startSdl(Screen& screen, bool fullScreen, int32_t) {
    auto* state = new SdlBackendState;
    state->thread = std::thread(windowThread, state, &screen, fullScreen);
    SdlPresenter* presenter;
    {
        std::unique_lock<std::mutex> hold(state->startLock);
        state->started.wait(hold, [&] { return state->signalled; });
        presenter = state->presenter;
    }
    if (!presenter) {
        state->thread.join();
        delete state;
        return false;
    }
    screen.backendState = state;
    return true;
}

void stopSdl(Screen& screen) {
    auto* state = static_cast<SdlBackendState*>(screen.backendState);
    if (!state) return;
    state->stopRequested = true;
    state->thread.join();
    screen.backendState = nullptr;
    screen.active = false;
    delete state;
}

void setMouseSdl(Screen& screen, int32_t x, int32_t y, int32_t visible, int32_t clip) {
    auto* state = static_cast<SdlBackendState*>(screen.backendState);
    if (state) requestPointer(*state->presenter, x, y, visible, clip);
}

}  // namespace

const ScreenBackend sdlScreenBackend = {"sdl", startSdl, stopSdl, setMouseSdl};

}  // namespace drusk
