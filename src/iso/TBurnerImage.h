#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "iso/GeneratedSectors.h"
#include "iso/PathTableOrder.h"
#include "iso/RockRidge.h"
#include "iso/TBurnerCompilation.h"
#include "iso/UdfPrimitives.h"

namespace kv {

class TUdfBridge;

// Whether a session carries UDF beside ISO 9660. Auto: on for DVD and BD media and for image
// files, which every system then reads whole (files of 4 GiB and more included); off for CD media.
enum class TUdfChoice { Auto, On, Off };

// Sector map of one volume, absolute sector numbers unless said otherwise.
struct TVolumeLayout {
    uint32_t SessionStart = 0;
    uint32_t PvdSector = 0;
    uint32_t BootRecordSector = 0;
    uint32_t SvdSector = 0;
    uint32_t TerminatorSector = 0;
    uint32_t IsoLPathSector = 0, IsoMPathSector = 0;
    uint32_t JolietLPathSector = 0, JolietMPathSector = 0;
    uint32_t IsoPathTableSize = 0, JolietPathTableSize = 0;  // bytes
    uint32_t IsoDirArea = 0, JolietDirArea = 0;
    // Rock Ridge continuation areas, between the ISO and the Joliet directory areas.
    uint32_t ContinuationArea = 0, ContinuationSectors = 0;
    uint32_t BootCatalogSector = 0, BootImageSector = 0;
    uint32_t BootImageSectors = 0;
    uint32_t FillerSectors = 0;
    uint32_t FirstFileSector = 0;
    // UDF beside ISO 9660 (TUdfBridge): its file entries after the header, its closing anchor
    // after the file data; zero without UDF.
    uint32_t UdfFileEntrySector = 0, UdfFileEntrySectors = 0;
    uint32_t UdfClosingAnchorSector = 0;
    uint32_t VolumeSpaceSize = 0;
    int64_t ImageSize = 0;  // sectors of the new session
};

// Lays the compilation out as one ISO 9660 volume with an optional Joliet supplementary
// volume and an El Torito boot image, and writes everything but file data into the header
// stream.
class TBurnerImage : public TBurnerCompilation {
public:
    static constexpr size_t kDescriptorCopySize = 65537;
    static constexpr int64_t kMinimumSectors = 300;
    static constexpr uint32_t kWriteUnitSectors = 32;  // of DVD and BD drives

    TBurnerImage();
    ~TBurnerImage() override;

    bool BuildLayout() { return BuildLayout(false, nullptr); }
    bool BuildLayout(bool imageOnly, TDEntry* importRoot);
    // Fills the header stream and the descriptor copy; call right after BuildLayout.
    void WriteHeader();

    // Sectors of the new session; at least 300 while WritePostGap is set.
    int64_t ImageSize() const;
    const TVolumeLayout& Layout() const { return layout_; }
    const std::vector<uint8_t>& HeaderStream() const { return header_; }
    std::vector<uint8_t>& MutableHeaderStream() { return header_; }
    const std::vector<uint8_t>& DescriptorCopy() const { return descriptorCopy_; }
    size_t DescriptorCopyLength() const { return descriptorCopyLength_; }
    // The UDF of the laid-out session, if it has one.
    const TUdfBridge* Udf() const { return udf_.get(); }
    // Streamed after the header stream (before the boot image and the file data), and after
    // the file data; empty without UDF.
    const TGeneratedSectors& SectorsAfterHeader() const { return afterHeader_; }
    const TGeneratedSectors& SectorsAfterData() const { return afterData_; }

