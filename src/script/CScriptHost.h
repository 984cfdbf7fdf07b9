#pragma once

#include <QJSValue>
#include <QObject>

class QJSEngine;

namespace korvex {

class CScripter;

// The QObject the engine of one run calls into: the MyObject prelude maps a
// method name to its number and calls call(number, arguments). Created, used
// and destroyed on the script's thread, for one run; the engine does not own it.
class CScriptHost final : public QObject
{
    Q_OBJECT

public:
    explicit CScriptHost(CScripter& scripter);

    void SetEngine(QJSEngine* engine) { m_pEngine = engine; }

    Q_INVOKABLE QJSValue call(int method, QJSValue args);

private:
    CScripter& m_scripter;
    QJSEngine* m_pEngine{ nullptr };
};

} // namespace korvex
