#include "flows/DriveSteps.h"

#include "app/DriveTasks.h"
#include "app/LogDocument.h"
#include "app/MessageCatalogue.h"
#include "flows/FlowHost.h"

namespace kv {
namespace {

TBurnerSettings SettingsOf(IFlowHost& host) {
    return TBurnerSettings::From(host.Settings());
}

}  // namespace

void ShowDriveReports(IFlowHost& host, const TDriveReports& reports) {
    for (const TDriveReport& report : reports) {
        switch (report.Kind) {
            case TDriveReport::TKind::Log:
                host.Log().AddLog(report.Text);
                break;
            case TDriveReport::TKind::LogKey:
                host.Log().AddLog(LookupTextWith(report.Text, report.Values));
                break;
            case TDriveReport::TKind::ErrorKey:
                host.Log().AddErrorLog(LookupTextWith(report.Text, report.Values));
                break;
            case TDriveReport::TKind::HelpLink:
                host.Log().AddHelpLink(report.Text, 0);
                break;
            case TDriveReport::TKind::NoticeKey:
                host.Prompts().ShowNotice(LookupText(report.Text));
                break;
        }
    }
}

void PrepareDataBurner(IFlowHost& host, std::function<void(const TPrepareOutcome&)> then) {
    host.Drive().Run<TPrepareOutcome>(
        [settings = SettingsOf(host)](TBurnerHost& burners) { return burners.PrepareDataBurner(settings); },
        [&host, then = std::move(then)](TPrepareOutcome& outcome) {
            host.ApplyPreparation(outcome);
            if (then) then(outcome);
        });
}

void EnsureDiscReady(IFlowHost& host, std::function<void(bool ready)> then) {
    struct TReadiness {
        bool Ready = false;
        TDriveReports Reports;
    };
    host.Drive().Run<TReadiness>(
        [settings = SettingsOf(host)](TBurnerHost& burners) {
            TReadiness readiness;
            readiness.Ready = burners.EnsureDiscReady(settings, readiness.Reports);
            return readiness;
        },
        [&host, then = std::move(then)](TReadiness& readiness) {
            ShowDriveReports(host, readiness.Reports);
            if (then) then(readiness.Ready);
        });
}

void EjectDisc(IFlowHost& host, bool report) {
    host.Drive().Run<TDriveReports>([settings = SettingsOf(host), report](
                                        TBurnerHost& burners) { return burners.EjectDisc(settings, report); },
                                    [&host](TDriveReports& reports) { ShowDriveReports(host, reports); });
}

void LoadDisc(IFlowHost& host, bool wait, bool report) {
    host.Drive().Run<TDriveReports>(
        [settings = SettingsOf(host), wait, report](TBurnerHost& burners) {
            return burners.LoadDisc(settings, wait, report);
        },
        [&host](TDriveReports& reports) { ShowDriveReports(host, reports); });
}

}  // namespace kv
