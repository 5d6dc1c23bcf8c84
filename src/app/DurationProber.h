#pragma once
#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace kv {

// Measures playing times on a thread of its own, one file after the other: opening a file with
// the decoder can take a long while, and the window must not wait for it. Each result comes back
// as the signal Measured, delivered on the thread the prober belongs to.
class TDurationProber : public QObject {
    Q_OBJECT

public:
    // Seconds of audio in the file at a path (host bytes), -1 when it holds none; called on the
    // prober's thread only.
    using TMeasure = std::function<double(const std::string& path)>;

    explicit TDurationProber(TMeasure measure, QObject* parent = nullptr);
    // Waits for the measurement under way; the rest are dropped.
    ~TDurationProber() override;
    TDurationProber(const TDurationProber&) = delete;
    TDurationProber& operator=(const TDurationProber&) = delete;

    void Request(quint64 ticket, std::string path);
    // Requests not begun yet are dropped; no Measured comes for them.
    void DropRequests();

signals:
    void Measured(quint64 ticket, double seconds);

private:
    void Work();

    TMeasure Measure;
    std::mutex Lock;
    std::condition_variable Wake;
    std::deque<std::pair<quint64, std::string>> Requests;
    bool Stopping = false;
    std::thread Worker;
};

}  // namespace kv
