#pragma once
#include "flows/Flow.h"

#include <QString>

#include <memory>
#include <vector>

namespace kv {

class TQueueItem;
class TZelBurner;
namespace jobs {
struct TJobResult;
}

// A session of the disc read into the data burner's compilation and shown in the tree (in blue),
// so that the next burn appends to it. Session 0 only takes the previous import away.
class TImportFlow : public TFlow {
public:
    TImportFlow(IFlowHost& host, TFlowRunner& runner, int session, QString pathText);
    TOperation Operation() const override { return TOperation::Importing; }
    void Start() override;

private:
    void StartImport(TZelBurner* burner);
    void ImportFinished(const jobs::TJobResult& result);
    void ShowImported(std::vector<std::unique_ptr<TQueueItem>>& items);

    const int Session;
    const QString PathText;
};

}  // namespace kv
