#pragma once
#include "flows/Flow.h"

#include <QString>

#include <utility>
#include <vector>

namespace kv {

struct TFEntry;

// Files of the imported session copied off the disc into a folder. Each entry is checked against
// the compilation the data burner holds now, its target is named inside the folder whatever the
// name on the disc says, and an existing target is replaced only when the user says so.
class TExtractFlow : public TFlow {
public:
    // The imported files chosen in the tree, in tree order.
    TExtractFlow(IFlowHost& host, TFlowRunner& runner, std::vector<const TFEntry*> entries, QString folder);
    TOperation Operation() const override { return TOperation::Importing; }
    void Start() override;

private:
    struct TPlan;
    void Extract(const TPlan& plan);

    const std::vector<const TFEntry*> Entries;
    const QString Folder;
};

}  // namespace kv
