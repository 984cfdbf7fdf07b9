#include "files/RegisterMap.h"

#include "core/Text.h"
#include "core/Types.h"
#include "files/CodePage.h"
#include "files/TextFields.h"

#include <algorithm>
#include <array>
#include <optional>
#include <unordered_map>

namespace korvex {
namespace {

enum Column : int
{
    COL_KIND,
    COL_ADDRESS,
    COL_ID,
    COL_DESCRIPTION,
    COL_ACCESS,
    COL_MIN,
    COL_MAX,
    COL_VALUE,
    COL_TYPE,
    COL_COUNT,
};

constexpr std::array<const char*, COL_COUNT> kColumns = {
    "kind", "address", "id", "description", "access", "min", "max", "value", "type",
};

// A record of the file and the line it starts on.
struct SRecord
{
    int nLine{ 0 };
    std::vector<std::string> arFields;
};

// Cuts the text into records by RFC 4180: a field in double quotes may hold
// separators, line ends and doubled quotes. Blank lines are no records.
// False with the line of a quote that is never closed.
bool SplitRecords(std::string_view text, char sep, std::vector<SRecord>& records, int& badLine)
{
    int line = 1;
    std::size_t i = 0;
    while (i < text.size()) {
        SRecord rec;
        rec.nLine = line;
        std::string field;
        bool any = false;
        for (;;) {
            if (i < text.size() && text[i] == '"') {
                ++i;
                for (;;) {
                    if (i >= text.size()) {
                        badLine = rec.nLine;
                        return false;
                    }
                    if (text[i] == '"') {
                        if (i + 1 < text.size() && text[i + 1] == '"') {
                            field += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (text[i] == '\n')
                        ++line;
                    field += text[i++];
                }
                any = true;
            }
            // Unquoted characters, or what follows a closing quote.
            while (i < text.size() && text[i] != sep && text[i] != '\n')
                field += text[i++];
            if (i < text.size() && text[i] == sep) {
                rec.arFields.push_back(std::move(field));
                field.clear();
                any = true;
                ++i;
                continue;
            }
            break;
        }
        if (field.ends_with('\r'))
            field.pop_back();
        if (any || !field.empty())
            rec.arFields.push_back(std::move(field));
        if (i < text.size()) {
            ++i; // LF
            ++line;
        }
        // A row of empty fields (",,,", as spreadsheets leave them) is none.
        const bool blank =
            std::all_of(rec.arFields.begin(), rec.arFields.end(),
                        [](const std::string& f) { return TrimChars(f, " \t").empty(); });
        if (!blank)
            records.push_back(std::move(rec));
    }
    return true;
}

// The separator of the header line: semicolon when it has more of them than
// commas.
char DetectSeparator(std::string_view text)
{
    const std::string_view header = text.substr(0, text.find('\n'));
    std::size_t commas = 0, semicolons = 0;
    bool quoted = false;
    for (const char c : header) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == ',')
            ++commas;
        else if (!quoted && c == ';')
            ++semicolons;
    }
    return semicolons > commas ? ';' : ',';
}

const char* IdPrefix(std::int32_t type)
{
    switch (type) {
    case COIL: return "CO";
    case DINP: return "DI";
    case IREG: return "IR";
    default: return "HR";
    }
}

std::uint32_t CellKey(std::int32_t type, std::uint32_t addr)
{
    return static_cast<std::uint32_t>(type) << 16 | addr;
}

bool IsBits(std::int32_t type)
{
    return type == COIL || type == DINP;
}

// Reads the rows into the map; the state lives as long as one file.
class CMapReader
{
public:
    CMapReader(const std::string& fileName, char sep, SMapReadResult& result)
        : m_strFile(fileName), m_cSep(sep), m_result(result)
    {
    }

