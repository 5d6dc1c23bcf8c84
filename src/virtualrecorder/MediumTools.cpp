#include "virtualrecorder/MediumTools.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/ByteOrder.h"
#include "virtualrecorder/Medium.h"

namespace kv::vr {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kChunkBlocks = 256;

bool WriteAt(int fd, const uint8_t* data, size_t length, uint64_t offset) {
    while (length > 0) {
        ssize_t n = ::pwrite(fd, data, length, static_cast<off_t>(offset));
        if (n <= 0) return false;
        data += n;
        length -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

std::string MsfText(uint32_t frames) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", frames / 4500, (frames / 75) % 60, frames % 75);
    return text;
}

}  // namespace

bool ReadCdWavLayout(const std::string& path, uint64_t& dataOffset, uint64_t& dataLength,
                     std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::array<uint8_t, 12> riff{};
    if (!in.read(reinterpret_cast<char*>(riff.data()), riff.size()) ||
        std::memcmp(riff.data(), "RIFF", 4) != 0 || std::memcmp(riff.data() + 8, "WAVE", 4) != 0) {
        error = path + " is not a WAV file";
        return false;
    }
    bool formatOk = false;
    uint64_t offset = 12;
    for (int chunks = 0; chunks < 64; ++chunks) {
        std::array<uint8_t, 8> head{};
        if (!in.read(reinterpret_cast<char*>(head.data()), 8)) break;
        const uint32_t size = GetLE32(head.data() + 4);
        offset += 8;
        if (std::memcmp(head.data(), "fmt ", 4) == 0) {
            std::array<uint8_t, 16> fmt{};
            if (size < 16 || !in.read(reinterpret_cast<char*>(fmt.data()), 16)) break;
            formatOk = GetLE16(fmt.data()) == 1 && GetLE16(fmt.data() + 2) == 2 &&
                       GetLE32(fmt.data() + 4) == 44100 && GetLE16(fmt.data() + 14) == 16;
            in.seekg(static_cast<std::streamoff>(offset + size + (size & 1)));
        } else if (std::memcmp(head.data(), "data", 4) == 0) {
            if (!formatOk) break;
            in.seekg(0, std::ios::end);
            const uint64_t fileSize = static_cast<uint64_t>(in.tellg());
            dataOffset = offset;
            dataLength = std::min<uint64_t>(size, fileSize > offset ? fileSize - offset : 0);
            return true;
        } else {
            in.seekg(static_cast<std::streamoff>(offset + size + (size & 1)));
        }
        offset += size + (size & 1);
    }
    error = path + " is not a 44.1 kHz 16-bit stereo PCM WAV file";
    return false;
}

bool CreateBlankMedium(const std::string& path, EMediumKind kind, uint32_t capacity, std::string& error) {
    if (Traits(kind).Pressed) {
        error = "a pressed medium needs --from-image or --from-audio";
        return false;
    }
    return TMedium::Create(path, kind, capacity, error) != nullptr;
}

bool PressImage(const std::string& path, EMediumKind kind, const std::string& isoPath, std::string& error) {
    std::ifstream in(isoPath, std::ios::binary | std::ios::ate);
    if (!in) {
        error = "cannot open " + isoPath;
        return false;
    }
    const uint64_t bytes = static_cast<uint64_t>(in.tellg());
    const uint64_t blocks = (bytes + 2047) / 2048;
    if (blocks == 0 || blocks > Traits(kind).DefaultCapacity * 2ull) {
        error = isoPath + ": image size does not fit a " + Traits(kind).DisplayName;
        return false;
    }
    auto medium = TMedium::Create(path, kind, static_cast<uint32_t>(blocks), error);
    if (!medium) return false;
    in.seekg(0);
    std::vector<uint8_t> chunk(size_t{kChunkBlocks} * 2048);
    for (uint64_t lba = 0; lba < blocks; lba += kChunkBlocks) {
        const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(kChunkBlocks, blocks - lba));
        std::fill(chunk.begin(), chunk.end(), 0);
        in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(size_t{count} * 2048));
        if (!medium->File().Write(static_cast<int32_t>(lba), count, 2048, chunk.data())) {
            error = "cannot write " + path;
            return false;
        }
    }
    if (Traits(kind).Cd && blocks > 0) {
        // Pressed CDs carry the 90 s lead-out after the program area like any other.
        medium->State().DiscType = 0x00;
    }
    return medium->Commit(error);
}

