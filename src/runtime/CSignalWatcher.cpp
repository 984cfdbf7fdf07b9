#include "runtime/CSignalWatcher.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace korvex {
namespace {

int g_signalPipe[2] = { -1, -1 };

void OnSignal(int number)
{
    const auto byte = static_cast<char>(number);
    const int saved = errno;
    [[maybe_unused]] const ssize_t n = write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

CSignalWatcher::CSignalWatcher(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), m_fnOnSignal(std::move(onSignal))
{
    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    m_pNotifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(m_pNotifier.get(), &QSocketNotifier::activated, this, [this] {
        char buf[16];
        bool end = false;
        bool user1 = false;
        for (ssize_t n; (n = read(g_signalPipe[0], buf, sizeof buf)) > 0;)
            for (ssize_t i = 0; i < n; ++i)
                (buf[i] == SIGUSR1 ? user1 : end) = true;
        if (user1 && m_fnOnUser1)
            m_fnOnUser1();
        if (end && m_fnOnSignal)
            m_fnOnSignal();
    });
}

void CSignalWatcher::WatchUser1(std::function<void()> onUser1)
{
    if (m_pNotifier == nullptr)
        return;
    m_fnOnUser1 = std::move(onUser1);
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGUSR1, &sa, nullptr);
}

CSignalWatcher::~CSignalWatcher()
{
    if (m_pNotifier == nullptr)
        return;
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    if (m_fnOnUser1)
        signal(SIGUSR1, SIG_DFL);
    m_pNotifier.reset();
    close(g_signalPipe[0]);
    close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
}

} // namespace korvex
