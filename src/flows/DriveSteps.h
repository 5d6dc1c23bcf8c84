#pragma once
#include "app/BurnerHost.h"

#include <functional>

namespace kv {

class IFlowHost;

// The small drive steps that flows and the window's own drive commands share. Each runs on the
// drive thread and reports through the host.

// The lines a drive task asks to show: log lines, errors, help links and notices.
void ShowDriveReports(IFlowHost& host, const TDriveReports& reports);
// The data burner takes the drive; `then` follows once the window has taken its choice.
void PrepareDataBurner(IFlowHost& host, std::function<void(const TPrepareOutcome&)> then = {});
// The data burner takes the drive, and a drive without a ready disc gets its tray closed and is
// waited for; false (and a notice) when no disc came.
void EnsureDiscReady(IFlowHost& host, std::function<void(bool ready)> then);
void EjectDisc(IFlowHost& host, bool report);
void LoadDisc(IFlowHost& host, bool wait, bool report);

}  // namespace kv
