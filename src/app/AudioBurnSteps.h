#pragma once
#include "app/BurnerHost.h"
#include "jobs/AudioDisc.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace kv {

class TCueBurner;

// The texts an audio CD is described with (kept by the audio burner, not written to the disc).
struct TAudioDiscTexts {
    std::string Title, SongWriter, Performer, Catalog;
};

// What the window needs to know before an audio write starts, read on the drive thread after the
// audio burner has taken the drive.
struct TAudioWriteFacts {
    bool Prepared = false;
    uint8_t MediumType = 0;
    bool Writable = false;
    bool Erasable = false;
    QString Device;
    int SpeedX = 0;
    int64_t TotalBytes = 0;  // of the track list
    std::string Refusal;     // the track list could not be built
    TDriveReports Reports;
    TCueBurner* Burner = nullptr;
};
// The data burner takes the drive, closes the tray and waits for the disc when it is not ready;
// then the audio burner takes the drive and gets its track list and texts.
TAudioWriteFacts PrepareAudioWrite(TBurnerHost& burners, const TBurnerSettings& settings,
                                   const std::vector<std::string>& wavs, const jobs::TAudioDiscOptions& options,
                                   const TAudioDiscTexts& texts);

}  // namespace kv
