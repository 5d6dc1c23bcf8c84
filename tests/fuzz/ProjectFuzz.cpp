// libFuzzer target: project files and tree streams from anywhere. A file either decodes into a
// whole tree or is refused; what decodes writes back to the same stream.
#include <cstdint>
#include <cstdlib>

#include "app/ProjectFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const std::optional<kv::TProject> project = kv::DecodeProject(input); project && project->Tree) {
        if (!kv::EncodeProject(*project->Tree, project->VolumeName.value_or(QString()))) std::abort();
    }
    if (const std::unique_ptr<kv::TQueueItem> tree = kv::ReadTreeStream(input)) {
        // Icons come back unresolved; everything else is written as it was read.
        const std::optional<QByteArray> again = kv::WriteTreeStream(*tree);
        if (!again || !kv::ReadTreeStream(*again)) std::abort();
    }
    return 0;
}
