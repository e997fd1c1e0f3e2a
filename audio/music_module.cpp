#include "audio/music_module.h"

#include <libopenmpt/libopenmpt.h>

#include <new>

namespace drusk {

struct MusicModule {
    openmpt_module* module;
};

MusicModule* openMusicModule(const uint8_t* data, size_t size) {
    if (!data || size == 0) return nullptr;
    // The decoder's own log and error reports would go to the console; the
    // player is never shown them.
    openmpt_module* module = openmpt_module_create_from_memory2(data, size, openmpt_log_func_silent,
                                                                nullptr, openmpt_error_func_ignore,
                                                                nullptr, nullptr, nullptr, nullptr);
    if (!module) return nullptr;
    openmpt_module_set_repeat_count(module, -1);
    auto* music = new (std::nothrow) MusicModule{module};
    if (!music) openmpt_module_destroy(module);
    return music;
}

void closeMusicModule(MusicModule* module) {
    if (!module) return;
    openmpt_module_destroy(module->module);
    delete module;
}

int64_t renderMusic(MusicModule* module, int32_t rate, float* out, int64_t frames) {
    if (frames <= 0) return 0;
    return static_cast<int64_t>(openmpt_module_read_interleaved_float_stereo(
        module->module, rate, static_cast<size_t>(frames), out));
}

double musicDurationSeconds(MusicModule* module) {
    return openmpt_module_get_duration_seconds(module->module);
}

}  // namespace drusk