    bool JolietFileSystem = true;
    // Rock Ridge in the ISO 9660 tree: POSIX names of any length, modes, owners, times, links.
    bool RockRidge = true;
    // Owner and group root and "readable by all" modes instead of the sources' own (for discs
    // made for others).
    bool RockRidgeRootOwner = false;
    bool Bootable = false;
    std::string BootImage;
    int SessionToImport = 0;
    bool WritePostGap = true;
    TUdfChoice UdfChoice = TUdfChoice::Auto;
    uint16_t UdfRevision = kUdfRevision201;  // or kUdfRevision102, for old DVD players
    std::string IdVolume, IdSystem, IdVolumeSet, IdPublisher, IdPreparer, IdApplication;
    std::string FileCopyright, FileAbstract, FileBibliographic;
    TLocalDateTime DateCreation, DateModification, DateEffective, DateExpiration;

protected:
    void ClearLayout() override;
    // An image file written as it is: its sectors are the session.
    void SetImageSizeOfFile(int64_t sectors) { layout_.ImageSize = sectors; }
    // Device hooks for a layout made for a disc write. Without a drive they do nothing and the
    // session starts at sector 0.
    virtual void ReadMediumForLayout() {}
    virtual bool FindSessionStart(uint32_t& sessionStart) {
        sessionStart = 0;
        return false;
    }
    virtual void ImportSessionForLayout(TDEntry* importRoot) { (void)importRoot; }
    virtual void SetCommandLog(bool on) { (void)on; }
    // The medium of a disc write is a DVD or BD, which Auto puts UDF on. Without a drive there is
    // no medium.
    virtual bool IsDvdOrBdMedium() { return false; }
    // False when this session may not carry UDF where it starts: an overwritable disc's readers
    // find the anchor at sector 256, which only a disc whose first session has UDF keeps free.
    virtual bool UdfAppendAllowed(uint32_t sessionStart) {
        (void)sessionStart;
        return true;
    }

    // Set by the burn entry point around its BuildLayout so that the session start is read
    // from the disc.
    bool layoutForBurn_ = false;

private:
    struct TContinuationPlace {
        uint32_t Sector = 0;  // relative to the continuation area until it is placed
        uint32_t Offset = 0;
        uint32_t Length = 0;
    };
    // One record of a directory as the directory area holds it.
    struct TRecord {
        uint32_t Extent = 0;
        uint32_t Length = 0;
        std::array<uint8_t, 7> Date{};
        uint8_t Flags = 0;
        std::vector<uint8_t> Identifier;
        TSystemUse SystemUse;
    };
    // Every record of `d` in one tree, in order: ".", "..", then one per entry and section. With
    // `forLayout` the extents, lengths and dates are not filled (they are not known yet).
    template <typename Visit>
    void ForEachRecord(TDEntry* d, TIsoTree tree, bool forLayout, Visit&& visit);
    TRockRidgeFields RockFields(const TFEntry* e, const TDEntry* dir, bool forLayout);
    void SizeDirectories(TIsoTree tree);
    void PlaceContinuations(uint32_t area);
    uint32_t PathTableSize(TIsoTree tree) const;
    void WritePathTable(TIsoTree tree, bool bigEndian, uint32_t sector);
    void WriteDirectories(TIsoTree tree, uint32_t sector);
    void WriteDescriptors();
    bool PlaceUdf(bool imageOnly, uint64_t& next);
    void PlaceUdfEnd();

    TVolumeLayout layout_;
    bool bootable_ = false;
    bool rockRidge_ = false;
    uint64_t directoriesEnd_ = 0;  // first sector after the directory and continuation areas
    std::vector<TContinuationPlace> continuations_;  // in record order
    std::unordered_map<const TDEntry*, uint32_t> subdirectories_;
    uint32_t nextSerial_ = 0;
    std::unordered_map<const TFEntry*, uint32_t> linkSerials_;  // by the first name of a linked file
    TGmtOffsets offsets_;
    std::vector<uint8_t> header_;
    std::vector<uint8_t> descriptorCopy_;
    size_t descriptorCopyLength_ = 0;
    TLocalDateTime headerTime_;
    std::unique_ptr<TUdfBridge> udf_;
    TGeneratedSectors afterHeader_, afterData_;
};

}  // namespace kv
