#pragma once

#include <cstddef>
#include <string>

namespace korvex {

// Level of a script-log line; also the icon index of the script log.
enum ScriptLogLevel : int
{
    SL_INFORMATION = 0,
    SL_WARNING = 1,
    SL_ERROR = 2,
};

// One script-log line in transit from a script's thread to its log.
struct SScriptLogRecord
{
    static constexpr std::size_t kMaxText = 511; // characters
    static constexpr int kNoLine = -1;

    int nLevel{ SL_INFORMATION };
    std::string strText;  // UTF-8, at most kMaxText characters
    int nLine{ kNoLine }; // zero-based line of the script's text, or kNoLine

    // The text is cut to kMaxText characters, never inside a UTF-8 sequence.
    static SScriptLogRecord Make(int level, const std::string& text, int line);
};

// The line korvex-cli prints for a record: "S<TAB>title<TAB>level<TAB>line<TAB>text",
// carriage returns and line feeds of the text turned into blanks.
std::string FormatScriptLogLine(const std::string& title, const SScriptLogRecord& rec);

} // namespace korvex
