#pragma once

#include "core/CKorvexApp.h"
#include "files/CPrjManager.h"
#include "net/CNetServer.h"
#include "runtime/CQtPoster.h"
#include "serial/CAppPort.h"
#include "serial/CSettingsStore.h"
#include "serial/CVirtualLink.h"
#include "serial/CVirtualPort.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvex {

class CDocTemplate;

// What both programs wire together: the hub with its Qt poster, the serial
// port and the built-in virtual port, the user's settings and recent
// projects, the port list, the project manager and the script template.
// A run's own choices (port, line, number formats) apply to this run only
// and are never saved.
//
// User-interface thread only; QCoreApplication (or QApplication) exists
// before the runtime is made.
class CKorvexRuntime
{
public:
    // One --fault option: a device ID and its rule text.
    struct SFaultOption
    {
        std::string strId;
        std::string strRules;
    };

    // This run's choices, from the command line.
    struct SOptions
    {
        std::optional<std::string> port; // a name under /dev or an absolute path
        bool bVirtual{ false };          // serve the built-in virtual port
        std::string strLink;             // a link to the virtual port's path
        std::optional<std::uint32_t> baud;
        std::optional<std::uint8_t> dataBits;
        std::optional<std::uint8_t> parity;
        std::optional<std::uint8_t> stopBits;
        std::optional<bool> rts;
        std::optional<bool> dtr;
        bool bDecAddr{ false };
        bool bDecValues{ false };
        bool bStrict{ false };            // answers by the MODBUS standard
        bool bCellRules{ false };         // the cells' access and bounds hold
        // Network listeners (--tcp, --rtu-over-tcp); without --port or
        // --virtual they are all the run serves.
        std::vector<SNetEndpoint> net;
        std::optional<unsigned> maxClients; // --tcp-max-clients
        // Without listeners in the options, those of the settings are served
        // and their "no serial port" holds (the desktop program).
        bool bSettingsNetwork{ false };
        std::vector<SFaultOption> faults; // applied once the devices are open
        std::string strSysRoot{ "/sys/class/tty" };
        std::string strDevRoot{ "/dev" };
        // The port list ends with the built-in virtual port (the desktop
        // program), so that there is always a port to start on.
        bool bListVirtual{ false };
    };

    enum class Prepared
    {
        Ok,
        NoPort,      // no serial port and no virtual port to serve
        VirtualFail, // the pseudo-terminal pair could not be made (errno)
    };

    static constexpr char kNoPortText[] =
        "На данном ПК нет ни одного последовательного порта.\nРабота с программой невозможна!";
    static constexpr char kVirtualPortName[] = "Виртуальный порт";
    // The default link left out; %s is the pseudo-terminal a master opens.
    static constexpr char kUnlinkedText[] = "Виртуальный порт работает без ссылки: %s";

    // Made on the user-interface thread, where its tasks are posted.
    CKorvexRuntime();
    ~CKorvexRuntime();

    CKorvexRuntime(const CKorvexRuntime&) = delete;
    CKorvexRuntime& operator=(const CKorvexRuntime&) = delete;

    // The hub, for the programs' own wiring (korvex-cli's commands).
    CKorvexApp& App() { return m_app; }
    CPrjManager& Project() { return *m_pProject; }
    CSettingsStore& Store() { return m_store; }
    CAppPort& Port() { return m_port; }
    CDocTemplate& ScriptTemplate() { return *m_pScripts; }

    // ---- What the windows use of the emulator ---------------------------------

    const IRunState& RunState() const { return static_cast<const IProjectHost&>(m_app); }
    bool IsRunning() const { return m_app.IsRunning(); }
    // The record the settings dialogs edit; saved by SaveSettings.
    SSettings& Settings() { return m_app.GetSettings(); }
    // Changes of the record go through here while the emulator may run.
    void ChangeSettings(const std::function<void(SSettings&)>& change)
    {
        m_app.ChangeSettings(change);
    }
    void SetLineSink(CProtoFeed::Sink sink) { m_app.SetLineSink(std::move(sink)); }
    void SetMessageHandler(CKorvexApp::MessageHandler handler)
    {
        m_app.SetMessageHandler(std::move(handler));
    }
    void AddSessionObserver(ISessionObserver* observer) { m_app.AddSessionObserver(observer); }
    void RemoveSessionObserver(ISessionObserver* observer)
    {
        m_app.RemoveSessionObserver(observer);
    }
    void AddDocListener(IDocListener* listener) { m_app.AddDocListener(listener); }
    void RemoveDocListener(IDocListener* listener) { m_app.RemoveDocListener(listener); }
    bool IsAnyModified() const { return m_app.IsAnyModified(); }
    void CloseAllDocuments() { m_app.CloseAllDocuments(); }
    CDevDoc* FindDeviceByAddr(std::uint8_t addr) const { return m_app.FindDeviceByAddr(addr); }
    CDevDoc* FindDeviceById(const std::string& id) const { return m_app.FindDeviceById(id); }
    SFaultRules GetFaults(const CDevDoc* device) const { return m_app.GetFaults(device); }
    std::string SetFaults(const CDevDoc* device, const std::string& rules)
    {
        return m_app.SetFaults(device, rules);
    }
    // The port list, enumerated anew with the settings' port chosen.
    int RefreshPorts() { return m_app.RefreshPorts(); }
    const std::vector<SSerInfo>& GetPorts() const { return m_app.GetPorts(); }

