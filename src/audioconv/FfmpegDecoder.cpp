#include "audioconv/FfmpegDecoder.h"
#include "audioconv/CdWavFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/avutil.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace kv {
namespace {

constexpr int kMinRate = 4000;
constexpr int kMaxRate = 48000;

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

class TFfmpegStream : public TDecodeStream {
public:
    ~TFfmpegStream() override {
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        swr_free(&swr_);
        avcodec_free_context(&codec_);
        avformat_close_input(&format_);
        av_channel_layout_uninit(&swrInLayout_);
    }

    bool Open(const std::string& path, std::string* error) {
        int rc = avformat_open_input(&format_, path.c_str(), nullptr, nullptr);
        if (rc < 0) return Fail(error, "cannot open: " + AvError(rc));
        rc = avformat_find_stream_info(format_, nullptr);
        if (rc < 0) return Fail(error, "cannot read the stream information: " + AvError(rc));
        const AVCodec* codec = nullptr;
        streamIndex_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (streamIndex_ < 0 || !codec) return Fail(error, "no decodable audio stream");
        AVStream* st = format_->streams[streamIndex_];
        codec_ = avcodec_alloc_context3(codec);
        if (!codec_) return Fail(error, "out of memory");
        rc = avcodec_parameters_to_context(codec_, st->codecpar);
        if (rc < 0) return Fail(error, "cannot set up the decoder: " + AvError(rc));
        codec_->pkt_timebase = st->time_base;
        rc = avcodec_open2(codec_, codec, nullptr);
        if (rc < 0) return Fail(error, "cannot open the decoder: " + AvError(rc));
        if (codec_->sample_rate <= 0 || codec_->ch_layout.nb_channels <= 0)
            return Fail(error, "the audio stream has no sample rate or channels");

        const AVSampleFormat in = codec_->sample_fmt;
        eightBit_ = in == AV_SAMPLE_FMT_U8 || in == AV_SAMPLE_FMT_U8P;
        channels_ = codec_->ch_layout.nb_channels == 1 ? 1 : 2;
        const int rate = codec_->sample_rate;
        rate_ = rate >= kMinRate && rate <= kMaxRate ? rate : kCdSampleRate;
        frameBytes_ = channels_ * (eightBit_ ? 1 : 2);

        double seconds = -1;
        if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
            seconds = static_cast<double>(st->duration) * av_q2d(st->time_base);
        else if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0)
            seconds = static_cast<double>(format_->duration) / AV_TIME_BASE;
        length_ = seconds > 0 ? std::llround(seconds * rate_) * frameBytes_ : -1;

        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (!frame_ || !packet_) return Fail(error, "out of memory");
        return true;
    }

    int Channels() const override { return channels_; }
    int SampleRate() const override { return rate_; }
    bool Is8Bit() const override { return eightBit_; }
    int64_t LengthBytes() const override { return length_; }
    int64_t PositionBytes() const override { return position_; }
    bool IsActive() const override { return error_.empty() && (!ended_ || Pending() > 0); }
    std::string Error() const override { return error_; }

    int GetData(uint8_t* buffer, int size) override {
        size -= size % frameBytes_;
        if (size <= 0) return 0;
        while (Pending() < static_cast<size_t>(size) && !ended_) DecodeMore();
        const int n = static_cast<int>(std::min(Pending(), static_cast<size_t>(size)));
        if (n == 0) return 0;
        std::memcpy(buffer, pending_.data() + pendingPos_, static_cast<size_t>(n));
        pendingPos_ += static_cast<size_t>(n);
        position_ += n;
        if (pendingPos_ == pending_.size()) {
            pending_.clear();
            pendingPos_ = 0;
        }
        return n;
    }

private:
    static bool Fail(std::string* error, const std::string& text) {
        if (error) *error = text;
        return false;
    }
    size_t Pending() const { return pending_.size() - pendingPos_; }

    void Stop(const std::string& why) {
        if (error_.empty()) error_ = why;
        ended_ = true;
    }

