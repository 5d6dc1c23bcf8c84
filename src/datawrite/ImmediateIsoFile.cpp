// The direct ISO file path of TZelBurner: no threads, the image is appended piece by piece.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "datawrite/ImageOutputFile.h"
#include "datawrite/SourceFile.h"
#include "datawrite/TZelBurner.h"
#include "iso/IsoRecords.h"
#include "platform/SourceFileTexts.h"

namespace kv {
namespace {

bool AppendGenerated(TImageOutputFile& out, const TGeneratedSectors& area, std::vector<uint8_t>& buffer,
                     std::string& error) {
    const auto piece = static_cast<uint32_t>(buffer.size() / kSectorSize);
    for (uint32_t first = 0; first < area.Count; first += piece) {
        const uint32_t count = std::min(piece, area.Count - first);
        area.Fill(first, count, buffer.data());
        if (!out.Write(buffer.data(), size_t{count} * kSectorSize)) {
            error = out.ErrorText();
            return false;
        }
    }
    return true;
}

// Appends `bytes` of `path` and completes the last sector with zeros. Exactly `bytes` are
// copied: a source that is shorter than recorded fails rather than shifting every later file.
bool AppendSource(TImageOutputFile& out, THostFileOpener& opener, const std::string& path, int64_t bytes,
                  std::vector<uint8_t>& buffer, std::string& error) {
    std::unique_ptr<TSourceFile> in;
    try {
        in = std::make_unique<TSourceFile>(path, opener, bytes);
    } catch (const std::system_error&) {
        error = CantOpenFileText(path);
        return false;
    }
    int64_t left = bytes;
    while (left > 0) {
        int n = static_cast<int>(std::min<int64_t>(left, static_cast<int64_t>(buffer.size())));
        if (!in->Read(buffer.data(), n)) {
            error = in->ErrorText();
            return false;
        }
        size_t rounded = SectorsFor(static_cast<uint64_t>(n)) * kSectorSize;
        std::memset(buffer.data() + n, 0, rounded - static_cast<size_t>(n));
        if (!out.Write(buffer.data(), rounded)) {
            error = out.ErrorText();
            return false;
        }
        left -= n;
    }
    return true;
}

}  // namespace

bool TZelBurner::CopyImmediate(TImageOutputFile& out, std::string& error) {
    const TVolumeLayout& layout = Layout();
    const std::vector<uint8_t>& header = HeaderStream();
    if (!out.Write(header.data(), header.size())) {
        error = out.ErrorText();
        return false;
    }
    std::vector<uint8_t> buffer(kImmediatePieceSize);
    THostFileOpener opener;
    if (!AppendGenerated(out, SectorsAfterHeader(), buffer, error)) return false;
    if (Bootable && layout.BootImageSectors > 0) {
        std::error_code ec;
        auto size = static_cast<int64_t>(std::filesystem::file_size(BootImage, ec));
        if (ec || SectorsFor(static_cast<uint64_t>(size)) != layout.BootImageSectors) {
            error = CantReadFileText(BootImage, "FILE SIZE HAS CHANGED");
            return false;
        }
        if (!AppendSource(out, opener, BootImage, size, buffer, error)) return false;
    }
    std::vector<uint8_t> zeros(kSectorSize, 0);
    for (uint32_t i = 0; i < layout.FillerSectors; ++i)
        if (!out.Write(zeros.data(), zeros.size())) {
            error = out.ErrorText();
            return false;
        }
    for (const TFEntry* e : FileTable()) {
        if (e->IsDirectory() || e->SourcePath.empty() || e->Size <= 0 || e->DataOf) continue;
        int64_t expected = int64_t{e->Extent} + layout.FirstFileSector;
        int64_t actual = out.Position() / static_cast<int64_t>(kSectorSize);
        if (expected != actual) {
            // Data at the wrong sector would make every later record point at foreign bytes.
            error = "INTERNAL ERROR 0004 " + e->SourcePath + " " + std::to_string(expected) + "<>" +
                    std::to_string(actual);
            ReportMessage(">>> " + error, 4);
            return false;
        }
        if (!AppendSource(out, opener, e->SourcePath, e->Size, buffer, error)) return false;
    }
    return AppendGenerated(out, SectorsAfterData(), buffer, error);
}

int TZelBurner::CreateISOFileImmediate(const std::string& fileName) {
    BuildLayout(true, nullptr);
    WriteHeader();
    TImageOutputFile out(fileName);
    std::string error;
    bool ok = out.Create();
    if (!ok) error = out.ErrorText();
    if (ok) ok = CopyImmediate(out, error);
    if (ok && !out.Commit()) {
        ok = false;
        error = out.ErrorText();
    }
    if (!ok) out.Discard();
    RaiseWriteDone(error);
    return ok ? 1 : 0;
}

}  // namespace kv
