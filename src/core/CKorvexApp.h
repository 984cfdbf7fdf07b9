#pragma once

#include "core/CCellNotifier.h"
#include "core/CCounters.h"
#include "core/CDeviceRegistry.h"
#include "core/CDocManager.h"
#include "core/CDocTemplate.h"
#include "core/CFaultInjector.h"
#include "core/CProtoFeed.h"
#include "core/CRequestHandlers.h"
#include "core/CRxPath.h"
#include "core/CSession.h"
#include "core/IDevHost.h"
#include "core/IPortEvents.h"
#include "core/IProjectHost.h"
#include "core/IScriptHost.h"
#include "core/ITransportHost.h"
#include "core/SSettings.h"
#include "core/Types.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

namespace korvex {

class CDocTemplate;
class IDocListener;
class IPort;
class IScript;
class ISessionObserver;
class ITransmitter;
class IUiPoster;

// The hub of the core: it owns the collaborators that do the work (the
// device registry, the receive path with its framing and transmit path, the
// request handlers, the devices' faults, the session, the cell notifier, the
// protocol line feed, the counters, the document manager, the settings
// record, the port list) and connects them. Documents are given the narrow host they use:
// devices IDevHost, scripts IScriptHost, the project side IProjectHost.
//
// Threads: wiring, commands, the drain and the handlers on the user-interface
// thread; OnReceive on the serial reader thread; scripts call the lookups,
// SendFrame and InjectReceived on their own threads. Each collaborator says
// which lock guards what.
class CKorvexApp final : public IDevHost,
                         public IScriptHost,
                         public IProjectHost,
                         public IPortEvents,
                         public ITransportHost
{
public:
    using MessageHandler = std::function<void(const std::string& text)>;
    using PathResolver = IProjectHost::PathResolver;
    using PortEnumerator = std::function<std::vector<SSerInfo>()>;

    CKorvexApp();
    ~CKorvexApp() override;

    CKorvexApp(const CKorvexApp&) = delete;
    CKorvexApp& operator=(const CKorvexApp&) = delete;

    // ---- Wiring, done once on the user-interface thread ----------------------

    void SetPoster(IUiPoster* poster);
    IUiPoster* GetPoster() const override { return m_pPoster; }
    void SetTransmitter(ITransmitter* tx) { m_rx.SetTransmitter(tx); }
    void SetPort(IPort* port) { m_session.SetPort(port); }
    // Messages of the document layer and errors before a log exists, shown on
    // the user-interface thread; without a handler they go to standard error.
    void SetMessageHandler(MessageHandler handler) { m_fnMessage = std::move(handler); }
    void ReportError(const std::string& text) const override;

    // Where the protocol log's batches go (the protocol bar, standard
    // output, a test's vector); the lines themselves come from the feed.
    void SetLineSink(CProtoFeed::Sink sink) { m_feed.SetSink(std::move(sink)); }
    // See CProtoFeed::SetGatherTime.
    void SetLineGatherTime(std::chrono::milliseconds gather) { m_feed.SetGatherTime(gather); }
    // Lines of the program's own (tests and warnings of the wiring).
    ILineSink& GetLines() override { return m_feed; }
    // The settings record: the wiring loads, edits and saves it; the parts
    // read it through their hosts.
    SSettings& GetSettings() { return m_settings; }
    const SSettings& GetSettings() const override { return m_settings; }
    // A change of the settings while the emulator may be answering: the
    // port's thread reads them during a drain, so the change waits for the
    // drain to end (the user-interface thread; no drain waits for it).
    void ChangeSettings(const std::function<void(SSettings&)>& change)
    {
        std::unique_lock lock(m_csSettings);
        change(m_settings);
    }

    // ---- Observers ---------------------------------------------------------------

    void AddSessionObserver(ISessionObserver* observer) { m_session.AddObserver(observer); }
    void RemoveSessionObserver(ISessionObserver* observer) { m_session.RemoveObserver(observer); }
    void AddDocListener(IDocListener* listener) { m_docManager.AddListener(listener); }
    void RemoveDocListener(IDocListener* listener) { m_docManager.RemoveListener(listener); }
    // A device's faults changed (its tree label follows); see CFaultInjector.
    void SetFaultListener(CFaultInjector::Listener listener)
    {
        m_faults.SetListener(std::move(listener));
    }

    // ---- Documents ---------------------------------------------------------------

    CDocTemplate& AddTemplate(std::unique_ptr<CDocTemplate> tmpl)
    {
        return m_docManager.AddTemplate(std::move(tmpl));
    }
    bool IsAnyModified() const { return m_docManager.IsAnyModified(); }
    // Saves every modified document that has a path; false when one failed.
    bool SaveAllModified() { return m_docManager.SaveAllModified(); }
    void CloseAllDocuments() { m_docManager.CloseAllDocuments(); }

    // ---- Session ---------------------------------------------------------------

    bool IsRunning() const override { return m_session.IsRunning(); }
    void SetRunning(bool running) { m_session.SetRunning(running); }
    void OnStart() { m_session.OnStart(); }
    void OnStop() { m_session.OnStop(); }
    void PostStop() override { m_session.PostStop(); }
    void OnError(const std::string& text) { m_session.OnError(text); }
    void OnPortError(const std::string& text) override { OnError(text); }
    void AddScript(IScript* script) override { m_session.AddScript(script); }
    void RemoveScript(IScript* script) override { m_session.RemoveScript(script); }

    // ---- Devices ---------------------------------------------------------------

    void AddDevice(CDevDoc* doc) override { m_devices.AddDevice(doc); }
    void RemoveDevice(CDevDoc* doc) override
    {
        m_faults.Forget(doc);
        m_devices.RemoveDevice(doc);
    }
    void SetDeviceId(CDevDoc* doc, const std::string& id) override
    {
        m_devices.SetDeviceId(doc, id);
    }
    void SetDeviceAddr(CDevDoc* doc, std::uint8_t addr) override
    {
        m_devices.SetDeviceAddr(doc, addr);
    }
    CDevDoc* FindDeviceByAddr(std::uint8_t addr) const override
    {
        return m_devices.FindDeviceByAddr(addr);
    }
    CDevDoc* FindDeviceById(const std::string& id) const override
    {
        return m_devices.FindDeviceById(id);
    }
    std::string SetFaults(const CDevDoc* device, const std::string& rules) override
    {
        return m_faults.SetFaults(device, rules);
    }
    SFaultRules GetFaults(const CDevDoc* device) const { return m_faults.GetFaults(device); }
    // "неисправности: delay=100,drop=5" for the device's tree label; empty
    // without faults.
    std::string GetFaultLabel(const CDevDoc* device) const { return m_faults.GetLabel(device); }
    // Makes the faults' random draws repeat from one run to the next.
    void SeedFaults(std::uint32_t seed) { m_faults.Seed(seed); }
    std::vector<CDevDoc*> GetDevices() const { return m_devices.GetDevices(); }
    // Sets the faults of the device with that ID from the rule text (empty:
    // none). Returns the error text, empty on success. Any thread.
    std::string SetDeviceFaults(const std::string& id, const std::string& rules);

    // ---- Receive and transmit ------------------------------------------------

    void OnReceive(const std::uint8_t* data, std::uint32_t count) override
    {
        m_rx.OnReceive(data, count);
    }
    void InjectReceived(const std::uint8_t* data, std::uint32_t count) override
    {
        m_rx.InjectReceived(data, count);
    }
    void FlushReceive() { m_rx.FlushReceive(); }
    void SetEchoPossible(bool possible) override { m_rx.SetEchoPossible(possible); }
    void SetTransportThread(ITransportThread* thread) override { m_rx.SetTransportThread(thread); }
    void DrainReceived() override { m_rx.OnRxData(); }
    void SendFrame(const std::uint8_t* frame, unsigned length) override
    {
        m_rx.SendFrame(frame, length);
    }

    // ---- Transports beside the port -------------------------------------------

    // Served while the emulator runs (not owned).
    void AddTransport(ITransport* transport) { m_session.AddTransport(transport); }
    void RemoveTransport(ITransport* transport) { m_session.RemoveTransport(transport); }
    const std::vector<ITransport*>& GetTransports() const { return m_session.GetTransports(); }
    IPduHandler& GetPduHandler() override { return m_handlers; }
    const IDeviceLookup& GetDeviceLookup() const override { return m_devices; }
    std::shared_mutex& GetSettingsLock() override { return m_csSettings; }
    const std::atomic<bool>& GetRunningFlag() const override { return m_session.GetRunningFlag(); }

    // ---- Counters ----------------------------------------------------------------

    // Every device's and transport's: the counters window, --stats, the
    // listeners.
    CCounters& GetCounters() override { return m_counters; }

    // ---- Documents -----------------------------------------------------------

    // Scripts need the engine, above this library: the program registers
    // their template; null until then.
    CDocTemplate* GetScriptTemplate() const override { return m_pScriptTemplate; }
    void SetScriptTemplate(CDocTemplate* tmpl) { m_pScriptTemplate = tmpl; }
    // A document's path as it is opened: relative paths resolve against the
    // project's folder. The file layer installs the resolver; without one the
    // path is taken as it is.
    void SetPathResolver(PathResolver resolver) override { m_fnResolve = std::move(resolver); }
    std::string ResolvePath(const std::string& path) const override;

    // ---- Port list -------------------------------------------------------------

    // Where the machine's ports come from (the serial layer's scan).
    void SetPortEnumerator(PortEnumerator enumerate) { m_fnEnumerate = std::move(enumerate); }
    // The built-in virtual port, listed after the machine's ports; none by
    // default.
    void SetVirtualPortEntry(std::optional<SSerInfo> entry) { m_virtualEntry = std::move(entry); }
    // Enumerates the ports (busy ones kept, marked), the virtual port last,
    // then selects the settings' port (SelectPort). Returns the chosen index,
    // or -1 when the list is empty.
    int RefreshPorts();
    const std::vector<SSerInfo>& GetPorts() const { return m_arPorts; }

private:
    // What the hosts alone hand to the documents.
    CCellNotifier& GetCellNotifier() override { return m_cells; }
    CDocManager& GetDocManager() override { return m_docManager; }
    IDevHost& GetDevHost() override { return *this; }

    IUiPoster* m_pPoster{ nullptr };
    MessageHandler m_fnMessage;
    PathResolver m_fnResolve;
    PortEnumerator m_fnEnumerate;
    std::optional<SSerInfo> m_virtualEntry;
    std::vector<SSerInfo> m_arPorts;
    CDocTemplate* m_pScriptTemplate{ nullptr }; // owned by m_docManager

    SSettings m_settings;
    // Held exclusively by ChangeSettings, shared by every drain.
    std::shared_mutex m_csSettings;
    CProtoFeed m_feed;
    CCellNotifier m_cells;
    CDeviceRegistry m_devices;
    CCounters m_counters{ m_devices };
    CFaultInjector m_faults;
    CSession m_session; // before the receive path, which reads its running flag
    CRxPath m_rx;
    CRequestHandlers m_handlers;
    // Last, so that documents go before everything they use.
    CDocManager m_docManager;
};

} // namespace korvex
