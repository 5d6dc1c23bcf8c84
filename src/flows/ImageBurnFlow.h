#pragma once
#include "flows/DataWriteFlow.h"

namespace kv {

// An existing ISO image written to the disc as it is: no restart and no verification follow.
class TImageBurnFlow : public TDataWriteFlow {
public:
    // An empty `fileName` is asked for.
    TImageBurnFlow(IFlowHost& host, TFlowRunner& runner, QString fileName);
    void Start() override;

private:
    void WriteImage(const TDiscFacts& facts);

    QString FileName;
};

}  // namespace kv
