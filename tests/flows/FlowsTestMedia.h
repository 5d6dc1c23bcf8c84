#pragma once
#include "PreparedHome.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace kv::vr {
class TVirtualRecorder;
}

namespace kv::test {

// The home every flow test works in: its virtual media are made before the first drive list, which
// a process builds once. Each test takes media of its own.
TPreparedHome& FlowsHome();
// The medium file of that name in the home's virtual folder.
QString Medium(const QString& name);
// The identity the drive list gives the recorder holding it (what the drive setting names).
QString IdentityOf(const QString& name);

QByteArray Pattern(int size, int seed);
bool WriteFile(const QString& path, const QByteArray& bytes);
QByteArray ReadAll(const QString& path);
// The virtual recorder holding that medium; null when none does.
std::shared_ptr<vr::TVirtualRecorder> RecorderOf(const QString& name);
// A CD-format WAV (44.1 kHz, 16-bit, stereo) of `seconds`, its samples a pattern.
bool WriteCdWav(const QString& path, double seconds, int seed);

}  // namespace kv::test
