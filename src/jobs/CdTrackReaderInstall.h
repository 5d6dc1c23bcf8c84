#pragma once

namespace kv::jobs {

// Lets ".cda" sources be read from real drives and virtual recorders through READ CD.
void InstallCdTrackReader();

}  // namespace kv::jobs
