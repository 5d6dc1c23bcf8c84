#pragma once
#include "app/DiscImageChoices.h"
#include "flows/Flow.h"

#include <QString>

namespace kv {

struct TDiscFacts;
namespace jobs {
struct TJobResult;
}

// The disc in the drive saved as an image file (ISO, BIN/CUE, or WAV files and a cue sheet) as the
// user chose, the progress window showing the sector read, the speed and the unreadable sectors.
// The job writes under temporary names, so an abort or an error leaves no image behind.
class TReadImageFlow : public TFlow {
public:
    TReadImageFlow(IFlowHost& host, TFlowRunner& runner, TReadImageChoices choices);
    TOperation Operation() const override { return TOperation::ReadingImage; }
    void Start() override;

private:
    void StartRead(const TDiscFacts& facts);
    // The job's end, a moment later.
    void ReadDone(const jobs::TJobResult& result);

    const TReadImageChoices Choices;
    QString SavedLine;
};

}  // namespace kv
