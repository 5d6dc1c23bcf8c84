#pragma once
#include "flows/Flow.h"
#include "jobs/DiscInfoJob.h"

#include <functional>

namespace kv {

// The disc's facts as the disc information window shows them, with the session list when the
// sessions dialog asks. An empty report when the drive cannot be read.
class TDiscReportFlow : public TFlow {
public:
    TDiscReportFlow(IFlowHost& host, TFlowRunner& runner, bool listSessions,
                    std::function<void(const jobs::TDiscReport&)> then);
    TOperation Operation() const override { return TOperation::ReadingDisc; }
    void Start() override;

private:
    void ReadReport(TZelBurner* burner);
    // The run ends before the report is shown, so that what the report starts finds the
    // application idle.
    void Deliver(const jobs::TDiscReport& report);

    const bool ListSessions;
    std::function<void(const jobs::TDiscReport&)> Then;
};

}  // namespace kv
