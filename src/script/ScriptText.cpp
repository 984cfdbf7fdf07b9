#include "script/ScriptText.h"

#include "core/Text.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <vector>

namespace korvex {

namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

bool HasNonAscii(const std::string& bytes)
{
    for (unsigned char c : bytes)
        if (c >= 0x80)
            return true;
    return false;
}

// The file's text as UTF-8.
std::string FileBytesToUtf8(const std::string& bytes)
{
    if (bytes.compare(0, 3, kUtf8Bom) == 0)
        return bytes.substr(3);
    if (!HasNonAscii(bytes))
        return bytes;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString asUtf8 = utf8.decode(QByteArrayView(bytes.data(), bytes.size()));
    if (!utf8.hasError())
        return asUtf8.toStdString();
    QStringDecoder cp1251("windows-1251");
    const QString text = cp1251.decode(QByteArrayView(bytes.data(), bytes.size()));
    return text.toStdString();
}

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
    const std::string text = FileBytesToUtf8(bytes);
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
    if (!HasNonAscii(joined))
        return joined;
    QStringEncoder cp1251("windows-1251");
    const QByteArray encoded = cp1251.encode(QString::fromStdString(joined));
    if (!cp1251.hasError())
        return encoded.toStdString();
    return kUtf8Bom + joined;
}


} // namespace korvex
