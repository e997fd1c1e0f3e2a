// Putting a full-screen image and drawing one frame's translucent boxes and
// text, against copying the same bytes with memcpy.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/ratio_reporter.h"
#include "screen/draw.h"
#include "screen/image.h"
#include "screen/screen.h"

namespace {

drusk::Image* viewImage() {
    static drusk::Image* image = [] {
        setenv("DRUSK_SCREEN", "null", 1);
        if (drusk::openScreen(640, 480, 32, 2, 0x41, 0) != 0) std::abort();
        drusk::Image* made = drusk::createImage(640, 480);
        for (uint32_t y = 0; y < 480; ++y)
            for (uint32_t x = 0; x < 640; ++x)
                drusk::imageRow(made, y)[x] = 0xFF000000u | (x * 7919u + y * 104729u) % 0xFFFFFFu;
        return made;
    }();
    return image;
}

// The reference: one full frame of bytes from an image-sized buffer to the
// screen page.
void MemcpyFrame(benchmark::State& state) {
    viewImage();
    std::vector<uint32_t> source(640 * 480, 0xFF123456u);
    drusk::Screen* screen = drusk::currentScreen();
    for (auto _ : state) {
        std::memcpy(screen->pages[0], source.data(), 640 * 480 * 4);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 640 * 480 * 4);
}
BENCHMARK(MemcpyFrame);

void PutImageCopy(benchmark::State& state) {
    drusk::Image* image = viewImage();
    for (auto _ : state) {
        drusk::putImage(0, 0, image, drusk::Copy);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 640 * 480 * 4);
}
BENCHMARK(PutImageCopy);

void PutImageTransparent(benchmark::State& state) {
    drusk::Image* image = viewImage();
    for (auto _ : state) {
        drusk::putImage(0, 0, image, drusk::Transparent);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(PutImageTransparent);

// What a frame lays over the view: the 6 by 8 minimap squares, the text
// panel and one line of text.
void FrameOverlays(benchmark::State& state) {
    viewImage();
    for (auto _ : state) {
        drusk::lockScreen();
        for (int row = 0; row < 8; ++row) {
            for (int column = 0; column < 6; ++column) {
                float x = 5.0f + 10.0f * column;
                float y = 5.0f + 10.0f * row;
                drusk::fillBox(x, y, x + 8, y + 8, (row + column) % 3 ? 0x80FFFFFF : 0x80000000);
            }
        }
        drusk::fillBox(0, 400, 639, 479, 0xC8000000);
        drusk::drawText(5, 405, "Welcome to the castle. Use the arrow keys to walk.", 0xFFFFFFFF);
        drusk::unlockScreen(-1, -1);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(FrameOverlays);

}  // namespace

int main(int argc, char** argv) {
    return drusk::bench::runWithRatios(argc, argv,
                                       {
                                           {"PutImageCopy", "MemcpyFrame", "< 1.5"},
                                           {"PutImageTransparent", "MemcpyFrame", ""},
                                           {"FrameOverlays", "MemcpyFrame", ""},
                                       });
}