    bool ReadHeader(const SRecord& rec);
    void ReadRow(const SRecord& rec);

private:
    void Error(int line, const char* column, const std::string& reason)
    {
        m_result.arErrors.push_back(m_strFile + ":" + std::to_string(line) + ": " + column + ": " +
                                    reason);
    }
    std::string Field(const SRecord& rec, Column col) const
    {
        const int at = m_arIndex[col];
        if (at < 0 || static_cast<std::size_t>(at) >= rec.arFields.size())
            return std::string();
        return std::string(TrimChars(rec.arFields[static_cast<std::size_t>(at)], " \t"));
    }
    // A typed number of the row; semicolon files may use a decimal comma.
    std::string Number(const SRecord& rec, Column col, const SValueType& type) const
    {
        std::string text = Field(rec, col);
        if (m_cSep == ';' && !IsTextType(type))
            for (char& c : text)
                if (c == ',')
                    c = '.';
        return text;
    }
    bool ReadKindAndAddress(const SRecord& rec, std::int32_t& type, std::uint16_t& addr);

    std::string m_strFile;
    char m_cSep;
    SMapReadResult& m_result;
    std::array<int, COL_COUNT> m_arIndex{};
    // The line of the row that took a register, and the row's type and first
    // address, by kind and address.
    struct STaken
    {
        int nLine;
        SValueType type;
        std::uint16_t wFirst;
    };
    std::unordered_map<std::uint32_t, STaken> m_taken;
    std::array<std::unordered_map<std::string, int>, 4> m_ids;
};

bool CMapReader::ReadHeader(const SRecord& rec)
{
    m_arIndex.fill(-1);
    for (std::size_t i = 0; i < rec.arFields.size(); ++i) {
        const std::string_view name = TrimChars(rec.arFields[i], " \t\r");
        bool known = false;
        for (int col = 0; col < COL_COUNT; ++col) {
            if (!EqualsNoCase(name, kColumns[static_cast<std::size_t>(col)]))
                continue;
            known = true;
            if (m_arIndex[static_cast<std::size_t>(col)] >= 0)
                Error(rec.nLine, kColumns[static_cast<std::size_t>(col)], "столбец повторяется");
            m_arIndex[static_cast<std::size_t>(col)] = static_cast<int>(i);
        }
        if (!known)
            m_result.arWarnings.push_back(m_strFile + ":" + std::to_string(rec.nLine) + ": " +
                                          std::string(name) + ": неизвестный столбец пропущен");
    }
    if (m_arIndex[COL_ADDRESS] < 0)
        Error(rec.nLine, "address", "нет столбца");
    return m_result.arErrors.empty();
}

bool CMapReader::ReadKindAndAddress(const SRecord& rec, std::int32_t& type, std::uint16_t& addr)
{
    const std::string addrText = Field(rec, COL_ADDRESS);
    if (m_arIndex[COL_KIND] < 0) {
        // 00001..09999 coils, 10001.. discrete inputs, 30001.. input
        // registers, 40001.. holding registers.
        std::uint16_t regs[2] = {};
        const bool number = addrText.size() == 5 &&
                            EncodeValue(SValueType{ ValueKind::UInt32 }, addrText, regs).empty();
        const std::uint32_t n = static_cast<std::uint32_t>(regs[0]) << 16 | regs[1];
        static constexpr std::int32_t kByDigit[] = { COIL, DINP, -1, IREG, HREG };
        const std::int32_t kind = number && n / 10000 < 5 ? kByDigit[n / 10000] : -1;
        if (kind < 0 || n % 10000 == 0) {
            Error(rec.nLine, "address",
                  "\"" + addrText +
                      "\" не адрес 00001..09999, 10001..19999, 30001..39999 или 40001..49999");
            return false;
        }
        type = kind;
        addr = static_cast<std::uint16_t>(n % 10000 - 1);
        return true;
    }
    const std::string kindText = Field(rec, COL_KIND);
    type = ParseCellTypeName(kindText);
    bool ok = true;
    if (type < 0) {
        Error(rec.nLine, "kind",
              "неизвестный тип ячейки \"" + kindText + "\" (COIL, DINP, HREG, IREG)");
        ok = false;
    }
    if (std::string error =
            EncodeValue(SValueType{ ValueKind::UInt16 }, addrText, std::span(&addr, 1));
        !error.empty()) {
        Error(rec.nLine, "address", error);
        ok = false;
    }
    return ok;
}

void CMapReader::ReadRow(const SRecord& rec)
{
    const std::size_t errors = m_result.arErrors.size();
    std::int32_t kind = HREG;
    std::uint16_t addr = 0;
    const bool placed = ReadKindAndAddress(rec, kind, addr);

    SCellView view;
    const std::string typeText = Field(rec, COL_TYPE);
    if (!typeText.empty()) {
        if (const auto type = ParseValueType(typeText))
            view.type = *type;
        else {
            Error(rec.nLine, "type", "неизвестный тип \"" + typeText + "\"");
            return;
        }
    }
    if (placed && !FitsCellKind(view.type, kind)) {
        Error(rec.nLine, "type", "тип " + FormatValueType(view.type) + " только для регистров");
        return;
    }
    const auto count = static_cast<std::size_t>(RegisterCount(view.type));
    const bool wide = count > 1 || IsTextType(view.type);

    SCellFields first;
    first.nType = kind;
    first.wAddr = addr;
    first.strId = Field(rec, COL_ID);
    if (first.strId.empty())
        first.strId = IdPrefix(kind) + std::to_string(addr);
    // The device file cannot hold an empty description.
    first.strDesc = Field(rec, COL_DESCRIPTION);
    if (first.strDesc.empty())
        first.strDesc = CDevDoc::DefaultDescription(first.strId);
    const std::string accessText = Field(rec, COL_ACCESS);
    first.nAccess = kind == DINP || kind == IREG ? ACCESS_R : ACCESS_RW;
    if (!accessText.empty()) {
        first.nAccess = -1;
        for (std::int32_t access : { ACCESS_R, ACCESS_W, ACCESS_RW })
            if (EqualsNoCase(accessText, CellAccessName(access)))
                first.nAccess = access;
        if (first.nAccess < 0)
            Error(rec.nLine, "access", "неизвестный доступ \"" + accessText + "\" (R, W, RW)");
    }

    // Bounds: raw 16-bit ones in the cell when they can say them, else typed
    // ones in the view.
    const std::string minText = Number(rec, COL_MIN, view.type);
    const std::string maxText = Number(rec, COL_MAX, view.type);
    std::vector<std::uint16_t> low(count), high(count);
    std::uint16_t cellMin = 0, cellMax = IsBits(kind) ? 1 : 0xFFFF;
    bool boundsOk = true;
    if (IsTextType(view.type)) {
        for (const auto& [text, col] : { std::pair{ &minText, "min" }, { &maxText, "max" } })
            if (!text->empty()) {
                Error(rec.nLine, col, "у текста " + FormatValueType(view.type) + " нет границ");
                boundsOk = false;
            }
    } else {
        const auto bound = [&](const std::string& text, const char* col,
                               std::vector<std::uint16_t>& regs, std::uint16_t fallback) {
            if (text.empty()) {
                regs.assign(count, 0);
                regs[0] = fallback; // wide types: an empty bound is none, never compared
                return;
            }
            if (std::string error = EncodeValue(view.type, text, regs); !error.empty()) {
                Error(rec.nLine, col, error);
                boundsOk = false;
            } else if (count == 1 && IsBits(kind) && regs[0] > 1) {
                Error(rec.nLine, col, "\"" + text + "\" вне диапазона 0..1");
                boundsOk = false;
            }
        };
        // A missing bound of int16 is the end of its signed range.
        const bool signed16 = view.type.kind == ValueKind::Int16;
        bound(minText, "min", low, signed16 ? 0x8000 : cellMin);
        bound(maxText, "max", high, signed16 ? 0x7FFF : cellMax);
        if (boundsOk && count == 1 && low[0] < high[0]) {
            cellMin = low[0];
            cellMax = high[0];
        } else if (boundsOk && (count > 1 || view.type.kind == ValueKind::Int16) &&
                   (minText.empty() || maxText.empty() ||
                    CompareValues(view.type, low, high) < 0)) {
            // Bounds the cells cannot hold: kept typed, in the view.
            if (!minText.empty())
                view.strMin = DecodeValue(view.type, low);
            if (!maxText.empty())
                view.strMax = DecodeValue(view.type, high);
        } else if (boundsOk) {
            Error(rec.nLine, "min",
                  "нижняя граница " + DecodeValue(view.type, low) + " не ниже верхней " +
                      DecodeValue(view.type, high));
            boundsOk = false;
        }
    }
    first.wMin = wide ? 0 : cellMin;
    first.wMax = wide ? 0xFFFF : cellMax;

    std::vector<std::uint16_t> regs(count, 0);
    const std::string valueText = Number(rec, COL_VALUE, view.type);
    if (!valueText.empty()) {
        if (std::string error = EncodeValue(view.type, valueText, regs); !error.empty()) {
            Error(rec.nLine, "value", error);
        } else if (boundsOk && !IsTextType(view.type)) {
            const bool typed = !view.strMin.empty() || !view.strMax.empty();
            const bool below =
                typed ? !view.strMin.empty() && !(CompareValues(view.type, regs, low) >= 0)
                      : regs[0] < cellMin;
            const bool above =
                typed ? !view.strMax.empty() && !(CompareValues(view.type, regs, high) <= 0)
                      : regs[0] > cellMax;
            if (below || above) {
                const std::string lo = typed ? view.strMin : DecodeValue(view.type, low);
                const std::string hi = typed ? view.strMax : DecodeValue(view.type, high);
                Error(rec.nLine, "value", "\"" + valueText + "\" вне границ " + lo + ".." + hi);
            }
        }
    } else if (!IsTextType(view.type)) {
        // No value: 0, or the low bound when 0 lies below it.
        if (count == 1 && view.strMin.empty())
            regs[0] = cellMin;
        else if (!view.strMin.empty() && CompareValues(view.type, regs, low) < 0)
            regs = low;
    }

    if (!placed)
        return;
    // Every register the row takes, with the ID of each.
    if (addr + count - 1 > 0xFFFF) {
        Error(rec.nLine, "type",
              FormatValueType(view.type) + " с адреса " + std::to_string(addr) +
                  " выходит за адрес 65535");
        return;
    }
    std::vector<SCellFields> cells;
    for (std::size_t i = 0; i < count; ++i) {
        SCellFields f = first;
        f.wAddr = static_cast<std::uint16_t>(addr + i);
        f.wValue = regs[i];
        if (i > 0) {
            f.strId = IdPrefix(kind) + std::to_string(f.wAddr);
            f.strDesc = CDevDoc::DefaultDescription(f.strId);
        }
        const auto [it, added] =
            m_taken.try_emplace(CellKey(kind, f.wAddr), STaken{ rec.nLine, view.type, addr });
        if (!added) {
            const STaken& other = it->second;
            const std::string where =
                std::string(CellTypeName(kind)) + " " + std::to_string(f.wAddr);
            if (i > 0)
                Error(rec.nLine, "type",
                      FormatValueType(view.type) + " занимает " + where + ", заданный в строке " +
                          std::to_string(other.nLine));
            else if (other.wFirst != f.wAddr)
                Error(rec.nLine, "address",
                      where + " занят значением " + FormatValueType(other.type) + " из строки " +
                          std::to_string(other.nLine));
            else
                Error(rec.nLine, "address",
                      where + " уже задан в строке " + std::to_string(other.nLine));
            return;
        }
        const auto [idIt, idAdded] =
            m_ids[static_cast<std::size_t>(kind)].try_emplace(f.strId, rec.nLine);
        if (!idAdded) {
            Error(rec.nLine, "id",
                  "\"" + f.strId + "\" уже задан в строке " + std::to_string(idIt->second));
            return;
        }
        cells.push_back(std::move(f));
    }
    if (m_result.arErrors.size() != errors)
        return;
    for (SCellFields& f : cells)
        m_result.map.arCells.push_back(std::move(f));
    if (!view.IsDefault())
        m_result.map.arViews.push_back({ kind, addr, view });
}

// A field as CSV writes it: quoted when it holds a comma, a quote, a line end
// or blanks at its ends.
std::string CsvField(const std::string& text)
{
    const bool quote = text.find_first_of(",\"\r\n") != std::string::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote)
        return text;
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

} // namespace

SMapReadResult ReadRegisterMap(std::string_view bytes, const std::string& fileName)
{
    SMapReadResult result;
    const std::string text = DecodeFileText(bytes);
    const char sep = DetectSeparator(text);
    std::vector<SRecord> records;
    int badLine = 0;
    if (!SplitRecords(text, sep, records, badLine)) {
        result.arErrors.push_back(fileName + ":" + std::to_string(badLine) +
                                  ": кавычка не закрыта");
        return result;
    }
    if (records.empty()) {
        result.arErrors.push_back(fileName + ":1: нет строки заголовка");
        return result;
    }
    CMapReader reader(fileName, sep, result);
    if (!reader.ReadHeader(records.front()))
        return result;
    for (std::size_t i = 1; i < records.size(); ++i)
        reader.ReadRow(records[i]);
    if (!result.arErrors.empty())
        result.map = SRegisterMap{};
    return result;
}

std::vector<std::string> CheckRegisterMapFor(const CDevDoc& doc, const SRegisterMap& map,
                                             const std::string& fileName)
{
    std::vector<std::string> errors;
    std::lock_guard lock(doc.Lock());
    for (const SCellFields& f : map.arCells)
        if (const CellEditError e = doc.ValidateItem(f, true); e != CellEditError::None)
            errors.push_back(StrFormat("%s: %s 0x%X (%s): %s", fileName.c_str(),
                                       CellTypeName(f.nType), f.wAddr, f.strId.c_str(),
                                       CDevDoc::GetCellEditMessage(e)));
    return errors;
}

void ApplyRegisterMap(CDevDoc& doc, const SRegisterMap& map)
{
    std::lock_guard lock(doc.Lock());
    for (const SCellFields& f : map.arCells)
        doc.AddItem(f);
    for (const SCellViewAt& at : map.arViews)
        doc.SetCellView(at.nType, at.wAddr, at.view);
}

std::string FormatRegisterMap(const CDevDoc& doc)
{
    std::lock_guard lock(doc.Lock());
    std::string out = "kind,address,id,description,access,min,max,value,type\r\n";
    // A view over several registers holds when the device has them all; the
    // registers after the first then have no row of their own.
    const auto holds = [&doc](std::int32_t kind, std::uint16_t addr, const SCellView& view) {
        const std::int32_t count = RegisterCount(view.type);
        for (std::int32_t i = 0; i < count; ++i)
            if (addr + i > 0xFFFF ||
                doc.FindItem(kind, static_cast<std::uint16_t>(addr + i)) == nullptr)
                return false;
        return true;
    };
    std::unordered_map<std::uint32_t, bool> covered;
    for (const SCellViewAt& at : doc.GetCellViews()) {
        if (!holds(at.nType, at.wAddr, at.view))
            continue;
        for (std::int32_t i = 1; i < RegisterCount(at.view.type); ++i)
            covered[CellKey(at.nType, static_cast<std::uint32_t>(at.wAddr + i))] = true;
    }
    for (const auto& item : doc.Items()) {
        const std::int32_t kind = item->GetType();
        if (covered.contains(CellKey(kind, item->GetAddr())))
            continue;
        SCellView view = doc.GetCellView(kind, item->GetAddr());
        if (!holds(kind, item->GetAddr(), view))
            view = SCellView{};
        std::vector<std::uint16_t> regs;
        for (std::int32_t i = 0; i < RegisterCount(view.type); ++i)
            regs.push_back(
                doc.FindItem(kind, static_cast<std::uint16_t>(item->GetAddr() + i))->GetValue());
        const std::string value = DecodeValue(view.type, regs);
        const auto raw = [&](std::uint16_t v) {
            const std::uint16_t regs[1] = { v };
            return DecodeValue(view.type, regs);
        };
        std::string min = view.strMin, max = view.strMax;
        if (RegisterCount(view.type) == 1 && !IsTextType(view.type) && min.empty() && max.empty()) {
            min = raw(item->GetMin());
            max = raw(item->GetMax());
        }
        out += std::string(CellTypeName(kind)) + ',' + std::to_string(item->GetAddr()) + ',' +
               CsvField(item->GetId()) + ',' + CsvField(item->GetDesc()) + ',' +
               CellAccessName(item->GetAccess()) + ',' + CsvField(min) + ',' + CsvField(max) + ',' +
               CsvField(value) + ',' + FormatValueType(view.type) + "\r\n";
    }
    return out;
}

} // namespace korvex
