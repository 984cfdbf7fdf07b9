#include "script/SScriptLogRecord.h"

#include "core/Text.h"

namespace korvex {

SScriptLogRecord SScriptLogRecord::Make(int level, const std::string& text, int line)
{
    SScriptLogRecord rec;
    rec.nLevel = level;
    rec.strText = Utf8Left(text, kMaxText);
    rec.nLine = line;
    return rec;
}

std::string FormatScriptLogLine(const std::string& title, const SScriptLogRecord& rec)
{
    std::string text = rec.strText;
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    return StrFormat("S\t%s\t%d\t%d\t%s", title.c_str(), rec.nLevel, rec.nLine, text.c_str());
}

} // namespace korvex
