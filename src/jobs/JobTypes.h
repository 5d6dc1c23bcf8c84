#pragma once
#include <cstdint>
#include <string>

#include "platform/EngineTexts.h"

namespace kv::jobs {

// Where a job stands; the application shows it and derives its gauges' meaning from it.
enum class TJobStage {
    Idle,
    WaitingForDrive,  // spin-up, tray, "becoming ready"
    Preparing,        // medium checks, layout, track list, format
    Converting,       // decoding audio sources
    Priming,          // filling the read-ahead before the first WRITE
    Writing,
    Finalizing,       // closing track, session or disc
    Erasing,
    Reading,          // import, extraction, disc information
    Verifying,
    Done,
};

const char* StageName(TJobStage stage);

enum class TSeverity { Info, Progress, Warning, Error };

// One line a job wants the user to see. `CatalogueKey` names the application's text for it where
// one exists (the application may show its own catalogue text instead of `Text`).
struct TJobMessage {
    TSeverity Severity = TSeverity::Info;
    std::string Text;
    std::string CatalogueKey;
};

// Everything a progress display needs, copied under one lock.
struct TJobProgress {
    TJobStage Stage = TJobStage::Idle;
    int Percent = 0;  // 0..100 of the whole job
    int64_t BytesDone = 0;
    int64_t BytesTotal = 0;
    std::string CurrentFile;
    int FilesDone = 0;
    int FilesTotal = 0;
    int FoldersDone = 0;
    int FilePercent = 0;          // inside the current file (decode, verify)
    int DriveBufferPercent = 0;   // fill of the drive's buffer
    int CacheFillPercent = 0;     // fill of the read-ahead
    int64_t CacheEmptyCount = 0;  // times the writer found the read-ahead empty
    int64_t CacheFullCount = 0;   // times the reader found it full
    int64_t Sector = -1;          // block a disc read is at; -1 when none is read
    int ReadSpeedKBs = 0;         // what a disc read achieves (kB/s of image data, engine time)
    int ReadErrors = 0;           // blocks a disc read could not read
    int64_t ElapsedMs = 0;        // wall time since Start
    int64_t RemainingMs = -1;     // linear estimate; -1 when unknown
};

// How a job ended. `Error` is the engine's text ("OPERATION ABORTED BY USER" after a cancel).
struct TJobResult {
    bool Ok = false;
    bool Cancelled = false;
    std::string Error;
    // The user answered No to a question the job asked (the overburn question): nothing was written.
    bool Declined = false;
};

// A question a job needs answered before it goes on (the overburn question, say).
struct TJobQuestion {
    std::string CatalogueKey;
    std::string Text;
};

inline constexpr const char* kDriveBusyText = "THE DRIVE IS BUSY WITH ANOTHER OPERATION";
inline constexpr const char* kEntriesRefusedText = "THE COMPILATION HOLDS ENTRIES THAT CANNOT BE WRITTEN";
inline constexpr const char* kCompilationBusyText = "THE COMPILATION IS BEING WRITTEN AND CANNOT CHANGE";

}  // namespace kv::jobs
