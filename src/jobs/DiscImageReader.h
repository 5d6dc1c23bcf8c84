#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jobs/BlockReader.h"
#include "jobs/DiscImageLayout.h"
#include "jobs/DiscImagePlan.h"
#include "jobs/JobTypes.h"

namespace kv {
class TSCSIDevice;
}

namespace kv::jobs {

// Reads the disc in a drive as an image: finds its layout, plans the files of the chosen format
// and reads the blocks into a sink (files, or a comparison with files that exist). The jobs that
// save a disc as an image and copy one run it on their worker.
class TDiscImageReader {
public:
    struct THooks {
        std::function<bool()> Cancelled;
        std::function<void(TSeverity, const std::string& text, const std::string& catalogueKey)> Message;
        std::function<void(int64_t bytesDone, int64_t bytesTotal, int32_t sector, int speedKBs, int errors)> Progress;
    };

    TDiscImageReader(TSCSIDevice& device, THooks hooks) : device_(device), hooks_(std::move(hooks)) {}

    // The layout of the disc and the image of `format` (Auto: BIN/CUE when the session has audio,
    // ISO otherwise) of `session` (0: the last for ISO; BIN/CUE hold session 1) written to `output`.
    bool Plan(TImageFormat format, uint16_t session, const std::string& output, TDiscImagePlan& plan,
              std::string& error);
    // Every block of the plan into `sink`, zeros where nothing is to be read.
    bool Read(const TDiscImagePlan& plan, TImageSink& sink, TReadErrorPolicy policy, int retries, std::string& error);

    const TDiscImageLayout& Layout() const { return layout_; }
    // Of the last ISO plan: where the image lies on the disc.
    const TIsoExtent& Extent() const { return extent_; }
    // Blocks that were filled with zeros by the last Read.
    const std::vector<int32_t>& Filled() const { return filled_; }

private:
    void Message(TSeverity severity, const std::string& text, const std::string& key = {}) {
        if (hooks_.Message) hooks_.Message(severity, text, key);
    }

    TSCSIDevice& device_;
    THooks hooks_;
    TDiscImageLayout layout_;
    TIsoExtent extent_;
    std::vector<int32_t> filled_;
};

// A disc read's progress in a job's snapshot.
void ShowReadProgress(TJobProgress& p, int64_t bytesDone, int64_t bytesTotal, int32_t sector, int speedKBs,
                      int errors);

// Writes the list of blocks filled with zeros beside the image: one line per block with the file
// and the byte offset that hold it. Its path is the main file's with ".unreadable.txt" added.
bool WriteFilledList(const TDiscImagePlan& plan, const std::vector<int32_t>& filled, std::string& path,
                     std::string& error);

}  // namespace kv::jobs
