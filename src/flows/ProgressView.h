#pragma once
#include <QString>
#include <QtGlobal>

namespace kv {

// What the progress window shows: the panels and caption of one kind of run.
enum class TProgressMode { Erase, AudioConversion, DataWrite, AudioWrite, ReadImage, CopyDisc };

// The "after finish" boxes of the progress window.
struct TAfterFinishChoices {
    bool Verify = false;
    bool Eject = false;
    bool Shutdown = false;
};

// The progress window as a flow sees it. The window reads the running job's progress through the
// runner on a timer of its own and sends an abort to the runner; a flow only switches its mode,
// sets and reads the boxes and shows what the job's progress does not carry.
class IProgressView {
public:
    virtual ~IProgressView() = default;

    // Panels, caption, gauges at zero and the refresh timer of the mode.
    virtual void Prepare(TProgressMode mode) = 0;
    // The boxes of the current mode, ticked as given; the verify and eject boxes of a data write
    // can be changed by the user only where enabled.
    virtual void PresetChoices(const TAfterFinishChoices& ticked, bool verifyEnabled, bool ejectEnabled) = 0;
    virtual TAfterFinishChoices Choices() const = 0;
    virtual void SetCaption(const QString& text) = 0;
    // An image file being written shows its path as the current file.
    virtual void SetImageFile(const QString& path) = 0;
    virtual void SetProgressMaximum(qint64 blocks) = 0;
    // A disc read's speed is also shown as a factor of this many KB/s, the medium's "1X".
    virtual void SetReadSpeedUnit(double kbsPerX) = 0;
    // The track is being closed: a full gauge, empty buffers.
    virtual void ShowFinalizing(qint64 blocks) = 0;
    // The run has ended well: the window says so (full gauge) for the moment before it closes.
    virtual void ShowEnded(const QString& text) = 0;
    // The write has ended: gauges and times cleared before the window closes.
    virtual void ClearGauges() = 0;
    virtual void StopRefresh() = 0;
    // The verification after a restart: its caption and colour; the flow drives the gauge.
    virtual void ShowAsVerification() = 0;
    virtual void ShowVerifiedFile(const QString& path, qint64 value, qint64 maximum) = 0;
    // Closed by the program at the end of the run: nothing is asked.
    virtual void Close() = 0;
};

}  // namespace kv
