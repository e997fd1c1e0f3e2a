// The real program, measured from outside the way a player meets it, on
// castles written here and on a private 640 by 480 X server (so the full
// screen window shows the picture pixel for pixel):
//  - how long a key press takes to show its frame, against the same road
//    through the screen layer with a responder that answers at once;
//  - how much processor time the play loop takes while nobody presses a
//    key, against the wall clock, beside a bare 100-a-second sleep loop;
//  - how long a castle of 48 rooms takes from exec to its title picture
//    and how much memory it holds then, against cat reading the same
//    picture files and against their size.
// Each figure is measured in the same run as its reference. Sound goes to
// SDL's dummy driver, which mixes in real time without a device.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "game/game_data.h"
#include "game/movement.h"
#include "screen/keyboard.h"
#include "screen/screen.h"
#include "tests/run_program.h"
#include "tests/temp_dir.h"
#include "tests/x11_session.h"
#include "tools/bmp_writer.h"
#include "tools/castle/castle_audio.h"
#include "tools/module_writer.h"

extern char** environ;

namespace drusk {
namespace {

using Clock = std::chrono::steady_clock;
using testing::RunningProgram;
using testing::TempDir;
using testing::X11Session;
using testing::XWindowId;

// Mid-picture, clear of the minimap and the panel.
constexpr int probeX = 320;
constexpr int probeY = 240;
constexpr uint32_t titleColour = 0x00336699;
constexpr uint32_t gameOverColour = 0x00FF00FF;  // all mask: the overlay shows nothing
constexpr uint32_t unreadable = 0xFFFFFFFFu;
constexpr auto probePeriod = std::chrono::microseconds(500);

// Every view picture one flat colour, different for each room and facing.
uint32_t viewColour(int column, int row, Facing facing) {
    return static_cast<uint32_t>(0x10 + column * 0x28) << 16 |
           static_cast<uint32_t>(0x10 + row * 0x1C) << 8 |
           static_cast<uint32_t>(0x20 + facing * 0x30);
}

double millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double quantile(std::vector<double> values, double q) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t at = static_cast<size_t>(q * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

// What the benchmarks found, printed as a summary at the end.
std::vector<std::string>& summary() {
    static std::vector<std::string> lines;
    return lines;
}

template <typename... Args>
void note(const char* format, Args... args) {
    char line[256];
    std::snprintf(line, sizeof line, format, args...);
    summary().push_back(line);
}

X11Session*& session() {
    static X11Session* s = nullptr;
    return s;
}

// A castle on disk: the program, game.txt, the pictures and the music.
struct Castle {
    TempDir dir;
    std::string program;
    std::vector<std::string> pictures;  // every picture file start-up reads
    uint64_t pictureBytes = 0;
    uint64_t dataBytes = 0;  // everything start-up reads: game.txt, music, pictures
};

bool writeFlatPicture(const std::string& path, uint32_t colour) {
    BmpFormat format;
    format.bitCount = 24;
    BmpPicture picture;
    std::vector<uint32_t> colours(640 * 480, 0xFF000000u | colour);
    return pictureFromColours(640, 480, colours, format, picture) &&
           writeBmpFile(path, picture, format);
}

// Rooms fill the first `rooms` cells in reading order; the start is (0, 0)
// facing east. No events.
std::unique_ptr<Castle> writeCastle(int rooms, bool music) {
    auto castle = std::make_unique<Castle>();
    const std::string& root = castle->dir.path();
    std::filesystem::create_directories(root + "/img");
    std::filesystem::create_directories(root + "/sfx");
    std::string text;
    for (int row = 0; row < mapRows; ++row) {
        for (int column = 0; column < mapColumns; ++column) {
            bool room = row * mapColumns + column < rooms;
            text += room ? "1" : "0";
            text += column + 1 < mapColumns ? "," : "\n";
            if (!room) continue;
            for (Facing facing = north; facing <= east; ++facing) {
                std::string path = root + "/img/" + std::to_string(row) + "_" +
                                   std::to_string(column) + "_" + "nwse"[facing] + ".bmp";
                if (!writeFlatPicture(path, viewColour(column, row, facing))) return nullptr;
                castle->pictures.push_back(path);
            }
        }
    }
    castle->dir.write("game.txt", text + "0,0,3\n");
    for (auto [name, colour] :
         {std::pair{"titlecard", titleColour}, {"gameover", gameOverColour}}) {
        std::string path = root + "/img/" + name + ".bmp";
        if (!writeFlatPicture(path, colour)) return nullptr;
        castle->pictures.push_back(path);
    }
    for (const std::string& path : castle->pictures)
        castle->pictureBytes += std::filesystem::file_size(path);
    if (music && writeModule(root + "/sfx/castletheme.mo3", castle::castleTheme()) != 0) {
        return nullptr;
    }
    castle->dataBytes = castle->pictureBytes + std::filesystem::file_size(root + "/game.txt");
    if (music) castle->dataBytes += std::filesystem::file_size(root + "/sfx/castletheme.mo3");
    castle->program = root + "/drusk";
    testing::copyExecutable(DRUSK_BINARY, castle->program);
    return castle;
}

const std::vector<std::string> gameEnvironment = {"DRUSK_SCREEN=sdl", "SDL_AUDIODRIVER=dummy"};

XWindowId waitForWindow(const std::string& title, Clock::time_point deadline) {
    X11Session& x = *session();
    while (Clock::now() < deadline) {
        XWindowId window = x.waitForWindow(title, 0);
        if (window) return window;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 0;
}

// Waits until the window titled `title` shows `colour` at the probe; false
// after the deadline. Reads every half millisecond. The window is looked
// up again when it cannot be read: a renderer that needs other window
// properties makes the window anew while the screen opens.
bool waitForColour(XWindowId& window, const std::string& title, uint32_t colour,
                   Clock::time_point deadline) {
    X11Session& x = *session();
    while (Clock::now() < deadline) {
        uint32_t shown = x.pixel(window, probeX, probeY);
        if (shown == colour) return true;
        if (shown == unreadable) {
            XWindowId again = x.waitForWindow(title, 0);
            if (again) window = again;
        }
        std::this_thread::sleep_for(probePeriod);
    }
    return false;
}

// Ends a program started here and waits until its window is gone, so the
// next search cannot find it.
void endGame(std::unique_ptr<RunningProgram>& game) {
    game.reset();
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (session()->waitForWindow("drusk", 0) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

struct Playing {
    std::unique_ptr<RunningProgram> game;
    XWindowId window = 0;
};

// Starts the program and plays it past the title to the first frame.
bool startPlaying(const Castle& castle, Playing& playing, benchmark::State& state) {
    X11Session& x = *session();
    auto deadline = Clock::now() + std::chrono::seconds(60);
    playing.game =
        std::make_unique<RunningProgram>(castle.program, castle.dir.path(), gameEnvironment);
    playing.window = waitForWindow("drusk", deadline);
    if (!playing.window || !waitForColour(playing.window, "drusk", titleColour, deadline)) {
        state.SkipWithError(("no title: " + playing.game->err()).c_str());
        return false;
    }
    x.focus(playing.window);
    x.tapKey("space");
    if (!waitForColour(playing.window, "drusk", viewColour(0, 0, east), deadline)) {
        state.SkipWithError(("no first frame: " + playing.game->err()).c_str());
        return false;
    }
    return true;
}

// Presses Left `count` times with pauses of varying length between, so
// that the presses fall at every point of the 10 ms cycles, and measures
// each press to the moment the window shows the colour that
// nextColour(press) names. The times in milliseconds; fewer when a frame
// did not come.
template <typename NextColour>
std::vector<double> timeKeyPresses(XWindowId window, const std::string& title, int count,
                                   NextColour nextColour) {
    X11Session& x = *session();
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        uint32_t expected = nextColour(i);
        x.focus(window);
        Clock::time_point pressed = Clock::now();
        x.pressKey("Left");
        bool shown = waitForColour(window, title, expected, pressed + std::chrono::seconds(10));
        Clock::time_point seen = Clock::now();
        x.releaseKey("Left");
        if (!shown) break;
        times.push_back(millisecondsBetween(pressed, seen));
        std::this_thread::sleep_for(std::chrono::milliseconds(40 + (i * 7) % 23));
    }
    return times;
}

// The same road without the game: this process opens the screen with its
// own window, and a responder polls the key queue every millisecond and
// answers each key with a new colour over the whole page.
std::vector<double> timeResponderKeyPresses(int count, benchmark::State& state) {
    if (openScreen(640, 480, 32, 2, fullScreen | alphaPrimitives, 0) != 0) {
        state.SkipWithError("cannot open a window in the benchmark");
        return {};
    }
    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    auto colourOf = [](int n) { return 0x00204060u + static_cast<uint32_t>(n % 2) * 0x00404040u; };
    std::thread responder([&] {
        Screen& screen = *currentScreen();
        while (!stop.load()) {
            if (!pollKey().empty()) {
                int n = answered.fetch_add(1) + 1;
                lockScreen();
                std::fill(screenRow(screen, 0, 0), screenRow(screen, 0, 0) + 640 * 480,
                          0xFF000000u | colourOf(n));
                unlockScreen(-1, -1);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::vector<double> times;
    const std::string title = currentScreen()->title;
    XWindowId window = waitForWindow(title, Clock::now() + std::chrono::seconds(20));
    if (window) {
        times = timeKeyPresses(window, title, count, [&](int i) { return colourOf(i + 1); });
    } else {
        state.SkipWithError("the benchmark's own window did not appear");
    }
    stop = true;
    responder.join();
    closeScreen();
    return times;
}

// The duration of the play loop's 10 ms sleep as this machine gives it.
double loopSleepMilliseconds() {
    std::vector<double> times;
    for (int i = 0; i < 50; ++i) {
        Clock::time_point start = Clock::now();
        sleepMs(10);
        times.push_back(millisecondsBetween(start, Clock::now()));
    }
    return median(times);
}

void KeyPressToFrame(benchmark::State& state) {
    constexpr int presses = 40;
    auto castle = writeCastle(1, false);
    if (!castle) return state.SkipWithError("cannot write the castle");
    for (auto _ : state) {
        std::vector<double> reference = timeResponderKeyPresses(presses, state);
        if (static_cast<int>(reference.size()) < presses) {
            if (!state.error_occurred()) state.SkipWithError("the responder missed a key");
            break;
        }
        Playing playing;
        if (!startPlaying(*castle, playing, state)) break;
        PlayerState player{0, 0, east};
        std::vector<Facing> facings;
        for (int i = 0; i < presses; ++i) {
            turnLeft(player);
            facings.push_back(player.facing);
        }
        std::vector<double> game = timeKeyPresses(
            playing.window, "drusk", presses, [&](int i) { return viewColour(0, 0, facings[i]); });
        endGame(playing.game);
        if (static_cast<int>(game.size()) < presses) {
            state.SkipWithError("a key press did not show its frame");
            break;
        }
        double sleep = loopSleepMilliseconds();
        double gameMedian = median(game), referenceMedian = median(reference);
        state.SetIterationTime(gameMedian / 1000);
        state.counters["game_ms"] = gameMedian;
        state.counters["game_p90_ms"] = quantile(game, 0.9);
        state.counters["responder_ms"] = referenceMedian;
        state.counters["ratio"] = gameMedian / referenceMedian;
        state.counters["loop_sleep_ms"] = sleep;
        note("key press to frame: median %.1f ms (90%% %.1f ms, max %.1f ms) over %d presses",
             gameMedian, quantile(game, 0.9), quantile(game, 1.0), presses);
        note("  same road, responder polling every 1 ms: median %.1f ms (90%% %.1f ms)",
             referenceMedian, quantile(reference, 0.9));
        note("  ratio game / responder: %.2f; game latency in loop sleeps (%.2f ms): %.2f",
             gameMedian / referenceMedian, sleep, gameMedian / sleep);
    }
}
BENCHMARK(KeyPressToFrame)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// Processor time of every thread of a process, by thread id, from the
// scheduler's running time (nanoseconds) rather than the 10 ms ticks of
// stat, so that threads using a fraction of a percent can be told apart.
struct ThreadTime {
    std::string name;
    double seconds = 0;
};

std::map<int, ThreadTime> threadTimes(int pid) {
    std::map<int, ThreadTime> result;
    std::string taskDir = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(taskDir, error)) {
        int tid = std::atoi(entry.path().filename().c_str());
        std::ifstream schedstat(entry.path() / "schedstat");
        double runNs = 0;
        if (!(schedstat >> runNs)) continue;
        std::ifstream comm(entry.path() / "comm");
        ThreadTime t;
        std::getline(comm, t.name);
        t.seconds = runNs / 1e9;
        result[tid] = t;
    }
    return result;
}

// utime + stime of the whole process, as /proc/<pid>/stat gives them.
long processTicks(int pid) {
    std::ifstream statFile("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    size_t close = stat.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    long ticks = 0;
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number == 14 || number == 15) ticks += std::atol(field.c_str());
    }
    return ticks;
}

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// range(0): 1 with the music playing, 0 without a music file.
void IdlePlayLoop(benchmark::State& state) {
    bool music = state.range(0) != 0;
    constexpr auto window = std::chrono::seconds(10);
    auto castle = writeCastle(1, music);
    if (!castle) return state.SkipWithError("cannot write the castle");
    for (auto _ : state) {
        Playing playing;
        if (!startPlaying(*castle, playing, state)) break;
        // Start-up and the first frame are behind; let the renderer settle.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        int pid = playing.game->pid();
        // Beside it, the least any loop that wakes every 10 ms can cost.
        double floorSeconds = 0;
        std::thread floorLoop([&] {
            double start = threadCpuSeconds();
            auto end = Clock::now() + window;
            while (Clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            floorSeconds = threadCpuSeconds() - start;
        });
        std::map<int, ThreadTime> before = threadTimes(pid);
        long processBefore = processTicks(pid);
        Clock::time_point start = Clock::now();
        std::this_thread::sleep_for(window);
        std::map<int, ThreadTime> after = threadTimes(pid);
        long processAfter = processTicks(pid);
        double wall = std::chrono::duration<double>(Clock::now() - start).count();
        floorLoop.join();
        bool stillThere =
            session()->pixel(playing.window, probeX, probeY) == viewColour(0, 0, east);
        endGame(playing.game);
        if (processBefore < 0 || processAfter < 0 || !stillThere) {
            state.SkipWithError("the game did not stay in play");
            break;
        }
        double tick = 1.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
        double total = static_cast<double>(processAfter - processBefore) * tick / wall;
        double loop = 0, sound = 0, other = 0;
        for (const auto& [tid, now] : after) {
            auto was = before.find(tid);
            double used = (now.seconds - (was == before.end() ? 0 : was->second.seconds)) / wall;
            if (tid == pid) {
                loop += used;
            } else if (now.name.rfind("SDLAudio", 0) == 0) {
                sound += used;
            } else {
                other += used;
            }
        }
        state.SetIterationTime(wall);
        state.counters["core_percent"] = 100 * total;
        state.counters["threads_percent"] = 100 * (loop + sound + other);
        state.counters["loop_thread_percent"] = 100 * loop;
        state.counters["sound_percent"] = 100 * sound;
        state.counters["other_percent"] = 100 * other;
        state.counters["floor_percent"] = 100 * floorSeconds / wall;
        note("idle play loop %s music, %.1f s: %.2f %% of one core (stat ticks; target < 1 %%)",
             music ? "with" : "without", wall, 100 * total);
        note(
            "  by thread (scheduler time): main thread (play loop) %.3f %%, sound mixing "
            "%.3f %%, the others (window thread, renderer) %.3f %%; together %.3f %%",
            100 * loop, 100 * sound, 100 * other, 100 * (loop + sound + other));
        note("  a bare 10 ms sleep loop in the same window: %.3f %%", 100 * floorSeconds / wall);
    }
}
BENCHMARK(IdlePlayLoop)->Arg(1)->Arg(0)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

// Runs cat over the files into /dev/null; the wall time from spawn to
// exit.
bool timeCat(const std::vector<std::string>& files, double* milliseconds) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("cat"));
    for (const std::string& file : files)
        argv.push_back(const_cast<char*>(file.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    Clock::time_point start = Clock::now();
    int failed = posix_spawnp(&pid, "cat", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    *milliseconds = millisecondsBetween(start, Clock::now());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// VmHWM of /proc/<pid>/status in kilobytes; -1 when it cannot be read.
long peakMemoryKb(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return -1;
}

// Starts the program and times it from the spawn to its title picture on
// the screen; its peak memory then (the pictures are all loaded by that
// time). An empty string, or what went wrong.
std::string timeStartUp(const Castle& castle, double* milliseconds, long* peakKb) {
    auto deadline = Clock::now() + std::chrono::seconds(60);
    Clock::time_point start = Clock::now();
    auto game =
        std::make_unique<RunningProgram>(castle.program, castle.dir.path(), gameEnvironment);
    XWindowId window = waitForWindow("drusk", deadline);
    if (!window) return "no window: " + game->err();
    if (!waitForColour(window, "drusk", titleColour, deadline)) {
        return "no title (the window shows " +
               std::to_string(session()->pixel(window, probeX, probeY)) + "): " + game->err();
    }
    *milliseconds = millisecondsBetween(start, Clock::now());
    *peakKb = peakMemoryKb(game->pid());
    endGame(game);
    return {};
}

// Bytes the process has read so far through read calls (rchar), -1 when
// it cannot be told.
long long bytesRead(int pid) {
    std::ifstream io("/proc/" + std::to_string(pid) + "/io");
    std::string name;
    long long value = 0;
    while (io >> name >> value) {
        if (name == "rchar:") return value;
    }
    return -1;
}

// The same without a window (the in-memory screen): no pixels to watch,
// so the end of start-up is the moment the program has read as many bytes
// as its data files hold; the title picture is the last of them, and the
// program then waits for a key.
std::string timeStartUpWithoutWindow(const Castle& castle, double* milliseconds, long* peakKb) {
    auto deadline = Clock::now() + std::chrono::seconds(60);
    Clock::time_point start = Clock::now();
    auto game = std::make_unique<RunningProgram>(
        castle.program, castle.dir.path(),
        std::vector<std::string>{"DRUSK_SCREEN=null", "SDL_AUDIODRIVER=dummy"});
    for (;;) {
        long long read = bytesRead(game->pid());
        if (read >= static_cast<long long>(castle.dataBytes)) break;
        if (!game->running() || Clock::now() > deadline) return "no start: " + game->err();
        std::this_thread::sleep_for(probePeriod);
    }
    *milliseconds = millisecondsBetween(start, Clock::now());
    *peakKb = peakMemoryKb(game->pid());
    game.reset();
    return {};
}

// What it costs to get fresh memory for the view pictures and write it
// once, in this process: the least any program that keeps them decoded
// pays, beside the reading.
double freshImageMemoryMilliseconds(int count) {
    constexpr size_t imageBytes = 32 + 640 * 480 * 4;
    std::vector<void*> blocks;
    Clock::time_point start = Clock::now();
    for (int i = 0; i < count; ++i) {
        // Straight from the kernel, as the allocator gets blocks this big
        // for a program that never frees them.
        void* block =
            mmap(nullptr, imageBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block == MAP_FAILED) break;
        std::memset(block, 0xFF, imageBytes);
        benchmark::DoNotOptimize(block);
        blocks.push_back(block);
    }
    double ms = millisecondsBetween(start, Clock::now());
    for (void* block : blocks)
        munmap(block, imageBytes);
    return ms;
}

void StartUpAllRooms(benchmark::State& state) {
    auto full = writeCastle(mapColumns * mapRows, true);
    auto small = writeCastle(1, true);
    if (!full || !small) return state.SkipWithError("cannot write the castles");
    double catMs = 0, fullMs = 0, smallMs = 0, headlessMs = 0;
    long fullKb = 0, smallKb = 0, headlessKb = 0;
    // Every run reads the files from the page cache.
    if (!timeCat(full->pictures, &catMs)) return state.SkipWithError("cat failed");
    std::vector<double> catTimes, fullTimes, smallTimes, headlessTimes, memoryTimes;
    long fullPeakKb = 0, smallPeakKb = 0, headlessPeakKb = 0;
    const int views = 4 * mapColumns * mapRows;
    for (auto _ : state) {
        if (!timeCat(full->pictures, &catMs)) return state.SkipWithError("cat failed");
        std::string failure = timeStartUp(*full, &fullMs, &fullKb);
        if (failure.empty()) failure = timeStartUp(*small, &smallMs, &smallKb);
        if (failure.empty()) failure = timeStartUpWithoutWindow(*full, &headlessMs, &headlessKb);
        if (!failure.empty()) return state.SkipWithError(failure.c_str());
        catTimes.push_back(catMs);
        fullTimes.push_back(fullMs);
        smallTimes.push_back(smallMs);
        headlessTimes.push_back(headlessMs);
        memoryTimes.push_back(freshImageMemoryMilliseconds(views));
        fullPeakKb = std::max(fullPeakKb, fullKb);
        smallPeakKb = std::max(smallPeakKb, smallKb);
        headlessPeakKb = std::max(headlessPeakKb, headlessKb);
        state.SetIterationTime(fullMs / 1000);
    }
    double fullMedian = median(fullTimes), smallMedian = median(smallTimes);
    double catMedian = median(catTimes), headlessMedian = median(headlessTimes);
    double memoryMedian = median(memoryTimes);
    double filesMb = static_cast<double>(full->pictureBytes) / (1024 * 1024);
    double fullMb = static_cast<double>(fullPeakKb) / 1024;
    double smallMb = static_cast<double>(smallPeakKb) / 1024;
    double headlessMb = static_cast<double>(headlessPeakKb) / 1024;
    state.counters["start_ms"] = fullMedian;
    state.counters["cat_ms"] = catMedian;
    state.counters["ratio"] = fullMedian / catMedian;
    state.counters["headless_ms"] = headlessMedian;
    state.counters["headless_ratio"] = headlessMedian / catMedian;
    state.counters["peak_MiB"] = fullMb;
    state.counters["files_MiB"] = filesMb;
    state.counters["memory_ratio"] = fullMb / filesMb;
    state.counters["headless_memory_ratio"] = headlessMb / filesMb;
    note(
        "start-up, 48 rooms (%zu pictures, %.1f MiB): exec to title shown %.0f ms (median of "
        "%zu)",
        full->pictures.size(), filesMb, fullMedian, fullTimes.size());
    note("  cat of the same files to /dev/null: %.0f ms; ratio %.2f (target < 2)", catMedian,
         fullMedian / catMedian);
    note(
        "  without a window (DRUSK_SCREEN=null), exec to the title wait: %.0f ms; ratio to cat "
        "%.2f",
        headlessMedian, headlessMedian / catMedian);
    note("  one room with a window: %.0f ms, so the 47 more rooms add %.0f ms (%.2f times cat)",
         smallMedian, fullMedian - smallMedian, (fullMedian - smallMedian) / catMedian);
    note("  fresh memory for %d decoded pictures, written once, in this process: %.0f ms", views,
         memoryMedian);
    note(
        "  peak memory (VmHWM) at the title: %.1f MiB, %.2f times the files (target < 2); one "
        "room %.1f MiB",
        fullMb, fullMb / filesMb, smallMb);
    note("  without a window: %.1f MiB, %.2f times the files", headlessMb, headlessMb / filesMb);
}
BENCHMARK(StartUpAllRooms)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace drusk

int main(int argc, char** argv) {
    using namespace drusk;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // Always a private server of exactly the picture's size.
    unsetenv("DISPLAY");
    setenv("DRUSK_SCREEN", "sdl", 1);
    auto x = std::make_unique<testing::X11Session>(640, 480);
    if (!x->ok()) {
        std::fprintf(stderr, "no X display: %s\n", x->error().c_str());
        return 1;
    }
    session() = x.get();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    session() = nullptr;
    x.reset();
    std::printf("\n");
    for (const std::string& line : summary())
        std::printf("%s\n", line.c_str());
    return 0;
}
