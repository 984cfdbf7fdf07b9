#include "script/ScriptEnvironment.h"

#include <QByteArray>
#include <QtGlobal>

namespace korvex {

void PrepareScriptEnvironment()
{
    qputenv("QV4_FORCE_INTERPRETER", QByteArrayLiteral("1"));
}

} // namespace korvex