    // Reads and decodes until at least one frame was converted or the stream ended.
    void DecodeMore() {
        for (;;) {
            int rc = avcodec_receive_frame(codec_, frame_);
            if (rc == 0) {
                Resample(frame_);
                av_frame_unref(frame_);
                return;
            }
            if (rc == AVERROR_EOF) {
                Resample(nullptr);  // what the resampler still holds
                ended_ = true;
                return;
            }
            if (rc != AVERROR(EAGAIN)) return Stop("decoding failed: " + AvError(rc));
            if (draining_) return Stop("the decoder did not finish");
            rc = av_read_frame(format_, packet_);
            if (rc == AVERROR_EOF) {
                draining_ = true;
                avcodec_send_packet(codec_, nullptr);
                continue;
            }
            if (rc < 0) return Stop("reading failed: " + AvError(rc));
            if (packet_->stream_index == streamIndex_) {
                // A damaged packet is skipped, as players do; the rest of the stream still decodes.
                avcodec_send_packet(codec_, packet_);
            }
            av_packet_unref(packet_);
        }
    }

    bool EnsureResampler(const AVFrame* f) {
        const bool same = swr_ && f->format == swrInFormat_ && f->sample_rate == swrInRate_ &&
                          av_channel_layout_compare(&f->ch_layout, &swrInLayout_) == 0;
        if (same) return true;
        swr_free(&swr_);
        av_channel_layout_uninit(&swrInLayout_);
        AVChannelLayout inLayout{};
        if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || f->ch_layout.nb_channels <= 0) {
            av_channel_layout_default(&inLayout, f->ch_layout.nb_channels > 0
                                                     ? f->ch_layout.nb_channels
                                                     : codec_->ch_layout.nb_channels);
        } else {
            av_channel_layout_copy(&inLayout, &f->ch_layout);
        }
        AVChannelLayout outLayout{};
        av_channel_layout_default(&outLayout, channels_);
        const AVSampleFormat outFormat = eightBit_ ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
        int rc = swr_alloc_set_opts2(&swr_, &outLayout, outFormat, rate_, &inLayout,
                                     static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&outLayout);
        if (rc >= 0) rc = swr_init(swr_);
        if (rc < 0) {
            av_channel_layout_uninit(&inLayout);
            Stop("cannot convert the samples: " + AvError(rc));
            return false;
        }
        swrInLayout_ = inLayout;
        swrInFormat_ = f->format;
        swrInRate_ = f->sample_rate;
        return true;
    }

    void Resample(const AVFrame* f) {
        if (f && !EnsureResampler(f)) return;
        if (!swr_) return;
        const int inSamples = f ? f->nb_samples : 0;
        const int capacity = swr_get_out_samples(swr_, inSamples);
        if (capacity <= 0) return;
        if (pendingPos_ > 0) {
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(pendingPos_));
            pendingPos_ = 0;
        }
        const size_t old = pending_.size();
        pending_.resize(old + static_cast<size_t>(capacity) * static_cast<size_t>(frameBytes_));
        uint8_t* out = pending_.data() + old;
        const int got = swr_convert(swr_, &out, capacity,
                                    f ? const_cast<const uint8_t**>(f->extended_data) : nullptr, inSamples);
        if (got < 0) {
            pending_.resize(old);
            return Stop("cannot convert the samples: " + AvError(got));
        }
        pending_.resize(old + static_cast<size_t>(got) * static_cast<size_t>(frameBytes_));
    }

    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int streamIndex_ = -1;
    AVChannelLayout swrInLayout_{};
    int swrInFormat_ = -1;
    int swrInRate_ = 0;

    int channels_ = 2;
    int rate_ = kCdSampleRate;
    bool eightBit_ = false;
    int frameBytes_ = 4;
    int64_t length_ = -1;
    int64_t position_ = 0;
    bool draining_ = false;
    bool ended_ = false;
    std::string error_;
    std::vector<uint8_t> pending_;
    size_t pendingPos_ = 0;
};

}  // namespace

TFfmpegDecoder::TFfmpegDecoder() {
    // Problems are reported per file through the stream's own texts, not on the terminal.
    av_log_set_level(AV_LOG_QUIET);
}

std::unique_ptr<TDecodeStream> TFfmpegDecoder::OpenFile(const std::string& path, std::string* error) {
    auto stream = std::make_unique<TFfmpegStream>();
    if (!stream->Open(path, error)) return nullptr;
    return stream;
}

bool TFfmpegDecoder::HasWmaSupport() const {
    return avcodec_find_decoder(AV_CODEC_ID_WMAV2) != nullptr ||
           avcodec_find_decoder(AV_CODEC_ID_WMAV1) != nullptr;
}

std::string FfmpegVersion() { return av_version_info(); }

std::string FfmpegLicence() { return avcodec_license(); }

}  // namespace kv
