// Linux names as byte strings in the compilation's QStrings.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <random>

#include "app/HostText.h"

namespace kv {
namespace {

TEST(HostTextTest, EveryByteStringComesBackAndIsShownReadably) {
    const std::vector<QByteArray> samples = {
        "plain", "caf\xc3\xa9", "bad\xff.txt", "\xed\xa0\x80 surrogate in UTF-8", "\xc0\xaf overlong",
        "\xf0\x9f\x8e\xb5 note", "ctl\x01 new\nline", "cut \xe2\x82", "\xf4\x90\x80\x80 past Unicode",
        "\xf0\x9f\x8e\xb5\xff after a pair"};
    for (const QByteArray& bytes : samples) EXPECT_EQ(HostBytes(HostText(bytes)), bytes) << bytes.toStdString();
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) {
        QByteArray bytes(static_cast<qsizetype>(random() % 12), '\0');
        for (char& c : bytes) c = static_cast<char>(random() % 256 | (random() % 2 ? 0x80 : 0));
        EXPECT_EQ(HostBytes(HostText(bytes)), bytes);
    }
    // Valid UTF-8 is the text it always was; only the stand-ins of other bytes show as U+FFFD.
    EXPECT_EQ(HostText("caf\xc3\xa9 \xf0\x9f\x8e\xb5"), QString::fromUtf8("caf\xc3\xa9 \xf0\x9f\x8e\xb5"));
    EXPECT_NE(HostText("bad\xff"), HostText("bad\xfe"));
    EXPECT_EQ(ShownText(HostText("bad\xff.txt \xf0\x9f\x8e\xb5")),
              QString::fromUtf8("bad\xef\xbf\xbd.txt \xf0\x9f\x8e\xb5"));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray path = dir.path().toUtf8() + "/bad\xff.txt";
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_TRUE(HostPathExists(HostText(path)));
    EXPECT_FALSE(HostPathExists(ShownText(HostText(path))));
}

}  // namespace
}  // namespace kv
