#include "script/ScriptText.h"

#include "core/Text.h"
#include "files/CodePage.h"

#include <vector>

namespace korvex {

namespace {

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t lf = text.find('\n', start);
        if (lf == std::string::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        std::size_t end = lf;
        if (end > start && text[end - 1] == '\r')
            --end;
        lines.push_back(text.substr(start, end - start));
        start = lf + 1;
    }
}

} // namespace

std::string DecodeScriptFile(const std::string& bytes)
{
    const std::string text = DecodeFileText(bytes);
    std::vector<std::string> lines = SplitLines(text);
    // Reading stops at the end of the file: text after the last LF is a
    // line only when there is some.
    if (lines.back().empty())
        lines.pop_back();
    std::string out;
    for (const std::string& line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

std::string EncodeScriptFile(const std::string& text)
{
    std::string joined;
    const std::vector<std::string> lines = SplitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            joined += "\r\n";
        joined += Utf8Left(lines[i], kMaxScriptLine);
    }
    return EncodeFileText(joined);
}

} // namespace korvex
