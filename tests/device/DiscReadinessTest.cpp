// Before an operation: waiting for a drive that is getting ready, finding a session's start on
// drives that refuse READ TRACK INFORMATION, and refusing media a drive cannot write.
#include "DeviceFixture.h"
#include "Replies.h"

namespace kv::test {
namespace {

using TOps = std::vector<uint8_t>;
using TReply = TRecordingDrive::TReply;

class DiscReadinessTest : public DeviceFixture {
protected:
    std::shared_ptr<TRecordingDrive> drive;
    void SetUp() override {
        DeviceFixture::SetUp();
        drive = AddDrive();
        Select();
    }
    size_t Count(uint8_t opcode) {
        const auto ops = drive->Opcodes();
        return static_cast<size_t>(std::count(ops.begin(), ops.end(), opcode));
    }
};

// READ TOC replies as QEMU's emulated drives give them (mmc-reference section 9).
TReply TocFormat0(uint32_t firstTrackStart, uint32_t leadOut) {
    std::vector<uint8_t> r(20, 0);
    PutBE16(r.data(), 18);
    r[2] = r[3] = 1;
    r[5] = 0x14;
    r[6] = 1;
    PutBE32(r.data() + 8, firstTrackStart);
    r[13] = 0x14;
    r[14] = 0xAA;
    PutBE32(r.data() + 16, leadOut);
    return TRecordingDrive::WithData(r);
}

TReply SessionInfo(uint8_t lastSession, uint8_t track, uint32_t start, uint8_t adrControl = 0x14) {
    std::vector<uint8_t> r(12, 0);
    PutBE16(r.data(), 10);
    r[2] = 1;
    r[3] = lastSession;
    r[5] = adrControl;
    r[6] = track;
    PutBE32(r.data() + 8, start);
    return TRecordingDrive::WithData(r);
}

TEST_F(DiscReadinessTest, WaitForDiscPassesSpinUpAndAttentionButNotAnEmptyDrive) {
    drive->Queue(0x00, TRecordingDrive::CheckCondition(6, 0x28, 0x00));
    for (int i = 0; i < 3; ++i) drive->Queue(0x00, TRecordingDrive::CheckCondition(2, 0x04, 0x01));
    EXPECT_TRUE(device.WaitForDisc());
    EXPECT_EQ(drive->Opcodes(), (TOps{0, 0, 0, 0, 0}));

    drive->Clear();
    drive->Always(0x00, TRecordingDrive::CheckCondition(2, 0x3A, 0x00));
    EXPECT_FALSE(device.WaitForDisc());
    EXPECT_EQ(drive->Opcodes(), (TOps{0})) << "no medium: nothing to wait for";
    EXPECT_EQ(device.LastError(), "NOT READY (MEDIUM NOT PRESENT)");

    drive->Clear();
    drive->Always(0x00, TRecordingDrive::CheckCondition(2, 0x04, 0x01));
    EXPECT_FALSE(device.WaitForDisc(5000));
    EXPECT_EQ(Count(0x00), 11u) << "bounded: one probe per 500 ms";
    EXPECT_EQ(device.LastError(), "NOT READY (LOGICAL UNIT IS IN PROCESS OF BECOMING READY)");
}

TEST_F(DiscReadinessTest, SessionStartComesFromTheTocWhenTrackInformationIsRefused) {
    drive->Always(0x52, Failed());
    uint32_t lba = 99;
    // A single-session pressed disc: the plain TOC is enough on every drive.
    drive->Queue(0x43, TocFormat0(0, 233));
    ASSERT_TRUE(device.SessionStart(1, 1, lba));
    EXPECT_EQ(lba, 0u);

    // Last of two sessions, SCSI drive: format 1 comes back zeroed, byte 9 is ignored (the
    // format-0 TOC again). Neither is believed.
    drive->Clear();
    drive->Queue(0x43, SessionInfo(1, 0, 0, 0x00));
    drive->Queue(0x43, TocFormat0(0, 233));
    EXPECT_FALSE(device.SessionStart(2, 2, lba));
    const auto rec = drive->Recorded();
    ASSERT_EQ(rec.size(), 3u);
    EXPECT_EQ(rec[1].Cdb[2], 1) << "format 1 in byte 2";
    EXPECT_EQ(rec[2].Cdb[2], 0);
    EXPECT_EQ(rec[2].Cdb[9], 0x40) << "SFF-8020: format 1 in byte 9";

    // ATAPI drive: byte 2 ignored, byte 9 honoured.
    drive->Queue(0x43, TocFormat0(0, 233));
    drive->Queue(0x43, SessionInfo(2, 2, 11400));
    ASSERT_TRUE(device.SessionStart(2, 2, lba));
    EXPECT_EQ(lba, 11400u);
    // An earlier session is in no TOC reply that can be trusted.
    drive->Clear();
    EXPECT_FALSE(device.SessionStart(1, 2, lba));
    EXPECT_EQ(Count(0x43), 0u);

    // A track information reply about another track (a two-track first session) is not used.
    std::vector<uint8_t> other = TrackInfoReply(500, 0, 0, 100, 599).Data;
    PutBE16(other.data(), 46);
    other[2] = 2;
    other[3] = 1;
    drive->Queue(0x52, TRecordingDrive::WithData(other));
    drive->Queue(0x43, SessionInfo(2, 3, 12000));
    ASSERT_TRUE(device.SessionStart(2, 2, lba));
    EXPECT_EQ(lba, 12000u);
}

TEST_F(DiscReadinessTest, WriteRefusalNamesTheMediumTheStateAndTheDrive) {
    drive->Always(0x46, ConfigurationReply(0x08));
    EXPECT_EQ(device.WriteRefusal(false).Reason, "DISC IS NOT WRITABLE: CD-ROM IS A READ-ONLY MEDIUM");
    drive->Always(0x46, ConfigurationReply(0x0A));
    drive->Always(0x51, DiscInfoReply(2, 3, true, 1, 1));
    const TWriteRefusal closed = device.WriteRefusal(false);
    EXPECT_EQ(closed.Reason, "DISC IS NOT WRITABLE: THE DISC IS CLOSED");
    EXPECT_TRUE(closed.Erasable);
    // Overwritable media report complete and still take a write, but not an audio CD.
    drive->Always(0x46, ConfigurationReply(0x1A));
    EXPECT_EQ(device.WriteRefusal(false).Reason, "");
    EXPECT_EQ(device.WriteRefusal(true).Reason, "DISC IS NOT WRITABLE: AN AUDIO CD NEEDS A CD-R OR CD-RW, NOT DVD+RW");
    EXPECT_EQ(device.BlankRefusal(kMediumDvdRam), "") << "DVD-RAM is formatted, whatever its disc information says";
    // A drive whose capabilities page lists no CD-R writing.
    drive->Always(0x46, ConfigurationReply(0x09));
    drive->Always(0x51, DiscInfoReply(0, 0, false, 1, 1));
    device.Capabilities = ReadCDR | ReadCDRW | ReadDVD;
    EXPECT_EQ(device.WriteRefusal(false).Reason, "DISC IS NOT WRITABLE: THIS DRIVE DOES NOT WRITE CD-R");
    EXPECT_EQ(device.BlankRefusal(kMediumCdR), "DISC IS NOT ERASABLE: CD-R");
    device.Capabilities = 0;  // page never read: nothing known, nothing refused
    EXPECT_EQ(device.WriteRefusal(false).Reason, "");
}

}  // namespace
}  // namespace kv::test
