#pragma once
#include "flows/Flow.h"

#include <QString>

#include <memory>

namespace kv {

struct TDiscFacts;
namespace jobs {
class TDataWriteJob;
struct TJobMessage;
}  // namespace jobs

// The part every data write shares, whatever it writes (the compilation, an existing image) and
// wherever (a disc, an image file): the write job in the progress window and the end of the run.
// After a successful disc write of the compilation the restart hand-over follows; otherwise the
// disc is ejected and the machine shut down as ticked.
class TDataWriteFlow : public TFlow {
public:
    TOperation Operation() const override {
        return ImageOnly ? TOperation::WritingImage : TOperation::WritingData;
    }

protected:
    // `imageOnly`: an image file is written, or an image is written as it is; neither restarts.
    TDataWriteFlow(IFlowHost& host, TFlowRunner& runner, bool imageOnly);

    // Starts the write job with the progress window already shown; false (the run ended, 11.45
    // logged) when it cannot start.
    bool StartWriteJob(std::unique_ptr<jobs::TDataWriteJob> job);
    void ReportWriteStart(const TDiscFacts& facts, qint64 blocks, bool toDisc);

    const bool ImageOnly;
    qint64 ImageSizeBlocks = 0;
    bool WritesDisc = true;  // false for an image file: the end says which was written

private:
    void DataJobMessage(const jobs::TJobMessage& message);
    // The job's "finalizing track" and its end, each a moment later.
    void TimerFinalizingTrackTimer();
    void TimerWriteDoneTimer();
    void WriteEnded();

    QString WriteError;
};

}  // namespace kv
