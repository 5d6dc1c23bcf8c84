// The flows' tests run without widgets in one process with a Qt event loop: the engine's events
// reach it as they reach the window's.
#include "FlowsTestMedia.h"
#include "platform/EngineClock.h"
#include "platform/EventDispatcher.h"
#include "virtualrecorder/MediumKinds.h"
#include "virtualrecorder/MediumTools.h"
#include "virtualrecorder/VirtualRecorders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QtEndian>

#include <gtest/gtest.h>

namespace kv::test {
namespace {

struct TMediumOrder {
    const char* Name;
    vr::EMediumKind Kind;
    uint32_t Capacity;  // 0: the medium's nominal size
};

constexpr TMediumOrder kMedia[] = {
    {"data-cdr.kvm", vr::EMediumKind::CdR, 0},     {"refusal-cdr.kvm", vr::EMediumKind::CdR, 0},
    {"tiny-cdr.kvm", vr::EMediumKind::CdR, 1200},  {"audio-cdr.kvm", vr::EMediumKind::CdR, 0},
    {"abort-cdr.kvm", vr::EMediumKind::CdR, 0},    {"audio-dvd.kvm", vr::EMediumKind::DvdPlusR, 0},
    {"short-cdr.kvm", vr::EMediumKind::CdR, 1200}, {"held-cdr.kvm", vr::EMediumKind::CdR, 0},
    {"closed-cdr.kvm", vr::EMediumKind::CdR, 0},   {"numbers-cdr.kvm", vr::EMediumKind::CdR, 0},
    {"late-abort-cdr.kvm", vr::EMediumKind::CdR, 0},
    {"cue-cdr.kvm", vr::EMediumKind::CdR, 0},     {"iso-cdr.kvm", vr::EMediumKind::CdR, 0},
    {"copy-target-cdr.kvm", vr::EMediumKind::CdR, 0}, {"damaged-cdr.kvm", vr::EMediumKind::CdR, 0},
    {"copy-source-cdr.kvm", vr::EMediumKind::CdR, 0}, {"normal-cdr.kvm", vr::EMediumKind::CdR, 0},
    {"normal-target-cdr.kvm", vr::EMediumKind::CdR, 0},
};

}  // namespace

TPreparedHome& FlowsHome() {
    static TPreparedHome home;
    return home;
}

QString Medium(const QString& name) {
    return FlowsHome().VirtualFolder + "/" + name;
}

QString IdentityOf(const QString& name) {
    return ListedIdentityOfMedium(Medium(name));
}

std::shared_ptr<vr::TVirtualRecorder> RecorderOf(const QString& name) {
    for (const auto& recorder : vr::PresentRecorders())
        if (QString::fromStdString(recorder->MediumPath()) == Medium(name)) return recorder;
    return nullptr;
}

QByteArray Pattern(int size, int seed) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + seed * 7 + i / 251) & 0xFF);
    return bytes;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(path.section('/', 0, -2));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteCdWav(const QString& path, double seconds, int seed) {
    const int frames = static_cast<int>(seconds * 44100);
    const QByteArray samples = Pattern(frames * 4, seed);
    QByteArray header(44, '\0');
    auto put32 = [&](int at, quint32 value) { qToLittleEndian(value, header.data() + at); };
    auto put16 = [&](int at, quint16 value) { qToLittleEndian(value, header.data() + at); };
    header.replace(0, 4, "RIFF");
    put32(4, static_cast<quint32>(36 + samples.size()));
    header.replace(8, 8, "WAVEfmt ");
    put32(16, 16);
    put16(20, 1);       // PCM
    put16(22, 2);       // stereo
    put32(24, 44100);   // samples per second
    put32(28, 176400);  // bytes per second
    put16(32, 4);       // block align
    put16(34, 16);      // bits per sample
    header.replace(36, 4, "data");
    put32(40, static_cast<quint32>(samples.size()));
    return WriteFile(path, header + samples);
}

}  // namespace kv::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    kv::InstallEventDispatcher([&app](std::function<void()> event) {
        QMetaObject::invokeMethod(&app, std::move(event), Qt::QueuedConnection);
    });
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    // The step order matters here, not the drive's pace.
    kv::EngineClock::SetTimeScale(100);
    kv::test::FlowsHome().Apply();
    for (const auto& medium : kv::test::kMedia) {
        std::string error;
        if (!kv::vr::CreateBlankMedium(kv::test::Medium(medium.Name).toStdString(), medium.Kind,
                                       medium.Capacity, error)) {
            std::fprintf(stderr, "%s: %s\n", medium.Name, error.c_str());
            return 1;
        }
    }
    const int result = RUN_ALL_TESTS();
    kv::InstallEventDispatcher(nullptr);
    return result;
}
