// Writes the sample castle into a directory: game.txt, the pictures under
// img/ and the sounds and music under sfx/. The same bytes on every run.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "screen/font.h"
#include "tools/bmp_writer.h"
#include "tools/castle/castle_audio.h"
#include "tools/castle/castle_plan.h"
#include "tools/castle/quantize.h"
#include "tools/castle/title_art.h"
#include "tools/castle/view_renderer.h"
#include "tools/module_writer.h"
#include "tools/ogg_writer.h"
#include "tools/write_file.h"

namespace drusk::castle {

namespace {

enum class Storage { TrueColour, Palette, RunLength };

// Several file variants on purpose: the castle doubles as a check that the
// player reads each of them.
Storage storageFor(Area area) {
    switch (area) {
        case Area::Entrance:
        case Area::Gate:
            return Storage::TrueColour;
        case Area::Crypt:
        case Area::Passage:
            return Storage::RunLength;
        default:
            return Storage::Palette;
    }
}

bool writePicture(const std::string& path, const Picture& picture, Storage storage) {
    BmpFormat format;
    BmpPicture bmp;
    if (storage == Storage::TrueColour) {
        format.bitCount = 24;
        if (!pictureFromColours(picture.width, picture.height, picture.pixels, format, bmp))
            return false;
    } else {
        format.bitCount = 8;
        format.compression = storage == Storage::RunLength ? BmpRunLength8 : BmpUncompressed;
        bmp.width = picture.width;
        bmp.height = picture.height;
        // Exact colours when they fit, so the overlay's see-through magenta
        // stays exactly magenta.
        if (!indexColours(picture.pixels, 256, bmp.values, bmp.palette)) {
            quantize(picture, bmp.values, bmp.palette);
        }
    }
    return writeBmpFile(path, bmp, format);
}

struct View {
    int column, row, facing;
};

bool writeViews(const std::string& dir, const CastlePlan& plan) {
    std::vector<View> views;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            if (!isRoom(plan, c, r)) continue;
            for (int f = 0; f < 4; ++f)
                views.push_back({c, r, f});
        }
    }
    // The pictures are independent; share them out over the processor's cores.
    unsigned workers = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    std::vector<int> failed(workers, 0);
    std::vector<std::thread> threads;
    for (unsigned w = 0; w < workers; ++w) {
        threads.emplace_back([&, w] {
            for (size_t i = w; i < views.size(); i += workers) {
                const View& v = views[i];
                std::string path = dir + "/img/" + std::to_string(v.row) + "_" +
                                   std::to_string(v.column) + "_" + "nwse"[v.facing] + ".bmp";
                Picture picture = renderView(plan, v.column, v.row, v.facing);
                if (!writePicture(path, picture, storageFor(plan.cells[v.row][v.column])))
                    failed[w] = 1;
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    for (int f : failed) {
        if (f) return false;
    }
    return true;
}

bool writeSounds(const std::string& dir) {
    for (const SoundEffect& sound : castleSounds()) {
        PcmSound pcm{sound.samples.data(), static_cast<int64_t>(sound.samples.size()), 1,
                     sound.rate};
        if (writeOggVorbis(dir + "/sfx/" + sound.name + ".ogg", pcm) != 0) return false;
    }
    return writeModule(dir + "/sfx/castletheme.mo3", castleTheme()) == 0;
}

int makeCastle(const std::string& dir) {
    ::mkdir(dir.c_str(), 0755);
    ::mkdir((dir + "/img").c_str(), 0755);
    ::mkdir((dir + "/sfx").c_str(), 0755);
    const CastlePlan& plan = vezozaDrusk();
    if (writeWholeFile(dir + "/game.txt", gameText(plan)) != 0) return 1;
    if (!writePicture(dir + "/img/titlecard.bmp", renderTitle(screenFont), Storage::TrueColour))
        return 1;
    if (!writePicture(dir + "/img/gameover.bmp", renderGameOver(screenFont), Storage::RunLength))
        return 1;
    if (!writeViews(dir, plan)) return 1;
    if (!writeSounds(dir)) return 1;
    return 0;
}

}  // namespace

}  // namespace drusk::castle

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_castle DIRECTORY\n");
        return 2;
    }
    int status = drusk::castle::makeCastle(argv[1]);
    if (status != 0)
        std::fprintf(stderr, "make_castle: could not write the castle into %s\n", argv[1]);
    return status;
}