    // Loads the user's settings and recent projects, applies the options and
    // builds the port list (unless a port is named). Without a port named,
    // the settings' port is chosen from the list; an empty list is NoPort.
    Prepared Prepare(const SOptions& options);

    // Starts the emulator on the chosen port. The virtual port's pair is made
    // on first use and kept for the program's run, so a master keeps its path
    // from one start to the next; its link is claimed before the start (see
    // CVirtualLink) and made once the port is open, and kept till the end.
    // False when the link named for this run (--virtual=LINK) belongs to
    // another program or cannot be made, or something else is at its path:
    // then nothing is started, or the session is stopped again (GetLastError
    // tells why). The default link of the desktop program is left out instead:
    // the port serves its pseudo-terminal, and the app's error says so.
    bool Start();
    void Stop() { m_app.OnStop(); }
    // The emulator serves the virtual port now.
    bool IsServingVirtual() const;
    // The path a master opens on the virtual port: the link when there is
    // one (or is to be), else the pseudo-terminal; empty before the pair
    // exists.
    std::string GetVirtualPath() const;
    // The pseudo-terminal behind it (/dev/pts/N); empty before it exists.
    const std::string& GetVirtualDevice() const { return m_virtual.GetSlavePath(); }
    const std::string& GetLastError() const { return m_strError; }

    // "ID:RULES" of a --fault option: the ID before the first colon, the
    // rules after it, checked. Returns the error text, empty when valid.
    static std::string ParseFaultOption(const std::string& arg, SFaultOption& option);
    // Sets the faults the options name, once the devices are open. Returns
    // the error text of the first that fails (an unknown ID), else empty.
    std::string ApplyFaults(const std::vector<SFaultOption>& faults);

    // The port dialog's choice replaces the run's own; saved from then on.
    void ChoosePort(int index);
    // The interface dialog's choice of answers by the standard replaces the
    // run's own (--strict); saved from then on.
    void ChooseStrict(bool strict);
    // The same for the cell rules (--cell-rules).
    void ChooseCellRules(bool rules);
    // Writes the settings; a port chosen for this run only is not written.
    bool SaveSettings();

    // ---- The network listeners ------------------------------------------------

    // Binds the listeners of the options now, so that a run refuses to
    // start when one cannot be bound; error is the line that says which and
    // why.
    bool BindNetwork(std::string& error) { return m_net.Bind(error); }
    // The listeners as bound (a port 0 resolved).
    std::vector<SNetEndpoint> GetNetEndpoints() const { return m_net.GetBoundEndpoints(); }
    // Every frame the listeners send (korvex-cli's T lines); set before
    // BindNetwork.
    void SetNetSendTap(CNetServer::SendTap tap) { m_net.SetSendTap(std::move(tap)); }
    // What the running emulator serves, for the status bar: the port's name
    // and every listener ("ttyUSB0, Modbus TCP 127.0.0.1:1502").
    std::string DescribeServing() const;
    // Whether the run serves a serial or virtual port, and what it serves on
    // the network ("Modbus TCP 127.0.0.1:1502, ..."; empty: nothing).
    bool IsServingSerial() const { return m_bSerial; }
    std::string DescribeNetwork() const { return m_net.Describe(); }

    // The link path of the built-in virtual port when none is given:
    // $XDG_RUNTIME_DIR/korvex/tty, or /tmp/korvex-<uid>/tty.
    static std::string DefaultVirtualLink();

private:
    SSerInfo MakeVirtualEntry() const;
    // The listeners and the port from the settings (the port dialog's
    // choice), for a run whose options name none.
    void ApplyTransportSettings();

    CQtPoster m_poster;
    CKorvexApp m_app;
    CAppPort m_port;
    CVirtualPort m_virtual;
    CVirtualLink m_link;
    CNetServer m_net{ m_app };
    bool m_bSerial{ true };           // the run serves a serial or virtual port
    bool m_bNetOptions{ false };      // the listeners come from the options
    bool m_bSettingsNetwork{ false }; // else from the settings (the desktop)
    bool m_bNetAdded{ false };        // m_net is one of the session's transports
    CSettingsStore m_store;
    std::unique_ptr<CPrjManager> m_pProject;
    CDocTemplate* m_pScripts{ nullptr };
    std::string m_strLink;
    std::string m_strError;
    bool m_bForceVirtual{ false }; // --virtual: this run serves the virtual port
    bool m_bPortOverride{ false }; // --port or --virtual: PORT is not saved
    bool m_bDefaultLink{ false };  // m_strLink was not named for this run
    bool m_bUnlinked{ false };     // the default link was left out
    int m_nSavedPort{ -1 };
    bool m_bStrictOverride{ false }; // --strict: MBSTRICT is not saved
    int m_nSavedStrict{ 0 };
    bool m_bCellRulesOverride{ false }; // --cell-rules: MBCELLRULES is not saved
    int m_nSavedCellRules{ 0 };
};

} // namespace korvex
