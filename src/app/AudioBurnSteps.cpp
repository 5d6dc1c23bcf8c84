#include "app/AudioBurnSteps.h"

#include "app/DriveSpeeds.h"
#include "audiowrite/TCueBurner.h"

#include <cmath>

namespace kv {

TAudioWriteFacts PrepareAudioWrite(TBurnerHost& burners, const TBurnerSettings& settings,
                                   const std::vector<std::string>& wavs, const jobs::TAudioDiscOptions& options,
                                   const TAudioDiscTexts& texts) {
    TAudioWriteFacts facts;
    facts.Reports = burners.PrepareDataBurnerWithDisc(settings, true).Reports;
    if (!burners.PrepareAudioBurner(settings, facts.Reports)) return facts;
    TCueBurner* burner = burners.AudioBurner();
    if (!burner) return facts;
    facts.Prepared = true;
    facts.Burner = burner;
    burner->CDTitle = texts.Title;
    burner->CDSongWriter = texts.SongWriter;
    burner->CDPerformer = texts.Performer;
    burner->CDCatalog = texts.Catalog;
    facts.MediumType = burner->MediumType();
    facts.Writable = burner->DiscIsWritable();
    facts.Erasable = burner->DiscIsErasable();
    facts.Device = QString::fromStdString(burner->Device());
    facts.SpeedX = static_cast<int>(std::lround(burner->ReadCurrentWriteSpeed() / SpeedUnit(facts.MediumType)));
    // The job describes the disc again when it starts; this pass gives the total for the log.
    if (!jobs::DescribeAudioDisc(*burner, wavs, options, facts.Refusal)) return facts;
    if (!burner->BuildCueSheet())
        facts.Refusal = burner->BuildError();
    else
        facts.TotalBytes = burner->TotalBytes();
    return facts;
}

}  // namespace kv
