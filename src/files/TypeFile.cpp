#include "files/TypeFile.h"

#include "core/FileIo.h"
#include "core/ILineSink.h"
#include "core/Text.h"
#include "core/Types.h"
#include "files/CodePage.h"
#include "files/TextFields.h"

#include <cerrno>
#include <unistd.h>

namespace korvex {
namespace {

constexpr std::string_view kEol = "\r\n";

constexpr const char* kHeader[] = {
    "// Типы значений ячеек устройства Korvex; файл лежит рядом с файлом устройства.",
    "// <тип> <tab> <адрес> <tab> <тип значения> [<tab> <нижняя граница> <tab> <верхняя "
    "граница>]",
    "// Типы значений: hex, uint16, int16, bin; uint32, int32, float32, uint64, int64, float64",
    "// с порядком :ABCD, :CDAB, :BADC или :DCBA; ascii:N (N регистров), ascii:N:BADC.",
};

// Fields at every tab: an empty bound between two tabs stays a field.
std::vector<std::string_view> SplitAtTabs(std::string_view line)
{
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos)
            return fields;
        line.remove_prefix(tab + 1);
    }
}

std::string FileName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The reason the line is not a view, empty when it is one.
std::string ParseLine(std::string_view line, SCellViewAt& at)
{
    const std::vector<std::string_view> fields = SplitAtTabs(line);
    if (fields.size() < 3 || fields.size() > 5)
        return "ожидается <тип> <tab> <адрес> <tab> <тип значения> [<tab> <границы>]";
    at.nType = ParseCellTypeName(fields[0]);
    if (at.nType < 0)
        return "неизвестный тип ячейки \"" + std::string(fields[0]) + "\"";
    std::uint16_t addr = 0;
    if (std::string error =
            EncodeValue(SValueType{ ValueKind::UInt16 }, fields[1], std::span(&addr, 1));
        !error.empty())
        return "адрес: " + error;
    at.wAddr = addr;
    const auto type = ParseValueType(fields[2]);
    if (!type)
        return "неизвестный тип значения \"" + std::string(TrimChars(fields[2], " ")) + "\"";
    at.view.type = *type;
    at.view.strMin = fields.size() > 3 ? std::string(TrimChars(fields[3], " ")) : std::string();
    at.view.strMax = fields.size() > 4 ? std::string(TrimChars(fields[4], " ")) : std::string();
    return CheckCellView(at.nType, at.view);
}

} // namespace

std::string TypeFilePath(const std::string& devPath)
{
    const std::size_t slash = devPath.rfind('/');
    const std::size_t dot = devPath.rfind('.');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasExt ? devPath.substr(0, dot) : devPath) + ".kvxt";
}

std::string CheckCellView(std::int32_t cellType, const SCellView& view)
{
    const std::string name = FormatValueType(view.type);
    if (!FitsCellKind(view.type, cellType))
        return "тип " + name + " только для регистров";
    if (IsTextType(view.type)) {
        if (!view.strMin.empty() || !view.strMax.empty())
            return "у текста " + name + " нет границ";
        return std::string();
    }
    std::vector<std::uint16_t> low(4), high(4);
    for (const auto& [text, regs] : { std::pair{ &view.strMin, &low }, { &view.strMax, &high } })
        if (!text->empty())
            if (std::string error = EncodeValue(view.type, *text, *regs); !error.empty())
                return "граница " + error;
    if (!view.strMin.empty() && !view.strMax.empty() && !(CompareValues(view.type, low, high) < 0))
        return "нижняя граница " + view.strMin + " не ниже верхней " + view.strMax;
    return std::string();
}

std::optional<std::vector<SCellViewAt>> ParseTypeFile(std::string_view text, std::string& error)
{
    std::vector<SCellViewAt> views;
    int lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        const std::size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        const std::string_view trimmed = TrimChars(line, " ");
        if (trimmed.empty() || trimmed.starts_with("//"))
            continue;
        SCellViewAt at;
        if (std::string reason = ParseLine(trimmed, at); !reason.empty()) {
            error = "строка " + std::to_string(lineNo) + ": " + reason;
            return std::nullopt;
        }
        views.push_back(std::move(at));
    }
    return views;
}

std::string FormatTypeFile(const std::vector<SCellViewAt>& views)
{
    std::string out;
    for (const char* line : kHeader) {
        out += line;
        out += kEol;
    }
    for (const SCellViewAt& at : views) {
        out += CellTypeName(at.nType);
        out += '\t' + std::to_string(at.wAddr) + '\t' + FormatValueType(at.view.type);
        if (!at.view.strMin.empty() || !at.view.strMax.empty())
            out += '\t' + at.view.strMin + '\t' + at.view.strMax;
        out += kEol;
    }
    return out;
}

void LoadTypeFile(CDevDoc& doc, const std::string& devPath, ILineSink& lines)
{
    const std::string path = TypeFilePath(devPath);
    std::string bytes;
    const int readError = ReadWholeFile(path, bytes);
    if (readError == ENOENT)
        return;
    std::string reason;
    std::optional<std::vector<SCellViewAt>> views;
    if (readError != 0)
        reason = ErrorText(readError);
    else
        views = ParseTypeFile(DecodeFileText(bytes), reason);
    if (!views) {
        lines.AddLine(LK_WARNING, doc.GetTitle(), -1,
                      StrFormat("Файл типов \"%s\" не прочитан (%s), ячейки показаны без типов",
                                FileName(path).c_str(), reason.c_str()));
        return;
    }
    for (const SCellViewAt& at : *views)
        doc.SetCellView(at.nType, at.wAddr, at.view);
}

std::string StoreTypeFile(const CDevDoc& doc, const std::string& devPath)
{
    const std::string path = TypeFilePath(devPath);
    std::vector<SCellViewAt> views;
    for (SCellViewAt& at : doc.GetCellViews())
        if (doc.FindItem(at.nType, at.wAddr) != nullptr)
            views.push_back(std::move(at));
    int error = 0;
    if (!views.empty())
        error = ReplaceFile(path, EncodeFileText(FormatTypeFile(views)));
    else if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        error = errno;
    if (error == 0)
        return std::string();
    return StrFormat("Не удаётся сохранить файл \"%s\": %s", path.c_str(),
                     ErrorText(error).c_str());
}

} // namespace korvex
