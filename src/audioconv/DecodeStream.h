#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace kv {

// One source being decoded to interleaved little-endian PCM. Destroying it frees the stream.
// The format it delivers is what the converter chain can take: 1 or 2 channels, 8-bit unsigned or
// 16-bit signed samples, 4000 to 48000 Hz.
class TDecodeStream {
public:
    virtual ~TDecodeStream() = default;
    virtual int Channels() const = 0;
    virtual int SampleRate() const = 0;
    virtual bool Is8Bit() const = 0;
    // Decoded length in bytes as announced by the source; -1 when unknown.
    virtual int64_t LengthBytes() const = 0;
    // Bytes handed out so far.
    virtual int64_t PositionBytes() const = 0;
    // Decodes up to size bytes (whole sample frames); 0 when nothing is ready or at the end.
    virtual int GetData(uint8_t* buffer, int size) = 0;
    // True while data remains.
    virtual bool IsActive() const = 0;
    // Why decoding stopped early; empty while all is well.
    virtual std::string Error() const = 0;
};

// Opens files for decoding.
class TAudioDecoder {
public:
    virtual ~TAudioDecoder() = default;
    // Null on failure, with the reason in *error.
    virtual std::unique_ptr<TDecodeStream> OpenFile(const std::string& path, std::string* error) = 0;
    // Whether Windows Media Audio sources can be decoded.
    virtual bool HasWmaSupport() const = 0;
};

}  // namespace kv