bool PressAudio(const std::string& path, const std::vector<std::string>& wavPaths, std::string& error) {
    if (wavPaths.empty() || wavPaths.size() > 99) {
        error = "an audio CD needs 1 to 99 WAV files";
        return false;
    }
    struct TSource {
        std::string Path;
        uint64_t Offset, Length;
    };
    std::vector<TSource> sources;
    uint64_t total = 0;
    for (const auto& wav : wavPaths) {
        TSource s{wav, 0, 0};
        if (!ReadCdWavLayout(wav, s.Offset, s.Length, error)) return false;
        total += 150 + (s.Length + 2351) / 2352;
        sources.push_back(s);
    }
    if (total > Traits(EMediumKind::CdRom).DefaultCapacity) {
        error = "the audio does not fit on a CD";
        return false;
    }
    auto medium = TMedium::Create(path, EMediumKind::CdRom, static_cast<uint32_t>(total - 150), error);
    if (!medium) return false;
    TDiscState& st = medium->State();
    st.Tracks.clear();
    int32_t lba = 0;
    std::vector<uint8_t> chunk(size_t{kChunkBlocks} * 2352);
    for (size_t i = 0; i < sources.size(); ++i) {
        const TSource& s = sources[i];
        TTrack t;
        t.Number = static_cast<uint8_t>(i + 1);
        t.Pregap = 150;
        if (i > 0) lba += 150;
        t.Start = lba;
        t.Written = static_cast<uint32_t>((s.Length + 2351) / 2352);
        t.Complete = true;
        t.Audio = true;
        t.Control = 0;
        t.SectorSize = 2352;
        std::ifstream in(s.Path, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(s.Offset));
        uint64_t left = s.Length;
        for (uint32_t done = 0; done < t.Written; done += kChunkBlocks) {
            const uint32_t count = std::min(kChunkBlocks, t.Written - done);
            std::fill(chunk.begin(), chunk.end(), 0);
            const uint64_t want = std::min<uint64_t>(left, uint64_t{count} * 2352);
            in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(want));
            left -= want;
            if (!medium->File().Write(lba + static_cast<int32_t>(done), count, 2352, chunk.data())) {
                error = "cannot write " + path;
                return false;
            }
        }
        lba += static_cast<int32_t>(t.Written);
        st.Tracks.push_back(t);
    }
    st.Sessions = {{1, lba, true}};
    st.Capacity = static_cast<uint32_t>(lba);
    return medium->Commit(error);
}

bool ExportImage(const std::string& path, const std::string& outPath, unsigned session, std::string& error) {
    auto medium = TMedium::Load(path, error, false);
    if (!medium) return false;
    const TDiscState& st = medium->State();
    const TMediumTraits& t = medium->Traits();
    // Blocks to export: [from, to) ranges of data sectors.
    std::vector<std::pair<int32_t, int32_t>> ranges;
    if (t.Overwritable) {
        if (session > 1) {
            error = "an overwritable medium has a single session";
            return false;
        }
        ranges.emplace_back(0, st.HighestWritten + 1);
    } else {
        for (const auto& tr : st.Tracks)
            if (!tr.Audio && (session == 0 || tr.Session == session))
                ranges.emplace_back(std::max(tr.Start, 0), tr.Start + static_cast<int32_t>(tr.Written));
        if (session > 0 && ranges.empty()) {
            error = "no data track in session " + std::to_string(session);
            return false;
        }
    }
    int fd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot create " + outPath;
        return false;
    }
    int64_t end = 0;
    std::array<uint8_t, 2352> sector{};
    std::vector<uint8_t> chunk;
    bool ok = true;
    for (const auto& [from, to] : ranges) {
        for (int32_t lba = from; ok && lba < to; lba += static_cast<int32_t>(kChunkBlocks)) {
            const int32_t count = std::min<int32_t>(static_cast<int32_t>(kChunkBlocks), to - lba);
            chunk.assign(size_t(count) * 2048, 0);
            bool any = false;
            for (int32_t i = 0; i < count; ++i) {
                const uint16_t size = medium->File().Read(lba + i, sector.data());
                if (size == TMediumFile::kUnreadable) {
                    ok = false;
                    break;
                }
                if (size == 0) continue;
                const size_t skip = size == 2352                                     ? 16
                                    : (size == 2336 || size == 2332 || size == 2056) ? 8
                                                                                     : 0;
                std::memcpy(&chunk[size_t(i) * 2048], sector.data() + skip, 2048);
                any = true;
            }
            // The image is cut to its length at the end: sectors of zeros stay holes.
            if (any && !AllZero(chunk.data(), chunk.size())) ok = WriteAt(fd, chunk.data(), chunk.size(), uint64_t(lba) * 2048);
        }
        end = std::max<int64_t>(end, to);
    }
    ok = ok && ::ftruncate(fd, static_cast<off_t>(end * 2048)) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok) error = "cannot write " + outPath;
    return ok;
}

