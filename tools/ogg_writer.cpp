#include "tools/ogg_writer.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>

#include "tools/write_file.h"

namespace drusk {

namespace {

// A fixed stream serial number keeps the output byte-identical from run to
// run, so generated data can be compared and committed seeds stay stable.
constexpr int streamSerial = 0x6472736b;

// How many frames go to the encoder at a time.
constexpr int64_t blockFrames = 1024;

void appendPage(const ogg_page& page, std::string& bytes) {
    bytes.append(reinterpret_cast<const char*>(page.header), static_cast<size_t>(page.header_len));
    bytes.append(reinterpret_cast<const char*>(page.body), static_cast<size_t>(page.body_len));
}

// All the libvorbis state of one encoding; cleared in reverse order of setup.
struct Encoder {
    vorbis_info info;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    ogg_stream_state stream;
    bool analysing = false;

    Encoder() {
        vorbis_info_init(&info);
        vorbis_comment_init(&comment);
    }
    ~Encoder() {
        if (analysing) {
            ogg_stream_clear(&stream);
            vorbis_block_clear(&block);
            vorbis_dsp_clear(&dsp);
        }
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
    }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;
};

// Moves every packet the analysis has ready into pages.
void drainPackets(Encoder& e, std::string& bytes) {
    ogg_packet packet;
    ogg_page page;
    while (vorbis_analysis_blockout(&e.dsp, &e.block) == 1) {
        vorbis_analysis(&e.block, nullptr);
        vorbis_bitrate_addblock(&e.block);
        while (vorbis_bitrate_flushpacket(&e.dsp, &packet)) {
            ogg_stream_packetin(&e.stream, &packet);
            while (ogg_stream_pageout(&e.stream, &page))
                appendPage(page, bytes);
        }
    }
}

}  // namespace

int encodeOggVorbis(const PcmSound& sound, float quality, std::string& bytes) {
    bytes.clear();
    if (sound.channels < 1 || sound.channels > 255 || sound.rate < 1 || sound.frames < 0 ||
        (sound.frames > 0 && !sound.samples) || !(quality >= -0.1f && quality <= 1.0f))
        return 3;

    Encoder e;
    if (vorbis_encode_init_vbr(&e.info, sound.channels, sound.rate, quality) != 0) return 3;
    vorbis_comment_add_tag(&e.comment, "ENCODER", "drusk");
    if (vorbis_analysis_init(&e.dsp, &e.info) != 0) return 3;
    vorbis_block_init(&e.dsp, &e.block);
    ogg_stream_init(&e.stream, streamSerial);
    e.analysing = true;

    ogg_packet identification, comments, codebooks;
    vorbis_analysis_headerout(&e.dsp, &e.comment, &identification, &comments, &codebooks);
    ogg_stream_packetin(&e.stream, &identification);
    ogg_stream_packetin(&e.stream, &comments);
    ogg_stream_packetin(&e.stream, &codebooks);
    // The headers end on a page of their own, as decoders expect.
    ogg_page page;
    while (ogg_stream_flush(&e.stream, &page))
        appendPage(page, bytes);

    for (int64_t done = 0; done < sound.frames; done += blockFrames) {
        int64_t count = std::min(blockFrames, sound.frames - done);
        float** buffers = vorbis_analysis_buffer(&e.dsp, static_cast<int>(count));
        const float* in = sound.samples + done * sound.channels;
        for (int64_t frame = 0; frame < count; ++frame)
            for (int32_t channel = 0; channel < sound.channels; ++channel)
                buffers[channel][frame] = *in++;
        vorbis_analysis_wrote(&e.dsp, static_cast<int>(count));
        drainPackets(e, bytes);
    }
    vorbis_analysis_wrote(&e.dsp, 0);  // end of stream
    drainPackets(e, bytes);
    while (ogg_stream_flush(&e.stream, &page))
        appendPage(page, bytes);
    return 0;
}

int writeOggVorbis(const std::string& path, const PcmSound& sound, float quality) {
    std::string bytes;
    int status = encodeOggVorbis(sound, quality, bytes);
    if (status != 0) return status;
    return writeWholeFile(path, bytes);
}

}  // namespace drusk
