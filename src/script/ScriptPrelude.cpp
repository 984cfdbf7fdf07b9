#include "script/ScriptPrelude.h"

#include "script/CScripter.h"

namespace korvex {

QString BuildMyObjectPrelude()
{
    QString ids;
    for (int method = 1; method <= CScripter::kMethodCount; ++method) {
        if (!ids.isEmpty())
            ids += QLatin1String(", ");
        ids += QStringLiteral("%1: %2")
                   .arg(QString::fromLatin1(CScripter::GetMethodName(method)).toLower())
                   .arg(method);
    }
    // The table has no prototype, so "constructor" or "tostring" are no
    // method names. MyObject reads as "[object MyObject]" (in an error about
    // a method it does not have, for one). Functions are made once per method, so MyObject.Sleep
    // === MyObject.sleep.
    return QStringLiteral("(function (host) {\n"
                          "    var ids = Object.create(null);\n"
                          "    var table = { %1 };\n"
                          "    for (var key in table)\n"
                          "        ids[key] = table[key];\n"
                          "    var methods = Object.create(null);\n"
                          "    function make(id) {\n"
                          "        return function () { return host.call(id, arguments); };\n"
                          "    }\n"
                          "    return new Proxy({}, {\n"
                          "        get: function (target, name) {\n"
                          "            if (name === Symbol.toPrimitive)\n"
                          "                return function () { return '[object MyObject]'; };\n"
                          "            if (typeof name !== 'string')\n"
                          "                return undefined;\n"
                          "            var key = name.toLowerCase();\n"
                          "            var id = ids[key];\n"
                          "            if (id === undefined)\n"
                          "                return undefined;\n"
                          "            var fn = methods[key];\n"
                          "            if (fn === undefined)\n"
                          "                fn = methods[key] = make(id);\n"
                          "            return fn;\n"
                          "        },\n"
                          "        set: function () { return true; },\n"
                          "        has: function (target, name) {\n"
                          "            return typeof name === 'string' && ids[name.toLowerCase()] "
                          "!== undefined;\n"
                          "        }\n"
                          "    });\n"
                          "})")
        .arg(ids);
}

int FindScriptLineInStack(const QString& stack)
{
    const QStringList frames = stack.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& frame : frames) {
        const qsizetype at = frame.lastIndexOf(QLatin1Char('@'));
        const QString where = at < 0 ? frame : frame.mid(at + 1);
        if (where.contains(QLatin1String(kPreludeFileName)))
            continue;
        const qsizetype colon = where.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            continue;
        bool ok = false;
        const int line = where.mid(colon + 1).toInt(&ok);
        if (ok && line > 0)
            return line;
    }
    return -1;
}

namespace {

// Reads ":number" at text[pos]; moves pos past it.
bool ReadColonNumber(const QString& text, qsizetype& pos, int& value)
{
    if (pos >= text.size() || text[pos] != QLatin1Char(':'))
        return false;
    qsizetype i = pos + 1;
    const qsizetype start = i;
    if (i < text.size() && text[i] == QLatin1Char('-'))
        ++i;
    const qsizetype digits = i;
    while (i < text.size() && text[i].isDigit())
        ++i;
    if (i == digits)
        return false;
    value = text.mid(start, i - start).toInt();
    pos = i;
    return true;
}

} // namespace

int FindScriptLineInTrace(const QStringList& trace)
{
    // The function name may hold colons; the url holds no ":line:column:",
    // so the last such group is the position.
    for (const QString& frame : trace) {
        for (qsizetype at = frame.lastIndexOf(QLatin1Char(':')); at >= 0;
             at = at > 0 ? frame.lastIndexOf(QLatin1Char(':'), at - 1) : -1) {
            qsizetype pos = at;
            int line = 0;
            int column = 0;
            if (!ReadColonNumber(frame, pos, line) || !ReadColonNumber(frame, pos, column) ||
                pos >= frame.size() || frame[pos] != QLatin1Char(':'))
                continue;
            if (frame.mid(pos + 1).contains(QLatin1String(kPreludeFileName)))
                break;
            if (line > 0)
                return line;
            break;
        }
    }
    return -1;
}

} // namespace korvex
