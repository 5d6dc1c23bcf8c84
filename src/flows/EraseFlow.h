#pragma once
#include "flows/Flow.h"

namespace kv {

struct TDiscFacts;
namespace jobs {
struct TJobResult;
}

// A rewritable disc blanked (quick or full, as set) or a DVD-RAM formatted, after its question.
class TEraseFlow : public TFlow {
public:
    using TFlow::TFlow;
    TOperation Operation() const override { return TOperation::Erasing; }
    void Start() override;

private:
    void AskToErase(const TDiscFacts& facts);
    void StartErase(bool quick);
    // The job's end, a moment later.
    void TimerEraseDoneTimer(const jobs::TJobResult& result);
};

}  // namespace kv