bool ExportAudio(const std::string& path, const std::string& outDir, std::string& error) {
    auto medium = TMedium::Load(path, error, false);
    if (!medium) return false;
    std::error_code ec;
    fs::create_directories(outDir, ec);
    std::ostringstream cue;
    cue << "REM exported from " << fs::path(path).filename().string() << "\n";
    std::array<uint8_t, 2352> sector{};
    int exported = 0;
    for (const auto& tr : medium->State().Tracks) {
        if (!tr.Audio) continue;
        char name[32];
        std::snprintf(name, sizeof name, "track%02u.wav", unsigned{tr.Number});
        const std::string file = (fs::path(outDir) / name).string();
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        const uint32_t dataBytes = tr.Written * 2352;
        std::array<uint8_t, 44> h{};
        std::memcpy(&h[0], "RIFF", 4);
        PutLE32(&h[4], 36 + dataBytes);
        std::memcpy(&h[8], "WAVEfmt ", 8);
        PutLE32(&h[16], 16);
        PutLE16(&h[20], 1);
        PutLE16(&h[22], 2);
        PutLE32(&h[24], 44100);
        PutLE32(&h[28], 44100 * 4);
        PutLE16(&h[32], 4);
        PutLE16(&h[34], 16);
        std::memcpy(&h[36], "data", 4);
        PutLE32(&h[40], dataBytes);
        out.write(reinterpret_cast<const char*>(h.data()), h.size());
        for (uint32_t i = 0; i < tr.Written; ++i) {
            sector.fill(0);
            if (medium->File().Read(tr.Start + static_cast<int32_t>(i), sector.data()) != 2352)
                sector.fill(0);
            out.write(reinterpret_cast<const char*>(sector.data()), 2352);
        }
        if (!out) {
            error = "cannot write " + file;
            return false;
        }
        cue << "FILE \"" << name << "\" WAVE\n"
            << "  TRACK " << (tr.Number < 10 ? "0" : "") << unsigned{tr.Number} << " AUDIO\n";
        if (tr.Number > 1 && tr.Pregap > 0) cue << "    PREGAP " << MsfText(tr.Pregap) << "\n";
        cue << "    INDEX 01 00:00:00\n";
        ++exported;
    }
    if (exported == 0) {
        error = "the medium holds no audio track";
        return false;
    }
    std::ofstream out((fs::path(outDir) / "tracks.cue").string(), std::ios::trunc);
    out << cue.str();
    if (!out) {
        error = "cannot write the cue sheet";
        return false;
    }
    return true;
}

bool DescribeMedium(const std::string& path, std::string& text, std::string& error) {
    auto medium = TMedium::Load(path, error, false);
    if (!medium) return false;
    const TDiscState& st = medium->State();
    const TMediumTraits& t = medium->Traits();
    std::ostringstream o;
    o << "medium:    " << t.DisplayName << " (profile " << std::hex << t.Profile << std::dec << "h, "
      << t.CliName << ")\n"
      << "capacity:  " << st.Capacity << " blocks\n";
    std::string state;
    if (t.Pressed)
        state = "pressed";
    else if (t.Overwritable)
        state = st.Formatted ? (st.Intermediate ? "formatted (growing)" : "formatted") : "unformatted";
    else if (st.Formatted && medium->IsBlank())
        state = "blank, formatted with spare areas";
    else if (medium->IsBlank())
        state = "blank";
    else if (st.Finalized)
        state = "finalized";
    else
        state = "appendable";
    o << "state:     " << state << "\n";
    if (t.Overwritable && st.Formatted) o << "formatted: " << st.FormattedBlocks << " blocks\n";
    if (t.Overwritable) {
        o << "written:   " << (st.HighestWritten + 1) << " blocks\n";
    } else if (!t.Pressed && !st.Finalized) {
        o << "next writable address: " << medium->NextWritableAddress() << "\n";
    }
    if (!st.CdText.empty()) o << "cd-text:   " << st.CdText.size() << " packs in the lead-in\n";
    for (const auto& s : st.Sessions) {
        o << "session " << s.Number << (s.Closed ? " closed" : " open");
        if (s.Closed) o << ", lead-out at " << s.LeadOut;
        o << "\n";
        for (const auto& tr : st.Tracks)
            if (tr.Session == s.Number)
                o << "  track " << unsigned{tr.Number} << (tr.Audio ? " audio" : " data") << " start "
                  << tr.Start << " size " << tr.Written << " blocks"
                  << (tr.Pregap ? " pregap " + std::to_string(tr.Pregap) : "")
                  << (tr.Complete ? "" : " (open)") << "\n";
    }
    // What the Q sub-channel carries besides positions, in the catalogue's own words.
    if (!st.Marks.Empty()) {
        o << "sub-channel:\n";
        WriteMarkLines(o, st.Marks);
    }
    text = o.str();
    return true;
}

}  // namespace kv::vr
