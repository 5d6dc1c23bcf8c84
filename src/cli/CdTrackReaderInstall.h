#pragma once

namespace kv::cli {

// Lets ".cda" sources be read from real drives and virtual recorders through READ CD.
void InstallCdTrackReader();

}  // namespace kv::cli
