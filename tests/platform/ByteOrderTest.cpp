#include <gtest/gtest.h>

#include <array>

#include "platform/ByteOrder.h"

namespace kv {
namespace {

TEST(ByteOrder, RoundTripsAndBothByteOrderFields) {
    std::array<uint8_t, 8> b{};
    PutBE32(b.data(), 0xFFFFFF6Au);  // LBA -150 as it travels in a CDB
    EXPECT_EQ(b[0], 0xFF);
    EXPECT_EQ(b[3], 0x6A);
    EXPECT_EQ(static_cast<int32_t>(GetBE32(b.data())), -150);
    PutBoth32(b.data(), 0x12345678u);
    EXPECT_EQ((std::array<uint8_t, 8>{0x78, 0x56, 0x34, 0x12, 0x12, 0x34, 0x56, 0x78}), b);
    PutBoth16(b.data(), 0x0102);
    EXPECT_EQ(GetLE16(b.data()), 0x0102);
    EXPECT_EQ(GetBE16(b.data() + 2), 0x0102);
}

TEST(ByteOrder, ReaderRefusesReadsPastTheEnd) {
    std::array<uint8_t, 4> b{0, 0, 0x08, 0x00};
    TByteReader r(b);
    EXPECT_EQ(r.BE32(0), 0x0800u);
    EXPECT_EQ(r.BE16(2), 0x0800u);
    EXPECT_THROW(r.BE16(3), std::out_of_range);
    EXPECT_THROW(r.U8(4), std::out_of_range);
    EXPECT_THROW(r.Bytes(1, SIZE_MAX), std::out_of_range);
    EXPECT_FALSE(r.Has(5, 0));
}

}  // namespace
}  // namespace kv
