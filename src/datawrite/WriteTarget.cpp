#include "datawrite/WriteTarget.h"

namespace kv {

bool TFileWriteTarget::Setup(std::string& error) {
    if (file_.Create()) return true;
    error = file_.ErrorText();
    return false;
}

bool TFileWriteTarget::WriteBlock(const uint8_t* data, int length, std::string& error) {
    if (file_.Write(data, static_cast<size_t>(length))) return true;
    error = file_.ErrorText();
    return false;
}

bool TFileWriteTarget::Finish(bool success, std::string& error) {
    if (!success) {
        file_.Discard();
        return true;
    }
    if (file_.Commit()) return true;
    error = file_.ErrorText();
    return false;
}

}  // namespace kv
