#include "flows/ExtractFlow.h"

#include "app/LogDocument.h"
#include "app/MessageCatalogue.h"
#include "datawrite/TZelBurner.h"
#include "flows/FlowRunner.h"
#include "iso/FileExtract.h"
#include "jobs/SessionJobs.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>

namespace kv {

struct TExtractFlow::TPlan {
    TZelBurner* Burner = nullptr;
    std::vector<jobs::TExtractJob::TItem> Items;
};

TExtractFlow::TExtractFlow(IFlowHost& host, TFlowRunner& runner, std::vector<const TFEntry*> entries,
                           QString folder)
    : TFlow(host, runner), Entries(std::move(entries)), Folder(std::move(folder)) {}

void TExtractFlow::Start() {
    ShowWaitCursor(true);
    OnDrive<TPlan>(
        [entries = Entries, folder = Folder.toStdString(),
         settings = BurnerSettings()](TBurnerHost& burners) {
            TPlan plan;
            // An audio preparation since the import has the drive: the data burner takes it back.
            if (!burners.PrepareDataBurner(settings).Prepared) return plan;
            plan.Burner = burners.DataBurner();
            if (!plan.Burner) return plan;
            const auto& files = plan.Burner->FileTable();
            for (const TFEntry* entry : entries) {
                if (std::find(files.begin(), files.end(), entry) == files.end()) continue;
                plan.Items.push_back({entry, ExtractTarget(folder, *entry)});
            }
            return plan;
        },
        [this](TPlan& plan) {
            ShowWaitCursor(false);
            Extract(plan);
        });
}

void TExtractFlow::Extract(const TPlan& plan) {
    std::vector<jobs::TExtractJob::TItem> items;
    for (const auto& item : plan.Items) {
        const QString target = QString::fromStdString(item.Target);
        if (QFileInfo::exists(target) &&
            !Host.Prompts().AskYesNo(QCoreApplication::applicationName(),
                                     LookupTextWith("23.19", {"<#filename>=" + target})))
            continue;
        items.push_back(item);
    }
    if (!plan.Burner || items.empty()) {
        Host.Log().AddLog(LookupText("23.21"));
        End();
        return;
    }
    jobs::TExtractJob& job = Runner.Hold(std::make_unique<jobs::TExtractJob>(*plan.Burner, std::move(items)));
    job.OnFinished = Guarded([this, &job](const jobs::TJobResult& result) {
        TLogDocument& log = Host.Log();
        for (const std::string& target : job.Extracted())
            log.AddLog(LookupTextWith("23.20", {"<#filename>=" + QString::fromStdString(target)}));
        if (!result.Ok)
            log.AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(result.Error)}));
        log.AddLog(LookupText("23.21"));
        End();
    });
    std::string whyNot;
    if (!job.Start(&whyNot)) {
        Host.Log().AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(whyNot)}));
        End();
    }
}

}  // namespace kv
