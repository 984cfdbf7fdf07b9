#include "files/DevFile.h"

#include "core/CArchive.h"
#include "core/CDevDoc.h"
#include "core/ILineSink.h"
#include "core/SSettings.h"
#include "core/Text.h"
#include "core/Types.h"
#include "core/Version.h"
#include "files/CDevFileFormat.h"
#include "files/CodePage.h"
#include "files/TextFields.h"
#include "files/TypeFile.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace korvex {
namespace {

constexpr const char* kTypeError =
    "Задан неверный тип ячейки (первый параметр)! Допустимы: COIL,DINP,HREG,IREG.";
// The first letter is a Latin O, as the Windows program writes it.
constexpr const char* kFormatError = "Oшибка формата файла устройства, не хватает параметров!";

constexpr std::size_t kCellFields = 7;

// The header after its first line; the rule line comes again last.
constexpr std::array<const char*, 14> kHeaderBody = {
    "// Разделителями в файле является знак такуляции <Tab> ACSII(9)",
    "// В начале файла должен быть идентификатор и адрес устройства:",
    "// <ID_устройства>  <tab>  <адрес_485> ",
    "// Далее допустимые строки в файле:",
    "// <тип> <tab> <описание> <tab> <ID> <tab> <адрес> <tab> <RW> <tab> <границы> <tab> "
    "<значение> <tab>",
    "// где:",
    "// <тип> - ключевое слово: COIL, DINP, IREG, HREG.",
    "// <описание> - строка расшифровки значения, например 'давление масла'.",
    "// <адрес> - адрес ячейки в терминах MODBUS (здесь и далее все числа десятичные).",
    "// <ID> - идентификатор устройства, по нему идёт обращение из скриптов.",
    "// <RW> - ключевое слово R, W или RW. Указывает возможность обращения к ячейке.",
    "// <границы> - допустимые пределы изменения (проверяется при записи), пример: 0-101",
    "// <значение> - начальное знечение ячейке при загрузке.",
    "// Внимаение! При заполнении файла пропуск значений не допускается!",
};

constexpr std::string_view kEol = "\r\n";

// An unknown keyword gives RW.
std::int32_t ParseCellAccess(std::string_view field)
{
    const std::string_view word = TrimChars(field, kWhiteSpace);
    for (std::int32_t access : { ACCESS_R, ACCESS_W })
        if (EqualsNoCase(word, CellAccessName(access)))
            return access;
    return ACCESS_RW;
}

std::uint16_t Low16(std::int32_t value)
{
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) & 0xFFFF);
}

// "low-high": a missing low bound is 0, a missing high bound 65535, parts
// after the second are ignored, and reversed bounds are swapped. A "-" is
// therefore never a sign.
std::pair<std::uint16_t, std::uint16_t> ParseBounds(std::string_view field)
{
    const std::vector<std::string> parts = SplitFields(field, "-");
    std::uint16_t low = parts.size() >= 1 ? Low16(ParseNumber(parts[0])) : 0;
    std::uint16_t high = parts.size() >= 2 ? Low16(ParseNumber(parts[1])) : 0xFFFF;
    if (high < low)
        std::swap(low, high);
    return { low, high };
}

bool StartsWithDigit(std::string_view field)
{
    const std::string_view trimmed = TrimChars(field, kWhiteSpace);
    return !trimmed.empty() && trimmed.front() >= '0' && trimmed.front() <= '9';
}

void ReadLine(CDevDoc& doc, std::string_view line, ILineSink& lines)
{
    line = TrimChars(line, " \t");
    if (line.empty() || line.starts_with("//"))
        return;

    const std::vector<std::string> fields = SplitFields(line, "\t");
    if (fields.size() >= kCellFields) {
        const std::int32_t type = ParseCellTypeName(fields[0]);
        if (type < 0) {
            lines.AddLine(LK_WARNING, doc.GetTitle(), -1, kTypeError);
            return;
        }
        const std::uint16_t addr = Low16(ParseNumber(fields[3]));
        const std::int32_t access = ParseCellAccess(fields[4]);
        const auto [low, high] = ParseBounds(fields[5]);
        const std::uint16_t value = std::clamp(Low16(ParseNumber(fields[6])), low, high);
        doc.AddItem(type, fields[2], fields[1], addr, access, low, high, value);
        return;
    }
    if (fields.size() >= 2 && StartsWithDigit(fields[1])) {
        doc.SetDevId(fields[0]);
        doc.SetDevAddr(static_cast<std::uint8_t>(ParseNumber(fields[1]) & 0xFF));
        return;
    }
    lines.AddLine(LK_WARNING, doc.GetTitle(), -1, kFormatError);
}

