#include "script/CScriptHost.h"

#include "script/CScripter.h"

namespace korvex {

CScriptHost::CScriptHost(CScripter& scripter) : m_scripter(scripter) {}

QJSValue CScriptHost::call(int method, QJSValue args)
{
    if (m_pEngine == nullptr)
        return QJSValue();
    return m_scripter.Invoke(*m_pEngine, method, args);
}

} // namespace korvex
