// Files other local users must not read or steer: the modes of saved files, the program folder,
// the key store, the folder and the lock of the one running instance, the restart files.
#include "AppTestSupport.h"
#include "app/AtomicFile.h"
#include "app/HandOver.h"
#include "app/KeyStore.h"
#include "app/SingleInstance.h"
#include "app/WorkingFolders.h"
#include "platform/ProcessUmask.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace kv {
namespace {

using test::TEnvGuard;
using test::WriteBytes;

constexpr uid_t kNobody = 65534;

mode_t ModeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 07777;
}

// Sets the process's umask for one test.
class TUmask {
public:
    explicit TUmask(mode_t mask) : Old(::umask(mask)) {}
    ~TUmask() { ::umask(Old); }
    TUmask(const TUmask&) = delete;
    TUmask& operator=(const TUmask&) = delete;

private:
    mode_t Old;
};

// What only root can make: a folder or a link that belongs to another user.
bool GiveToNobody(const QString& path) {
    return ::geteuid() == 0 && ::lchown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0;
}

TEST(PrivateFilesTest, SavedFilesKeepTheirModeNewOnesFollowTheUmaskAndRestartFilesAreTheUsersOnly) {
    QTemporaryDir dir;
    const TUmask mask(027);
    EXPECT_EQ(ProcessUmask(), mode_t{027});
    const QString settings = dir.filePath("Kelvadore.cfg");
    ASSERT_TRUE(WriteFileAtomically(settings, "new"));
    EXPECT_EQ(ModeOf(settings), mode_t{0640});
    ASSERT_EQ(::chmod(QFile::encodeName(settings).constData(), 0600), 0);
    ASSERT_TRUE(WriteFileAtomically(settings, "saved again"));
    EXPECT_EQ(ModeOf(settings), mode_t{0600});
    EXPECT_EQ(test::ReadBytes(settings), "saved again");
    ASSERT_EQ(::chmod(QFile::encodeName(settings).constData(), 0664), 0);
    ASSERT_TRUE(WriteFileAtomically(settings, "shared"));
    EXPECT_EQ(ModeOf(settings), mode_t{0664});
    ASSERT_TRUE(WriteFileAtomically(settings, "private", TFileAccess::OwnerOnly));
    EXPECT_EQ(ModeOf(settings), mode_t{0600});

    // Every burned path and the log of the burn: whatever was there and whatever the umask.
    const TUmask open(0);
    const QString folder = dir.path() + "/";
    ASSERT_TRUE(WriteBytes(HandOverQueuePath(folder), "old"));
    ASSERT_TRUE(WriteHandOver(folder, {true, false, false, "E", 3, 1, "token"}, "log<br>", "queue"));
    for (const char* name : {kHandOverSettingsFile, kHandOverMemoFile, kHandOverQueueFile})
        EXPECT_EQ(ModeOf(folder + name), mode_t{0600}) << name;
    EXPECT_EQ(test::ReadBytes(HandOverQueuePath(folder)), "queue");

    // A folder that cannot be written into: nothing is half written, and the file is named.
    QString failed;
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0500), 0);
    if (::access(QFile::encodeName(dir.path()).constData(), W_OK) != 0) {
        EXPECT_FALSE(WriteHandOver(folder, {}, "memo", "queue", &failed));
        EXPECT_EQ(failed, HandOverQueuePath(folder));
    }
    ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
}

TEST(PrivateFilesTest, TheProgramFolderIsClosedToOthersAndTheKeyStoreLivesInIt) {
    TEnvGuard home("KELVADORE_HOME");
    QTemporaryDir dir;
    const QString program = dir.path() + "/home";
    ASSERT_TRUE(QDir().mkpath(program));
    ASSERT_EQ(::chmod(QFile::encodeName(program).constData(), 0755), 0);
    ASSERT_TRUE(TWorkingFolders::ForProgramFolder(program).Prepare());
    EXPECT_EQ(ModeOf(program), mode_t{0700});
    // A folder of someone else's is not ours to change.
    const QString shared = dir.path() + "/shared";
    ASSERT_TRUE(QDir().mkpath(shared));
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 0755), 0);
    if (GiveToNobody(shared)) {
        EXPECT_TRUE(MakeFolderPrivate(shared));
        EXPECT_EQ(ModeOf(shared), mode_t{0755});
    }

    qputenv("KELVADORE_HOME", program.toUtf8());
    EXPECT_EQ(TKeyStore::DefaultPath(), program + "/registry");
    ASSERT_TRUE(TKeyStore().SetValue("KelvadorePath", "/usr/bin/kelvadore"));
    EXPECT_EQ(TKeyStore(program + "/registry").Value("KelvadorePath").value_or(""), "/usr/bin/kelvadore");
}