// Calls fn with every line of the text; a line ends with LF or CR LF.
template <typename Fn> void ForEachLine(std::string_view text, Fn fn)
{
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (!fn(line))
            return;
    }
}

// No control characters but TAB, CR and LF, and a device line before the
// first cell line (or no cell line at all).
bool IsDevFileText(std::string_view text)
{
    if (HoldsControlCharacters(text))
        return false;
    bool device = false;
    bool cellFirst = false;
    ForEachLine(text, [&](std::string_view line) {
        const std::string_view blankless = TrimChars(line, " ");
        line = TrimChars(line, " \t");
        if (line.empty() || line.starts_with("//"))
            return true;
        const std::vector<std::string> fields = SplitFields(line, "\t");
        // "<tab><address>": the Windows program's device line of an empty ID.
        const bool emptyId = blankless.starts_with('\t') && fields.size() == 1;
        if (fields.size() >= kCellFields)
            cellFirst = true;
        else if ((fields.size() >= 2 || emptyId) && StartsWithDigit(fields[emptyId ? 0 : 1]))
            device = true;
        return !device && !cellFirst;
    });
    return !cellFirst;
}

// The comment header and the device line, "%s\t%s": ID, address.
std::string FormatDevHead(const std::string& id, std::uint8_t addr, bool hex,
                          const std::string& version)
{
    const std::string rule = "// " + std::string(107, '-');
    std::string out;
    out += StrFormat("// Файл устройства эмулятора MODBUS-slave Korvex версии %s", version.c_str());
    out += kEol;
    out += rule;
    out += kEol;
    for (const char* line : kHeaderBody) {
        out += line;
        out += kEol;
    }
    out += rule;
    out += kEol;
    out += id + '\t' + FormatNumber(addr, hex, -1);
    out += kEol;
    return out;
}

} // namespace

bool LoadDevFile(CDevDoc& doc, std::string_view text, ILineSink& lines)
{
    std::lock_guard lock(doc.Lock());
    if (!IsDevFileText(text)) {
        lines.AddLine(LK_WARNING, doc.GetTitle(), -1, kFormatError);
        return false;
    }
    ForEachLine(text, [&](std::string_view line) {
        ReadLine(doc, line, lines);
        return true;
    });
    return true;
}

std::string FormatEmptyDevFile(const std::string& id, std::uint8_t addr, bool hex,
                               const std::string& version)
{
    return FormatDevHead(id, addr, hex, version);
}

std::string FormatDevFile(const CDevDoc& doc, bool hex, const std::string& version)
{
    std::lock_guard lock(doc.Lock());
    const auto number = [hex](unsigned value) {
        return FormatNumber(static_cast<std::uint16_t>(value), hex, -1);
    };

    std::string out = FormatDevHead(doc.GetDevId(), doc.GetDevAddr(), hex, version);
    // "%s\t%s\t%s\t%s\t%s\t%s-%s\t%s": type, description, ID, address, access,
    // low bound, high bound, value; no trailing tab.
    for (const auto& item : doc.Items()) {
        out += CellTypeName(item->GetType());
        out += '\t' + item->m_strDesc;
        out += '\t' + item->GetId();
        out += '\t' + number(item->GetAddr());
        out += '\t';
        out += CellAccessName(item->GetAccess());
        out += '\t' + number(item->GetMin()) + '-' + number(item->GetMax());
        out += '\t' + number(item->GetValue());
        out += kEol;
    }
    return out;
}

bool CDevFileFormat::Load(CDevDoc& doc, CArchive& ar) const
{
    if (!LoadDevFile(doc, DecodeFileText(ar.GetBytes()), m_lines))
        return false;
    LoadTypeFile(doc, ar.GetFilePath(), m_lines);
    return true;
}

bool CDevFileFormat::Store(const CDevDoc& doc, CArchive& ar) const
{
    const bool hex = m_settings.EDITHEX != 0;
    ar.Write(EncodeFileText(FormatDevFile(doc, hex, GetVersionText())));
    return true;
}

std::string CDevFileFormat::StoreBeside(const CDevDoc& doc, const std::string& path) const
{
    return StoreTypeFile(doc, path);
}

} // namespace korvex
