#include "core/CKorvexApp.h"

#include "core/CParserModbus.h"
#include "core/PortList.h"
#include "core/Text.h"

#include <cstdio>

namespace korvex {

CKorvexApp::CKorvexApp()
    : m_session(m_rx, m_feed, m_settings, [this](const std::string& text) { ReportError(text); }),
      m_rx(m_devices, m_feed, m_settings, m_session.GetRunningFlag()),
      m_handlers(m_devices, m_feed, m_settings)
{
    m_rx.SetHandler(&m_handlers);
    m_rx.SetSettingsLock(&m_csSettings);
    m_rx.SetCounters(&m_counters.Line());
    m_handlers.SetFaults(&m_faults);
    m_handlers.SetCounters(&m_counters);
}

CKorvexApp::~CKorvexApp()
{
    // Documents first: their destructors still use the registry and the
    // notifier.
    m_docManager.CloseAllDocuments();
}

void CKorvexApp::SetPoster(IUiPoster* poster)
{
    m_pPoster = poster;
    m_feed.SetPoster(poster);
    m_cells.SetPoster(poster);
    m_rx.SetPoster(poster);
    m_faults.SetPoster(poster);
    m_session.SetPoster(poster);
    m_docManager.SetPoster(poster);
}

void CKorvexApp::ReportError(const std::string& text) const
{
    if (m_fnMessage)
        m_fnMessage(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

std::string CKorvexApp::SetDeviceFaults(const std::string& id, const std::string& rules)
{
    CDevDoc* dev = m_devices.FindDeviceById(id);
    if (dev == nullptr)
        return StrFormat("Устройство с идентификатором \"%s\" не найдено!", id.c_str());
    return m_faults.SetFaults(dev, rules);
}

std::string CKorvexApp::ResolvePath(const std::string& path) const
{
    return m_fnResolve ? m_fnResolve(path) : path;
}

int CKorvexApp::RefreshPorts()
{
    m_arPorts = m_fnEnumerate ? m_fnEnumerate() : std::vector<SSerInfo>();
    if (m_virtualEntry)
        m_arPorts.push_back(*m_virtualEntry);
    return SelectPort(m_settings, m_arPorts);
}

} // namespace korvex
