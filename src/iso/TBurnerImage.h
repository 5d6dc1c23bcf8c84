#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "iso/PathTableOrder.h"
#include "iso/TBurnerCompilation.h"

namespace kv {

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
    uint32_t BootCatalogSector = 0, BootImageSector = 0;
    uint32_t BootImageSectors = 0;
    uint32_t FillerSectors = 0;
    uint32_t FirstFileSector = 0;
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

    TBurnerImage();

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

    bool JolietFileSystem = true;
    bool Bootable = false;
    std::string BootImage;
    int SessionToImport = 0;
    bool WritePostGap = true;
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

    // Set by the burn entry point around its BuildLayout so that the session start is read
    // from the disc.
    bool layoutForBurn_ = false;

private:
    void SizeDirectories(TIsoTree tree);
    uint32_t PathTableSize(TIsoTree tree) const;
    void WritePathTable(TIsoTree tree, bool bigEndian, uint32_t sector);
    void WriteDirectories(TIsoTree tree, uint32_t sector);
    void WriteDescriptors();

    TVolumeLayout layout_;
    bool bootable_ = false;
    std::vector<uint8_t> header_;
    std::vector<uint8_t> descriptorCopy_;
    size_t descriptorCopyLength_ = 0;
    TLocalDateTime headerTime_;
};

}  // namespace kv
