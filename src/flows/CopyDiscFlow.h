#pragma once
#include "app/DiscImageChoices.h"
#include "flows/Flow.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

namespace kv {

class TZelBurner;
struct TDiscFacts;
namespace jobs {
struct TJobResult;
}

// The disc in the drive copied through a temporary image: read (in the chosen folder, or where the
// WAV files would go when it lacks room), written to a blank in the same drive (asked for) or in
// the chosen one, compared with the image when asked, and the image deleted unless kept.
class TCopyDiscFlow : public TFlow {
public:
    TCopyDiscFlow(IFlowHost& host, TFlowRunner& runner, TCopyDiscChoices choices);
    TOperation Operation() const override { return TOperation::CopyingDisc; }
    void Start() override;

private:
    void FindTarget(const TDiscFacts& facts);
    void StartCopy(TZelBurner& source, TZelBurner& target, uint8_t mediumType);
    // The job's end, a moment later.
    void CopyDone(const jobs::TJobResult& result);

    const TCopyDiscChoices Choices;
    QString TargetDrive;
    // The bytes the temporary image needed when no folder had room for them; set on the job's worker.
    std::shared_ptr<std::atomic<int64_t>> NoRoomFor = std::make_shared<std::atomic<int64_t>>(0);
};

}  // namespace kv
