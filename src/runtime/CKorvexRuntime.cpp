#include "runtime/CKorvexRuntime.h"

#include "core/CDocTemplate.h"
#include "core/FaultRules.h"
#include "core/FileIo.h"
#include "core/Text.h"
#include "script/ScriptTemplate.h"
#include "serial/EnumeratePorts.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace korvex {

CKorvexRuntime::CKorvexRuntime() : m_port(m_app)
{
    m_app.SetPoster(&m_poster);
    // The answering threads wake the user-interface thread for their lines
    // at most every 5 ms, however fast the masters are.
    m_app.SetLineGatherTime(std::chrono::milliseconds(5));
    m_app.SetTransmitter(&m_port);
    m_app.SetPort(&m_port);
    m_pProject = std::make_unique<CPrjManager>(m_app);
    m_pScripts = &m_app.AddTemplate(MakeScriptTemplate(m_app));
    m_app.SetScriptTemplate(m_pScripts);
    // A device with faults says so in the project tree.
    CProjectTree& tree = m_pProject->GetProjectTree();
    tree.SetDeviceLabelSuffix(
        [this](const CDevDoc* device) { return m_app.GetFaultLabel(device); });
    m_app.SetFaultListener([&tree](const CDevDoc*) { tree.RefreshDeviceLabels(); });
}

CKorvexRuntime::~CKorvexRuntime()
{
    if (m_app.IsRunning())
        m_app.OnStop();
    m_app.SetFaultListener(nullptr);
    m_pProject->GetProjectTree().SetDeviceLabelSuffix(nullptr);
    // The documents go with the project manager, before the port.
    m_pProject.reset();
    m_link.Release();
}

std::string CKorvexRuntime::DefaultVirtualLink()
{
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir != nullptr && runtimeDir[0] == '/')
        return std::string(runtimeDir) + "/korvex/tty";
    return "/tmp/korvex-" + std::to_string(getuid()) + "/tty";
}

SSerInfo CKorvexRuntime::MakeVirtualEntry() const
{
    SSerInfo info;
    info.m_strComName = GetVirtualPath();
    info.m_strOpenPath = info.m_strComName;
    info.m_strShownName = kVirtualPortName;
    info.m_strDesc = "Псевдотерминал Korvex";
    info.m_bVirtual = true;
    return info;
}

CKorvexRuntime::Prepared CKorvexRuntime::Prepare(const SOptions& o)
{
    SSettings& set = m_app.GetSettings();
    m_store.Load(set);
    m_pProject->SetRecentStore(&m_store);
    m_nSavedPort = set.PORT;
    m_strLink = o.strLink;
    m_bDefaultLink = o.bListVirtual && m_strLink.empty();
    if (m_bDefaultLink)
        m_strLink = DefaultVirtualLink();

    const std::string sysRoot = o.strSysRoot;
    const std::string devRoot = o.strDevRoot;
    m_app.SetPortEnumerator([sysRoot, devRoot] {
        std::vector<SSerInfo> ports;
        EnumeratePorts(ports, false, sysRoot, devRoot);
        return ports;
    });
    if (o.bListVirtual)
        m_app.SetVirtualPortEntry(MakeVirtualEntry());

    if (o.bDecAddr)
        set.ADDRISHEX = 0;
    if (o.bDecValues)
        set.VALUEISHEX = 0;
    m_nSavedStrict = set.MBSTRICT;
    m_bStrictOverride = o.bStrict;
    if (o.bStrict)
        set.MBSTRICT = 1;
    m_nSavedCellRules = set.MBCELLRULES;
    m_bCellRulesOverride = o.bCellRules;
    if (o.bCellRules)
        set.MBCELLRULES = 1;
    if (o.baud)
        set.BAUD = *o.baud;
    if (o.dataBits)
        set.DATABIT = *o.dataBits;
    if (o.parity)
        set.PARITY = *o.parity;
    if (o.stopBits)
        set.STOPBIT = *o.stopBits;
    if (o.rts)
        set.RTS_CTRL_HI = *o.rts;
    if (o.dtr)
        set.DTR_CTRL_HI = *o.dtr;

    m_bSettingsNetwork = o.bSettingsNetwork;
    if (o.maxClients)
        m_net.SetMaxClients(*o.maxClients);
    if (!o.net.empty()) {
        m_bNetOptions = true;
        m_net.SetEndpoints(o.net);
        m_app.AddTransport(&m_net);
        m_bNetAdded = true;
        if (!o.port && !o.bVirtual) {
            // The network alone: no serial port is opened or needed.
            m_bSerial = false;
            m_app.SetPort(nullptr);
            return Prepared::Ok;
        }
    }

    m_bPortOverride = o.port.has_value() || o.bVirtual;
    m_bForceVirtual = o.bVirtual;
    if (o.bVirtual) {
        // The pair exists from the start: its path is known before the run.
        if (!m_virtual.Create())
            return Prepared::VirtualFail;
        if (o.bListVirtual) {
            m_app.SetVirtualPortEntry(MakeVirtualEntry());
            m_app.RefreshPorts();
            set.PORT = static_cast<int>(m_app.GetPorts().size()) - 1;
        }
        set.m_info = MakeVirtualEntry();
        // Reports name the device a master opens.
        set.m_info.m_strComName = m_virtual.GetSlavePath();
        return Prepared::Ok;
    }
    if (o.port) {
        if (o.bListVirtual)
            m_app.RefreshPorts();
        set.m_info = SSerInfo();
        set.m_info.m_strComName = *o.port;
        return Prepared::Ok;
    }
    return m_app.RefreshPorts() < 0 ? Prepared::NoPort : Prepared::Ok;
}

