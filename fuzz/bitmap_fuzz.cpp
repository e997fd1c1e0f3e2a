// Feeds arbitrary bytes to loadBitmap as a file, into a small image and onto
// the screen, and checks that nothing outside the picture area changes.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "screen/bitmap.h"
#include "screen/image.h"
#include "screen/screen.h"

namespace {

std::string memoryFile(const uint8_t* data, size_t size) {
    static int fd = memfd_create("picture.bmp", 0);
    if (ftruncate(fd, 0) != 0) __builtin_trap();
    size_t written = 0;
    while (written < size) {
        ssize_t n = pwrite(fd, data + written, size - written, static_cast<off_t>(written));
        if (n <= 0) __builtin_trap();
        written += static_cast<size_t>(n);
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("DRUSK_SCREEN", "null", 1);
    if (drusk::openScreen(640, 480, 32, 2, 0x41, 0) != 0) __builtin_trap();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = memoryFile(data, size);
    // An odd width leaves padding at each row's end, which must stay magenta.
    static drusk::Image* image = drusk::createImage(37, 29);
    uint32_t* pixels = drusk::imageRow(image, 0);
    size_t words = image->header.pitch / 4 * image->header.height;
    for (size_t i = 0; i < words; ++i)
        pixels[i] = drusk::maskColour;

    drusk::LoadResult result = drusk::loadBitmap(path, image);
    if (result != drusk::Ok && result != drusk::BadFile) __builtin_trap();
    for (uint32_t y = 0; y < image->header.height; ++y) {
        const uint32_t* row = drusk::imageRow(image, y);
        for (uint32_t x = image->header.width; x < image->header.pitch / 4; ++x)
            if (row[x] != drusk::maskColour) __builtin_trap();
    }

    drusk::LoadResult onScreen = drusk::loadBitmap(path, nullptr);
    if (onScreen != result) __builtin_trap();
    drusk::Screen* screen = drusk::currentScreen();
    if (screen->lockCount != 0) __builtin_trap();
    return 0;
}
