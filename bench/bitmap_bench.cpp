// Loading a 640 by 480 picture: loadBitmap into an image against other BMP
// readers on the same file, and against just reading the file's bytes.
#include <SDL.h>
#include <fcntl.h>
#include <stb_image.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "screen/bitmap.h"
#include "screen/image.h"
#include "tools/bmp_writer.h"

namespace {

struct Pictures {
    std::string directory;
    std::string truecolour;  // 24 bits, bottom-up
    std::string paletted;    // 8 bits
    std::string runLength;   // 8 bits, run-length encoded
};

// A view-like picture: bands of flat colour with a speck in about one
// pixel of sixteen, so that run-length data has runs and literals both.
std::vector<uint32_t> viewColours(uint32_t levels) {
    std::vector<uint32_t> colours;
    colours.reserve(640 * 480);
    uint32_t noise = 12345;
    for (uint32_t y = 0; y < 480; ++y) {
        for (uint32_t x = 0; x < 640; ++x) {
            noise = noise * 1103515245u + 12345u;
            uint32_t speck = ((noise >> 16) & 15) == 0 ? 1 : 0;
            uint32_t shade = (x / 8 + y / 6 + speck) % levels;
            uint32_t v = shade * 255 / (levels - 1);
            colours.push_back(0xFF000000u | v << 16 | (255 - v) << 8 | (v / 2 + 40));
        }
    }
    return colours;
}

const Pictures& pictures() {
    static const Pictures p = [] {
        Pictures made;
        std::string pattern =
            (std::filesystem::temp_directory_path() / "drusk-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        made.directory = pattern;
        made.truecolour = made.directory + "/truecolour.bmp";
        made.paletted = made.directory + "/paletted.bmp";
        made.runLength = made.directory + "/runlength.bmp";

        drusk::BmpFormat f24;
        drusk::BmpPicture picture;
        std::vector<uint32_t> rich = viewColours(200);
        for (size_t i = 0; i < rich.size(); ++i)
            rich[i] ^= static_cast<uint32_t>(i * 2654435761u) & 0x000F0F0F;
        if (!drusk::pictureFromColours(640, 480, rich, f24, picture) ||
            !drusk::writeBmpFile(made.truecolour, picture, f24)) {
            std::abort();
        }
        drusk::BmpFormat f8;
        f8.bitCount = 8;
        if (!drusk::pictureFromColours(640, 480, viewColours(64), f8, picture) ||
            !drusk::writeBmpFile(made.paletted, picture, f8)) {
            std::abort();
        }
        f8.compression = drusk::BmpRunLength8;
        if (!drusk::writeBmpFile(made.runLength, picture, f8)) std::abort();
        return made;
    }();
    return p;
}

drusk::Image* benchImage() {
    static drusk::Image* image = [] {
        setenv("DRUSK_SCREEN", "null", 1);
        if (drusk::openScreen(640, 480, 32, 2, 0x41, 0) != 0) std::abort();
        return drusk::createImage(640, 480);
    }();
    return image;
}

// The reference: open, size and read the whole file into a buffer kept
// between iterations, and close it.
void ReadFile(benchmark::State& state) {
    const std::string& path = pictures().truecolour;
    std::vector<uint8_t> buffer(std::filesystem::file_size(path));
    for (auto _ : state) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info;
        ::fstat(fd, &info);
        size_t done = 0;
        while (done < static_cast<size_t>(info.st_size)) {
            ssize_t n = ::read(fd, buffer.data() + done, static_cast<size_t>(info.st_size) - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ::close(fd);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(buffer.size()));
}
BENCHMARK(ReadFile);

void LoadBitmap24(benchmark::State& state) {
    drusk::Image* image = benchImage();
    for (auto _ : state) {
        if (drusk::loadBitmap(pictures().truecolour, image) != drusk::Ok)
            state.SkipWithError("load");
        benchmark::ClobberMemory();
    }
}
BENCHMARK(LoadBitmap24);

void SdlLoadBmp24(benchmark::State& state) {
    for (auto _ : state) {
        SDL_Surface* surface = SDL_LoadBMP(pictures().truecolour.c_str());
        if (!surface) state.SkipWithError("SDL_LoadBMP");
        benchmark::DoNotOptimize(surface);
        SDL_FreeSurface(surface);
    }
}
BENCHMARK(SdlLoadBmp24);

void StbLoad24(benchmark::State& state) {
    for (auto _ : state) {
        int width, height, channels;
        // Four channels: the same 32-bit result loadBitmap produces.
        unsigned char* pixels =
            stbi_load(pictures().truecolour.c_str(), &width, &height, &channels, 4);
        if (!pixels) state.SkipWithError("stbi_load");
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
}
BENCHMARK(StbLoad24);

void LoadBitmap8(benchmark::State& state) {
    drusk::Image* image = benchImage();
    for (auto _ : state) {
        if (drusk::loadBitmap(pictures().paletted, image) != drusk::Ok) state.SkipWithError("load");
        benchmark::ClobberMemory();
    }
}
BENCHMARK(LoadBitmap8);

void LoadBitmapRunLength8(benchmark::State& state) {
    drusk::Image* image = benchImage();
    for (auto _ : state) {
        if (drusk::loadBitmap(pictures().runLength, image) != drusk::Ok) {
            state.SkipWithError("load");
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(LoadBitmapRunLength8);

}  // namespace

int main(int argc, char** argv) {
    int status = drusk::bench::runWithRatios(argc, argv,
                                             {
                                                 {"LoadBitmap24", "ReadFile", "< 3"},
                                                 {"SdlLoadBmp24", "ReadFile", "(about 6)"},
                                                 {"StbLoad24", "ReadFile", "(about 30)"},
                                                 {"LoadBitmap24", "SdlLoadBmp24", "< 1"},
                                                 {"LoadBitmap24", "StbLoad24", ""},
                                                 {"LoadBitmap8", "ReadFile", ""},
                                                 {"LoadBitmapRunLength8", "ReadFile", ""},
                                             });
    if (!std::getenv("DRUSK_BENCH_KEEP")) std::filesystem::remove_all(pictures().directory);
    return status;
}
