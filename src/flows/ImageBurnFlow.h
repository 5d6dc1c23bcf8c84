#pragma once
#include "flows/DataWriteFlow.h"

namespace kv {

// An existing image written to the disc as it is: an ISO image from sector 0, or the disc a cue
// sheet describes (its BIN or WAVE files, session-at-once). No restart and no verification follow.
class TImageBurnFlow : public TDataWriteFlow {
public:
    // An empty `fileName` is asked for.
    TImageBurnFlow(IFlowHost& host, TFlowRunner& runner, QString fileName);
    void Start() override;

private:
    void WriteImage(const TDiscFacts& facts);

    QString FileName;
    qint64 CueUnits = -1;  // a cue sheet's stream in 2048-byte units; -1 for an ISO image
};

}  // namespace kv
