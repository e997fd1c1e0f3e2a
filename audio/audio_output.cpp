#include "audio/audio_output.h"

#include <SDL2/SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "audio/mixer.h"

namespace drusk {

namespace {

constexpr int requestedRate = 44100;
constexpr Uint16 requestedFrames = 1024;  // about 23 ms at 44100 Hz

// How often the housekeeper frees ended sounds and checks the device; also
// the pace of reopen attempts while the device is gone.
constexpr auto housekeepingInterval = std::chrono::milliseconds(250);
// Failed reopens before the audio driver itself is restarted: a sound server
// that went away and came back needs a new connection, not only a new device.
constexpr int32_t reopensBeforeDriverRestart = 8;

struct Output {
    Mixer* mixer = nullptr;
    bool open = false;
    std::atomic<SDL_AudioDeviceID> device{0};
    // Written only while no device is rendering; read by the callback.
    OutputFormat format;
    Uint8 silence = 0;
    float mixBuffer[2 * mixChunkFrames];  // callback only

    std::thread housekeeper;
    std::mutex wakeLock;
    std::condition_variable wake;
    bool stopping = false;  // guarded by wakeLock
    std::atomic<bool> deviceLost{false};
    std::atomic<int32_t> deviceOpens{0};
    std::atomic<int32_t> driverRestarts{0};

