#pragma once
#include <memory>
#include <string>
#include <vector>

#include "virtualrecorder/VirtualRecorder.h"

namespace kv::vr {

// Where virtual recorders come from:
//   - one recorder "virtual:recorder" with an empty tray is always present;
//   - every medium file named in KELVADORE_VIRTUAL_MEDIA (colon separated) and every *.kvm file in
//     the "virtual" folder of the program folder ($KELVADORE_HOME/virtual/, else
//     $XDG_DATA_HOME/kelvadore/virtual/, else ~/.local/share/kelvadore/virtual/) gets a recorder of
//     its own, named "virtual:<absolute path of the file>", with that medium loaded;
//   - LoadMediumInRecorder adds one for any other medium file.
// The recorders live until the process ends; their media files are committed on destruction.

// False when KELVADORE_VIRTUAL_RECORDERS=off: then no virtual recorder is listed at all.
bool VirtualRecordersEnabled();

// Makes the transport list the virtual recorders after the real drives. Safe to call repeatedly.
void InstallVirtualRecorders();

std::vector<std::shared_ptr<TVirtualRecorder>> PresentRecorders();

// The recorder holding the given medium file (loaded on first use); nullptr and `error` when the
// file is not a readable medium.
std::shared_ptr<TVirtualRecorder> RecorderForMedium(const std::string& path, std::string& error);

// DevicePath of the recorder holding the medium, empty when it cannot be loaded.
std::string LoadMediumInRecorder(const std::string& path, std::string* error = nullptr);

std::string VirtualMediaFolder();

}  // namespace kv::vr
