#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace korvex {

// Turns SIGINT and SIGTERM into a call on the user-interface thread: the
// handler writes a byte into a pipe, a socket notifier reads it in the event
// loop. One watcher at a time; the default dispositions return when it goes.
class CSignalWatcher final : public QObject
{
public:
    explicit CSignalWatcher(std::function<void()> onSignal, QObject* parent = nullptr);
    ~CSignalWatcher() override;

    // False when the pipe could not be made: signals then end the program.

private:
    std::function<void()> m_fnOnSignal;
    std::unique_ptr<QSocketNotifier> m_pNotifier;
};

} // namespace korvex
