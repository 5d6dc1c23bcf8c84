#include "app/DurationProber.h"

namespace kv {

TDurationProber::TDurationProber(TMeasure measure, QObject* parent)
    : QObject(parent), Measure(std::move(measure)), Worker([this] { Work(); }) {}

TDurationProber::~TDurationProber() {
    {
        std::lock_guard guard(Lock);
        Stopping = true;
        Requests.clear();
    }
    Wake.notify_one();
    Worker.join();
}

void TDurationProber::Request(quint64 ticket, std::string path) {
    {
        std::lock_guard guard(Lock);
        Requests.emplace_back(ticket, std::move(path));
    }
    Wake.notify_one();
}

void TDurationProber::DropRequests() {
    std::lock_guard guard(Lock);
    Requests.clear();
}

void TDurationProber::Work() {
    for (;;) {
        std::pair<quint64, std::string> request;
        {
            std::unique_lock guard(Lock);
            Wake.wait(guard, [this] { return Stopping || !Requests.empty(); });
            if (Stopping) return;
            request = std::move(Requests.front());
            Requests.pop_front();
        }
        const double seconds = Measure(request.second);
        {
            std::lock_guard guard(Lock);
            if (Stopping) return;
        }
        // Emitted here, received through a queued connection on the receiver's own thread.
        emit Measured(request.first, seconds);
    }
}

}  // namespace kv
