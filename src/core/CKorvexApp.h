#pragma once

#include "core/CCellNotifier.h"
#include "core/CDeviceRegistry.h"
#include "core/CDocManager.h"
#include "core/CFaultInjector.h"
#include "core/CProtoFeed.h"
#include "core/CRequestHandlers.h"
#include "core/CRxPath.h"
#include "core/CSession.h"
#include "core/IRunState.h"
#include "core/SSettings.h"
#include "core/Types.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvex {

class CDocTemplate;
class IPort;
class IScript;
class ITransmitter;
class IUiPoster;

// The hub of the core: the facade the rest of the program talks to. It owns
// the collaborators that do the work: the device registry, the receive path
// (buffer, drain, framing, echo, transmit), the request handlers, the devices'
// faults, the session, the cell notifier, the protocol line feed, the document
// manager, the settings record and the port list.
//
// Threads: wiring, commands, the drain and the handlers on the user-interface
// thread; OnReceive on the serial reader thread; scripts call the lookups,
// SendFrame and InjectReceived on their own threads. Each collaborator says
// which lock guards what.
class CKorvexApp : public IRunState
{
public:
    using MessageHandler = std::function<void(const std::string& text)>;
    using PathResolver = std::function<std::string(const std::string& path)>;
    using PortEnumerator = std::function<std::vector<SSerInfo>()>;

    CKorvexApp();
    ~CKorvexApp();

    CKorvexApp(const CKorvexApp&) = delete;
    CKorvexApp& operator=(const CKorvexApp&) = delete;

    // ---- Wiring, done once on the user-interface thread ----------------------

    void SetPoster(IUiPoster* poster);
    IUiPoster* GetPoster() const { return m_pPoster; }
    void SetTransmitter(ITransmitter* tx) { m_rx.SetTransmitter(tx); }
    void SetPort(IPort* port) { m_session.SetPort(port); }
    // Messages of the document layer and errors before a log exists, shown on
    // the user-interface thread; without a handler they go to standard error.
    void SetMessageHandler(MessageHandler handler) { m_fnMessage = std::move(handler); }
    void ReportError(const std::string& text) const;

    // ---- Collaborators -------------------------------------------------------

    CProtoFeed& GetFeed() { return m_feed; }
    SSettings& GetSettings() { return m_settings; }
    const SSettings& GetSettings() const override { return m_settings; }
    CDeviceRegistry& GetDeviceRegistry() { return m_devices; }
    CRxPath& GetRxPath() { return m_rx; }
    CRequestHandlers& GetHandlers() { return m_handlers; }
    CFaultInjector& GetFaults() { return m_faults; }
    const CFaultInjector& GetFaults() const { return m_faults; }
    CSession& GetSession() { return m_session; }
    CCellNotifier& GetCellNotifier() { return m_cells; }
    CDocManager& GetDocManager() { return m_docManager; }
    const CDocManager& GetDocManager() const { return m_docManager; }

    static std::string GetVersionText();

    // ---- Session ---------------------------------------------------------------

    bool IsRunning() const override { return m_session.IsRunning(); }
    void SetRunning(bool running) { m_session.SetRunning(running); }
    void OnStart() { m_session.OnStart(); }
    void OnStop() { m_session.OnStop(); }
    void PostStop() { m_session.PostStop(); }
    void OnError(const std::string& text) { m_session.OnError(text); }
    void AddScript(IScript* script) { m_session.AddScript(script); }
    void RemoveScript(IScript* script) { m_session.RemoveScript(script); }
    std::vector<IScript*> GetScripts() const { return m_session.GetScripts(); }

    // ---- Devices ---------------------------------------------------------------

    void AddDevice(CDevDoc* doc) { m_devices.AddDevice(doc); }
    void RemoveDevice(CDevDoc* doc)
    {
        m_faults.Forget(doc);
        m_devices.RemoveDevice(doc);
    }
    CDevDoc* FindDeviceByAddr(std::uint8_t addr) const { return m_devices.FindDeviceByAddr(addr); }
    CDevDoc* FindDeviceById(const std::string& id) const { return m_devices.FindDeviceById(id); }
    std::vector<CDevDoc*> GetDevices() const { return m_devices.GetDevices(); }
    // Sets the faults of the device with that ID from the rule text (empty:
    // none). Returns the error text, empty on success. Any thread.
    std::string SetDeviceFaults(const std::string& id, const std::string& rules);

    // ---- Receive and transmit ------------------------------------------------

    void OnReceive(const std::uint8_t* data, std::uint32_t count) { m_rx.OnReceive(data, count); }
    void InjectReceived(const std::uint8_t* data, std::uint32_t count)
    {
        m_rx.InjectReceived(data, count);
    }
    void OnRxData() { m_rx.OnRxData(); }
    void FlushReceive() { m_rx.FlushReceive(); }
    CRxBuffer& GetRxBuffer() { return m_rx.GetRxBuffer(); }
    std::uint32_t GetRxPos() const { return m_rx.GetRxPos(); }
    void SendFrame(const std::uint8_t* frame, unsigned length) { m_rx.SendFrame(frame, length); }
    std::vector<std::uint8_t> GetLastTx() const { return m_rx.GetLastTx(); }
    std::string DescribeFrame(const std::uint8_t* frame, unsigned length) const;

    // ---- Documents -----------------------------------------------------------

    // Scripts need the engine, above this library: the program registers
    // their template; null until then.
    CDocTemplate* GetScriptTemplate() const { return m_pScriptTemplate; }
    void SetScriptTemplate(CDocTemplate* tmpl) { m_pScriptTemplate = tmpl; }
    // A document's path as it is opened: relative paths resolve against the
    // project's folder. The file layer installs the resolver; without one the
    // path is taken as it is.
    void SetPathResolver(PathResolver resolver) { m_fnResolve = std::move(resolver); }
    std::string ResolvePath(const std::string& path) const;

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
    IUiPoster* m_pPoster{ nullptr };
    MessageHandler m_fnMessage;
    PathResolver m_fnResolve;
    PortEnumerator m_fnEnumerate;
    std::optional<SSerInfo> m_virtualEntry;
    std::vector<SSerInfo> m_arPorts;
    CDocTemplate* m_pScriptTemplate{ nullptr }; // owned by m_docManager

    SSettings m_settings;
    CProtoFeed m_feed;
    CCellNotifier m_cells;
    CDeviceRegistry m_devices;
    CFaultInjector m_faults;
    CSession m_session; // before the receive path, which reads its running flag
    CRxPath m_rx;
    CRequestHandlers m_handlers;
    // Last, so that documents go before everything they use.
    CDocManager m_docManager;
};

} // namespace korvex