    int savedLogPriority = SDL_LOG_PRIORITY_CRITICAL;
    void* alsa = nullptr;
};

// Never destroyed: the SDL audio thread may still be running while static
// objects are torn down at exit, before the exit hook has closed the device.
Output& output() {
    static Output* state = new Output;
    return *state;
}

bool sampleTypeOf(SDL_AudioFormat format, SampleType& type) {
    int bits = SDL_AUDIO_BITSIZE(format);
    if (SDL_AUDIO_ISFLOAT(format)) {
        if (bits != 32) return false;
        type = SampleType::Float32;
        return true;
    }
    bool isSigned = SDL_AUDIO_ISSIGNED(format);
    switch (bits) {
        case 32:
            if (!isSigned) return false;
            type = SampleType::Int32;
            return true;
        case 16:
            type = isSigned ? SampleType::Int16 : SampleType::Uint16;
            return true;
        case 8:
            type = isSigned ? SampleType::Int8 : SampleType::Uint8;
            return true;
        default:
            return false;
    }
}

void SDLCALL fillDevice(void* user, Uint8* stream, int length) {
    Output& out = *static_cast<Output*>(user);
    const int32_t frameBytes = bytesPerFrame(out.format);
    const int32_t frames = length / frameBytes;
    for (int32_t done = 0; done < frames;) {
        int32_t count = std::min(mixChunkFrames, frames - done);
        mixerRender(*out.mixer, out.mixBuffer, count);
        convertSamples(out.mixBuffer, count, out.format, stream + done * frameBytes);
        done += count;
    }
    int used = frames * frameBytes;
    if (used < length) std::memset(stream + used, out.silence, static_cast<size_t>(length - used));
}

bool openDevice(Output& out) {
    SDL_AudioSpec wanted{};
    wanted.freq = requestedRate;
    wanted.format = AUDIO_F32SYS;
    wanted.channels = 2;
    wanted.samples = requestedFrames;
    wanted.callback = fillDevice;
    wanted.userdata = &out;
    SDL_AudioSpec got{};
    // Rendering at the device's own rate, type and channel count spares a
    // second conversion inside SDL.
    SDL_AudioDeviceID device =
        SDL_OpenAudioDevice(nullptr, 0, &wanted, &got, SDL_AUDIO_ALLOW_ANY_CHANGE);
    SampleType type = SampleType::Float32;
    if (device != 0 && (!sampleTypeOf(got.format, type) || got.channels < 1 || got.freq <= 0)) {
        // A layout this layer cannot write: let SDL convert from plain float stereo.
        SDL_CloseAudioDevice(device);
        device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &got, SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
        type = SampleType::Float32;
    }
    if (device == 0) return false;

    out.format.rate = got.freq;
    out.format.channels = got.channels;
    out.format.type = type;
    out.format.bigEndian = SDL_AUDIO_ISBIGENDIAN(got.format) != 0;
    out.silence = got.silence;
    mixerSetOutputRate(*out.mixer, got.freq);
    out.device = device;
    ++out.deviceOpens;
    // Devices open paused; the callback runs from here on, and the device
    // lock this takes publishes the format above to it.
    SDL_PauseAudioDevice(device, 0);
    return true;
}

void closeDevice(Output& out) {
    SDL_AudioDeviceID device = out.device.exchange(0);
    if (device != 0) SDL_CloseAudioDevice(device);
}

// Called on whatever thread posts the event, the audio thread included: it
// only raises a flag and wakes the housekeeper.
int SDLCALL watchDeviceEvents(void* user, SDL_Event* event) {
    Output& out = *static_cast<Output*>(user);
    if (event->type == SDL_AUDIODEVICEREMOVED && !event->adevice.iscapture &&
        event->adevice.which == out.device.load()) {
        out.deviceLost = true;
        out.wake.notify_all();
    }
    return 1;
}

void restartAudioDriver(Output& out) {
    ++out.driverRestarts;
    SDL_AudioQuit();
    SDL_AudioInit(nullptr);  // the driver SDL would choose at start, or the one asked for
}

void housekeep(Output& out) {
    int32_t failedReopens = 0;
    std::unique_lock<std::mutex> hold(out.wakeLock);
    while (!out.stopping) {
        out.wake.wait_for(hold, housekeepingInterval,
                          [&] { return out.stopping || out.deviceLost.load(); });
        if (out.stopping) break;
        hold.unlock();

        mixerReclaim(*out.mixer);
        // Someone shut all of SDL down under us (SDL_Quit); reopening would
        // start it again.
        if (!SDL_WasInit(SDL_INIT_AUDIO)) {
            hold.lock();
            continue;
        }
        bool lost = out.deviceLost.exchange(false);
        SDL_AudioDeviceID device = out.device;
        if (device != 0 && (lost || SDL_GetAudioDeviceStatus(device) == SDL_AUDIO_STOPPED)) {
            closeDevice(out);
            failedReopens = 0;
        }
        if (out.device == 0) {
            if (openDevice(out))
                failedReopens = 0;
            else if (++failedReopens % reopensBeforeDriverRestart == 0)
                restartAudioDriver(out);
        }

        hold.lock();
    }
    // SDL keeps per-thread error text; only its own threads free it by
    // themselves.
    SDL_TLSCleanup();
}

// The ALSA library prints its complaints (no sound card, unknown device) to
// standard error unless told otherwise; SDL loads it without doing so.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
using AlsaErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
using SetAlsaErrorHandler = int (*)(AlsaErrorHandler);

void setAlsaErrorHandler(void* alsa, AlsaErrorHandler handler) {
    if (!alsa) return;
    auto set = reinterpret_cast<SetAlsaErrorHandler>(dlsym(alsa, "snd_lib_error_set_handler"));
    if (set) set(handler);
}

void silenceLibraries(Output& out) {
    out.alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    setAlsaErrorHandler(out.alsa, quietAlsa);
    out.savedLogPriority = SDL_LogGetPriority(SDL_LOG_CATEGORY_AUDIO);
    SDL_LogSetPriority(SDL_LOG_CATEGORY_AUDIO, SDL_NUM_LOG_PRIORITIES);
}

void restoreLibraries(Output& out) {
    SDL_LogSetPriority(SDL_LOG_CATEGORY_AUDIO, static_cast<SDL_LogPriority>(out.savedLogPriority));
    setAlsaErrorHandler(out.alsa, nullptr);
    if (out.alsa) dlclose(out.alsa);
    out.alsa = nullptr;
}

}  // namespace

bool openAudioOutput(Mixer& mixer) {
    Output& out = output();
    if (out.open) return true;
    out.mixer = &mixer;
    out.deviceOpens = 0;
    out.driverRestarts = 0;
    out.deviceLost = false;
    silenceLibraries(out);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        restoreLibraries(out);
        return false;
    }
    if (!openDevice(out)) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        restoreLibraries(out);
        return false;
    }
    SDL_AddEventWatch(watchDeviceEvents, &out);
    out.stopping = false;
    out.housekeeper = std::thread(housekeep, std::ref(out));
    out.open = true;
    return true;
}

void closeAudioOutput() {
    Output& out = output();
    if (!out.open) return;
    {
        std::lock_guard<std::mutex> hold(out.wakeLock);
        out.stopping = true;
    }
    out.wake.notify_all();
    out.housekeeper.join();
    SDL_DelEventWatch(watchDeviceEvents, &out);
    closeDevice(out);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    restoreLibraries(out);
    out.open = false;
}

AudioOutputState audioOutputState() {
    Output& out = output();
    AudioOutputState state;
    state.open = out.open;
    state.playing = out.device != 0;
    state.deviceOpens = out.deviceOpens;
    state.driverRestarts = out.driverRestarts;
    state.format = out.format;
    return state;
}

}  // namespace drusk
