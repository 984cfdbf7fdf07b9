#pragma once

#include "core/CObserverList.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace korvex {

class CProtoFeed;
class CRxPath;
class IPort;
class IScript;
class ITransport;
class ISessionObserver;
class IUiPoster;
struct SSettings;

// The emulator run: start and stop on the chosen port, the scripts that run
// with it, and the port's error hook.
//
// Threads: start, stop and the observers on the user-interface thread;
// OnError and PostStop on any thread (they only post). m_csScripts guards
// m_arScripts.
class CSession
{
public:
    // Line events watched on the port: received character, CTS, DSR, RLSD,
    // break, ring.
    static constexpr std::uint32_t kEventMask = 0x179;

    using MessageHandler = std::function<void(const std::string& text)>;

    // report shows a message before the protocol log exists.
    CSession(CRxPath& rx, CProtoFeed& feed, const SSettings& settings, MessageHandler report);

    void SetPoster(IUiPoster* poster) { m_pPoster = poster; }
    void SetPort(IPort* port) { m_pPort = port; }
    // Transports served beside the port (not owned); they start after it and
    // stop before it. A transport that cannot start stops the session.
    void AddTransport(ITransport* transport) { m_arTransports.push_back(transport); }
    void RemoveTransport(ITransport* transport) { std::erase(m_arTransports, transport); }
    const std::vector<ITransport*>& GetTransports() const { return m_arTransports; }
    void AddObserver(ISessionObserver* observer);
    void RemoveObserver(ISessionObserver* observer);

    bool IsRunning() const { return m_bRunning.load(); }
    // Marks the emulator running without a port (the headless decoder).
    void SetRunning(bool running) { m_bRunning.store(running); }
    const std::atomic<bool>& GetRunningFlag() const { return m_bRunning; }

    // The port opened is the settings' m_info.m_strComName.
    void OnStart();
    void OnStop();
    // Any thread: queue a stop onto the UI thread.
    void PostStop();
    // The port's error hook, on any thread: posts the stop and writes the
    // text as a warning line (to the message handler while no log exists).
    void OnError(const std::string& text);

    // Scripts add and remove themselves; they start with every start and stop
    // first at every stop.
    void AddScript(IScript* script);
    void RemoveScript(IScript* script);
    std::vector<IScript*> GetScripts() const;

private:
    template <typename Fn> void Notify(Fn fn);

    CRxPath& m_rx;
    CProtoFeed& m_feed;
    const SSettings& m_settings;
    MessageHandler m_fnReport;
    std::atomic<bool> m_bRunning{ false };
    IUiPoster* m_pPoster{ nullptr };
    IPort* m_pPort{ nullptr };
    std::vector<ITransport*> m_arTransports; // user-interface thread
    CObserverList<ISessionObserver> m_observers;
    mutable std::mutex m_csScripts;
    std::vector<IScript*> m_arScripts; // not owned
};

} // namespace korvex
