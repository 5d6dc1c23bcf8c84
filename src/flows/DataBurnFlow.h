#pragma once
#include "flows/DataWriteFlow.h"

namespace kv {

struct TLayoutFacts;

// The compilation written to the disc as a new data session, or into an ISO image file: the
// questions the disc raises, the hand-over of the tree to the data burner (every refused entry
// named), the layout and its room on the disc, then the write.
class TDataBurnFlow : public TDataWriteFlow {
public:
    TDataBurnFlow(IFlowHost& host, TFlowRunner& runner, bool imageOnly);
    void Start() override;

private:
    void BurnDataChecked();
    void AskDiscQuestions(const TDiscFacts& facts);
    bool ImageTargetIsASource(const QString& target) const;
    void HandOverTree(const TDiscFacts& facts);
    void IdentifyAndLayOut(const TDiscFacts& facts);
    void CheckCapacityAndStart(const TDiscFacts& facts, const TLayoutFacts& layout);
    void StartDataJob(const TDiscFacts& facts, const TLayoutFacts& layout);

    QString ImageFileName;
    qint64 BurnCount = 0;
};

}  // namespace kv