TEST(PrivateFilesTest, TheInstanceFolderIsTheUsersOwnAndClosedOrThereIsNone) {
    TEnvGuard runtime("XDG_RUNTIME_DIR");
    TEnvGuard temporary("TMPDIR");
    QTemporaryDir dir;
    const QString open = dir.path() + "/open", mine = dir.path() + "/mine", tmp = dir.path() + "/tmp";
    for (const QString& folder : {open, mine, tmp}) ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(mine).constData(), 0700), 0);
    qputenv("TMPDIR", tmp.toUtf8());

    qputenv("XDG_RUNTIME_DIR", mine.toUtf8());
    EXPECT_EQ(InstanceFolder(), mine);
    // A runtime folder others may enter is passed over for one of our own in the temporary folder.
    qputenv("XDG_RUNTIME_DIR", open.toUtf8());
    const QString own = tmp + "/kelvadore-" + QString::number(::geteuid());
    EXPECT_EQ(InstanceFolder(), own);
    EXPECT_EQ(ModeOf(own), mode_t{0700});
    if (GiveToNobody(mine)) {
        qputenv("XDG_RUNTIME_DIR", mine.toUtf8());
        EXPECT_EQ(InstanceFolder(), own);
    }
    // Another user's folder, or a link, at our own folder's name: there is no instance folder.
    ASSERT_TRUE(QDir(own).removeRecursively());
    ASSERT_EQ(::symlink(QFile::encodeName(dir.path()).constData(), QFile::encodeName(own).constData()), 0);
    EXPECT_EQ(InstanceFolder(), QString());
    TInstanceLock none(InstanceFolder());
    EXPECT_FALSE(none.TryLock());
    EXPECT_FALSE(none.Usable());
}

TEST(PrivateFilesTest, TheLockIsHeldOnceNeverFollowsALinkAndNeverWaitsOnAFifo) {
    QTemporaryDir dir;
    {
        TInstanceLock first(dir.path()), second(dir.path());
        ASSERT_TRUE(first.TryLock());
        EXPECT_FALSE(second.TryLock());
        EXPECT_TRUE(second.Usable());
        EXPECT_EQ(ModeOf(dir.filePath("kelvadore.lock")), mode_t{0600});
        first.Unlock();
        EXPECT_TRUE(second.TryLock());
    }
    // A lock left by a process that went is free again: the lock went with it.
    TInstanceLock again(dir.path());
    EXPECT_TRUE(again.TryLock());
    again.Unlock();

    const QByteArray lock = QFile::encodeName(dir.filePath("kelvadore.lock"));
    ASSERT_EQ(::unlink(lock.constData()), 0);
    ASSERT_EQ(::mkfifo(lock.constData(), 0600), 0);
    QElapsedTimer clock;
    clock.start();
    TInstanceLock fifo(dir.path());
    EXPECT_FALSE(fifo.TryLock());
    EXPECT_FALSE(fifo.Usable());
    EXPECT_LT(clock.elapsed(), 5000);

    const QString target = dir.filePath("someone's file");
    ASSERT_TRUE(WriteBytes(target, "keep"));
    ASSERT_EQ(::unlink(lock.constData()), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), lock.constData()), 0);
    TInstanceLock link(dir.path());
    EXPECT_FALSE(link.TryLock());
    EXPECT_FALSE(link.Usable());
    EXPECT_EQ(test::ReadBytes(target), "keep");

    ASSERT_EQ(::unlink(lock.constData()), 0);
    ASSERT_TRUE(WriteBytes(dir.filePath("kelvadore.lock"), ""));
    if (GiveToNobody(dir.filePath("kelvadore.lock"))) {
        TInstanceLock foreign(dir.path());
        EXPECT_FALSE(foreign.TryLock());
        EXPECT_FALSE(foreign.Usable());
    }
}

}  // namespace
}  // namespace kv
