#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "device/SCSIDevice.h"
#include "iso/IsoEntries.h"

namespace kv {

// What the Rock Ridge entries of one directory record say (RRIP 1.09 to 1.12).
struct TRockRidgeInfo {
    std::string Name;        // NM, empty when the record has none
    bool HasMode = false;    // PX
    uint32_t Mode = 0;
    uint32_t Uid = 0;
    uint32_t Gid = 0;
    TLocalDateTime Modified, Accessed, Changed;  // TF; invalid when absent
    bool HasLink = false;    // SL
    std::string LinkTarget;
    bool Relocated = false;  // RE: a directory moved here from deeper down; its CL stands for it
    uint32_t ChildLink = 0;  // CL: the directory this record stands for (0: none)
    bool Extension = false;  // ER naming a Rock Ridge extension
    std::string Problem;     // the first damage found, empty when none
};

// Reads the System Use entries of records of a Rock Ridge tree, following continuation areas on
// the disc. The disc is untrusted: every entry is checked against its field, a continuation area
// must lie within one sector of the volume, and a record's chain of them is cut after a bounded
// number of areas or when it comes back to an area already read.
class TRockRidgeReader {
public:
    // `skip`: bytes before the entries of every System Use field (the SP entry's LEN_SKP);
    // `volumeEnd`: the first sector after the volume, 0 when not known.
    TRockRidgeReader(TSCSIDevice& device, size_t skip, uint32_t volumeEnd)
        : device_(device), skip_(skip), volumeEnd_(volumeEnd) {}

    TRockRidgeInfo Read(std::span<const uint8_t> systemUse);

    // The System Use field of the record at `record` (its length in byte 0).
    static std::span<const uint8_t> SystemUseOf(std::span<const uint8_t> record);

private:
    TSCSIDevice& device_;
    size_t skip_;
    uint32_t volumeEnd_;
};

// Whether the tree whose root directory starts at sector `rootExtent` carries Rock Ridge: its
// first record opens with an SP entry (SUSP 5.3) and a Rock Ridge extension is referenced (an ER
// entry of RRIP, or at least the PX entry every Rock Ridge record has). `skip` receives SP's LEN_SKP.
bool DetectRockRidge(TSCSIDevice& device, uint32_t rootExtent, uint32_t volumeEnd, size_t& skip);

}  // namespace kv