void CKorvexRuntime::ApplyTransportSettings()
{
    const SSettings& set = m_app.GetSettings();
    std::vector<SNetEndpoint> endpoints;
    const auto add = [&endpoints](int on, const std::string& host, int port, ENetFraming f) {
        if (on == 0 || port < 0 || port > 65535)
            return;
        SNetEndpoint e;
        e.framing = f;
        e.strHost = host;
        e.nPort = static_cast<std::uint16_t>(port);
        endpoints.push_back(e);
    };
    add(set.TCPON, set.TCPADDR, set.TCPPORT, ENetFraming::Mbap);
    add(set.RTUTCPON, set.RTUTCPADDR, set.RTUTCPPORT, ENetFraming::Rtu);
    m_net.SetEndpoints(endpoints);
    if (!m_bNetAdded) {
        m_app.AddTransport(&m_net);
        m_bNetAdded = true;
    }
    // A port named for this run is served whatever the settings say.
    m_bSerial = m_bPortOverride || set.NOSERIAL == 0;
    m_app.SetPort(m_bSerial ? &m_port : nullptr);
}

bool CKorvexRuntime::Start()
{
    m_strError.clear();
    if (!m_bNetOptions && m_bSettingsNetwork)
        ApplyTransportSettings();
    SSettings& set = m_app.GetSettings();
    const bool useVirtual = m_bSerial && (m_bForceVirtual || set.m_info.m_bVirtual);
    if (useVirtual && !m_virtual.IsCreated()) {
        if (!m_virtual.Create()) {
            m_strError = "Невозможно создать виртуальный порт: " + ErrorText(errno);
            m_app.OnError(m_strError);
            return true;
        }
        if (set.m_info.m_bVirtual)
            set.m_info.m_strComName = GetVirtualPath();
    }
    // The link is claimed before anything starts: another program's link, or
    // a file that is no link of ours, stops a link named for this run here.
    std::string unlinked; // why the default link is left out
    if (useVirtual && !m_strLink.empty() && !m_link.IsClaimed()) {
        if (m_link.Claim(m_strLink) != CVirtualLink::Claimed::Ok) {
            if (!m_bDefaultLink) {
                m_strError = m_link.GetError();
                return false;
            }
            unlinked = m_link.GetError();
        }
        m_bUnlinked = !unlinked.empty();
    }
    m_port.SetVirtualPort(useVirtual ? &m_virtual : nullptr);
    m_app.OnStart();
    if (!useVirtual || !m_port.IsOpen())
        return true;
    if (!unlinked.empty()) {
        m_app.ReportError(unlinked + "\n" +
                          StrFormat(kUnlinkedText, m_virtual.GetSlavePath().c_str()));
        return true;
    }
    if (!m_link.IsClaimed() || m_link.IsLinked())
        return true;

    // The link is made once the port is open: the open purges what arrived
    // before it, and a master must not connect earlier.
    if (!m_link.Link(m_virtual.GetSlavePath())) {
        m_strError = m_link.GetError();
        return false;
    }
    return true;
}

std::string CKorvexRuntime::DescribeServing() const
{
    std::string text = m_bSerial ? m_app.GetSettings().m_info.m_strComName : std::string();
    const std::string net = m_net.Describe();
    if (!net.empty())
        text += (text.empty() ? "" : ", ") + net;
    return text;
}

bool CKorvexRuntime::IsServingVirtual() const
{
    return m_app.IsRunning() && m_port.IsOpen() && m_virtual.IsCreated() &&
           (m_bForceVirtual || m_app.GetSettings().m_info.m_bVirtual);
}

std::string CKorvexRuntime::GetVirtualPath() const
{
    if (!m_strLink.empty() && !m_bUnlinked)
        return m_strLink;
    return m_virtual.GetSlavePath();
}

void CKorvexRuntime::ChoosePort(int index)
{
    SSettings& set = m_app.GetSettings();
    const auto& ports = m_app.GetPorts();
    set.PORT = index;
    set.m_info = index >= 0 && static_cast<std::size_t>(index) < ports.size()
                     ? ports[static_cast<std::size_t>(index)]
                     : SSerInfo();
    m_bPortOverride = false;
    m_bForceVirtual = false;
}

std::string CKorvexRuntime::ParseFaultOption(const std::string& arg, SFaultOption& option)
{
    const std::size_t colon = arg.find(':');
    if (colon == std::string::npos || colon == 0)
        return "--fault takes ID:RULES, for example PUMP1:delay=100-300,drop=10";
    option.strId = arg.substr(0, colon);
    option.strRules = arg.substr(colon + 1);
    SFaultRules rules;
    return ParseFaultRules(option.strRules, rules);
}

std::string CKorvexRuntime::ApplyFaults(const std::vector<SFaultOption>& faults)
{
    for (const SFaultOption& fault : faults) {
        const std::string error = m_app.SetDeviceFaults(fault.strId, fault.strRules);
        if (!error.empty())
            return error;
    }
    return std::string();
}

void CKorvexRuntime::ChooseStrict(bool strict)
{
    m_app.ChangeSettings([strict](SSettings& s) { s.MBSTRICT = strict ? 1 : 0; });
    m_bStrictOverride = false;
}

void CKorvexRuntime::ChooseCellRules(bool rules)
{
    m_app.ChangeSettings([rules](SSettings& s) { s.MBCELLRULES = rules ? 1 : 0; });
    m_bCellRulesOverride = false;
}

bool CKorvexRuntime::SaveSettings()
{
    SSettings saved = m_app.GetSettings();
    if (m_bPortOverride)
        saved.PORT = m_nSavedPort;
    if (m_bStrictOverride)
        saved.MBSTRICT = m_nSavedStrict;
    if (m_bCellRulesOverride)
        saved.MBCELLRULES = m_nSavedCellRules;
    return m_store.Save(saved);
}

} // namespace korvex
