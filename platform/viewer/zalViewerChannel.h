#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class XoRemoteRenderMessage;

// The viewer's end of the channel: connects to the host's socket, reads whole frames on a thread
// of its own (from the socket, or from the shared ring the host hands over when asked) and hands each
// message to the GUI thread in arrival order. A malformed frame is
// logged and closes the connection; so does the host going away.
class zalViewerChannel : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<void(const std::shared_ptr<const XoRemoteRenderMessage>&)>;

    explicit zalViewerChannel(QObject* parent = nullptr);
    ~zalViewerChannel() override;

    // Called on this object's thread for every message.
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    bool connectTo(const std::string& channel, QString& error);
    // Asks the host to send through shared memory from now on (see XoSharedRing); the switch happens when
    // its offer arrives, in order with everything else.
    void requestSharedRing();
    bool isConnected() const;
    // Thread-safe; false once the connection is gone.
    bool send(const XoRemoteRenderMessage& message);
    // Whether messages wait for the GUI thread (long work there ends its step early for them).
    bool hasWaiting() const { return m_waiting.load(std::memory_order_relaxed); }
    void close();

    // Steady-clock nanoseconds at which the reader took the frames of the latest transaction (0 when none),
    // kept only when ZAL_VIEWER_TIMING is set: where a first synchronisation's time goes.
    struct Timing
    {
        std::atomic<std::int64_t> begin{0}, firstContent{0}, lastContent{0}, end{0};
        std::atomic<std::int64_t> frames{0};
        // The reader thread's processor time at the transaction's begin and end.
        std::atomic<std::int64_t> beginCpu{0}, endCpu{0};
    };
    const Timing* timing() const { return m_timing.get(); }
    static std::int64_t steadyNs();
    // The calling thread's processor time, in nanoseconds.
    static std::int64_t threadCpuNs();

signals:
    // The connection ended: malformed is true when bad bytes ended it.
    void ended(bool malformed, const QString& reason);

private:
    void run();
    // Queues a message for the GUI thread; wakes it only when the queue was empty.
    void hand(std::shared_ptr<const XoRemoteRenderMessage> message);
    void drain();

    void noteRead(const XoRemoteRenderMessage& message);

    Handler m_handler;
    std::unique_ptr<Timing> m_timing;
    int m_fd = -1;
    std::thread m_reader;
    std::atomic<bool> m_closing{false};
    mutable std::mutex m_sendMutex;
    bool m_open = false;
    // Messages read and not yet handled: one wake-up of the GUI thread serves a whole run of them.
    std::mutex m_queueMutex;
    std::deque<std::shared_ptr<const XoRemoteRenderMessage>> m_queue;
    std::atomic<bool> m_waiting{false};
};
