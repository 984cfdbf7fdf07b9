#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace korvex {

// Turns SIGINT and SIGTERM (and SIGUSR1, when asked) into a call on the
// user-interface thread: the handler writes the signal's number into a pipe,
// a socket notifier reads it in the event loop. One watcher at a time; the
// default dispositions return when it goes.
class CSignalWatcher final : public QObject
{
public:
    explicit CSignalWatcher(std::function<void()> onSignal, QObject* parent = nullptr);
    ~CSignalWatcher() override;

    // SIGUSR1 calls onUser1 instead of ending the program.
    void WatchUser1(std::function<void()> onUser1);

private:
    std::function<void()> m_fnOnSignal;
    std::function<void()> m_fnOnUser1;
    std::unique_ptr<QSocketNotifier> m_pNotifier;
};

} // namespace korvex
