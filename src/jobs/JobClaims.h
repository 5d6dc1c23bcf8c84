#pragma once
#include <string>

namespace kv::jobs {

// What running jobs hold: one job per drive at a time, and a compilation that a job reads cannot
// be read for another write or changed. Process-wide, like the drive table.
bool ClaimDrive(const std::string& identity);
void ReleaseDrive(const std::string& identity);
bool DriveClaimed(const std::string& identity);

bool ClaimReadLock(const void* key);
void ReleaseReadLock(const void* key);
bool ReadLocked(const void* key);

}  // namespace kv::jobs
