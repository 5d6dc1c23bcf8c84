#pragma once
#include "audioconv/DecodeStream.h"

namespace kv {

// Decoding through FFmpeg. Sources are brought to what the converters take: more than two channels
// are mixed down to stereo, float and 24/32-bit samples become 16-bit (clipped), and a rate outside
// 4000..48000 Hz is resampled to 44100 Hz so that the playing speed is kept. Other rates, 8-bit
// samples and mono stay as they are for the converter chain.
class TFfmpegDecoder : public TAudioDecoder {
public:
    TFfmpegDecoder();
    std::unique_ptr<TDecodeStream> OpenFile(const std::string& path, std::string* error) override;
    bool HasWmaSupport() const override;
};

// The FFmpeg build the program runs with: its version and the licence it was configured under
// (LGPL or GPL, as its build chose), for the About window.
std::string FfmpegVersion();
std::string FfmpegLicence();

}  // namespace kv
