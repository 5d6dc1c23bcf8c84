#include "app/DriveTasks.h"

namespace kv {

TDriveTasks::TDriveTasks(QObject* context, TBurnerHost::THooks hooks)
    : Components(std::make_unique<TBurnerHost>(std::move(hooks))), Runner(context) {}

TDriveTasks::~TDriveTasks() {
    Runner.Stop();
}

}  // namespace kv
