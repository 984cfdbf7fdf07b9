// Every function here runs on the thread of the script that calls MyObject.

#include "script/CScripter.h"

#include "core/ValueType.h"

#include "core/CDevDoc.h"
#include "core/Crc16.h"
#include "core/IScriptHost.h"
#include "core/Text.h"
#include "core/Types.h"
#include "script/CScriptDoc.h"
#include "script/SScriptLogRecord.h"
#include "script/ScriptPrelude.h"
#include "script/ScriptVariant.h"

#include <QJSEngine>

#include <cmath>
#include <optional>

namespace korvex {

namespace {

enum class Param
{
    U32,
    Double,
    Any,
};

struct SMethodInfo
{
    const char* szName;
    int nParams;
    Param params[4];
};

// In the order of the method numbers, 1 to 34.
constexpr SMethodInfo kMethods[CScripter::kMethodCount] = {
    { "Sleep", 1, { Param::U32 } },
    { "ExitScript", 0, {} },
    { "Hex", 1, { Param::U32 } },
    { "DbgSend", 1, { Param::Any } },
    { "DbgSendCRC", 1, { Param::Any } },
    { "Send", 1, { Param::Any } },
    { "SendCRC", 1, { Param::Any } },
    { "Abs", 1, { Param::Double } },
    { "Sin", 1, { Param::Double } },
    { "Cos", 1, { Param::Double } },
    { "Log10", 1, { Param::Double } },
    { "Pow", 2, { Param::Double, Param::Double } },
    { "Sqrt", 1, { Param::Double } },
    { "Ceil", 1, { Param::Double } },
    { "Floor", 1, { Param::Double } },
    { "Print", 1, { Param::Any } },
    { "GetCOIL", 2, { Param::Any, Param::Any } },
    { "SetCOIL", 3, { Param::Any, Param::Any, Param::U32 } },
    { "GetDINP", 2, { Param::Any, Param::Any } },
    { "SetDINP", 3, { Param::Any, Param::Any, Param::U32 } },
    { "GetHREG", 2, { Param::Any, Param::Any } },
    { "SetHREG", 3, { Param::Any, Param::Any, Param::U32 } },
    { "GetIREG", 2, { Param::Any, Param::Any } },
    { "SetIREG", 3, { Param::Any, Param::Any, Param::U32 } },
    { "SetFault", 2, { Param::Any, Param::Any } },
    { "GetFloat", 3, { Param::Any, Param::Any, Param::Any } },
    { "SetFloat", 4, { Param::Any, Param::Any, Param::Double, Param::Any } },
    { "GetDouble", 3, { Param::Any, Param::Any, Param::Any } },
    { "SetDouble", 4, { Param::Any, Param::Any, Param::Double, Param::Any } },
    { "GetInt32", 3, { Param::Any, Param::Any, Param::Any } },
    { "SetInt32", 4, { Param::Any, Param::Any, Param::Double, Param::Any } },
    { "GetUInt32", 3, { Param::Any, Param::Any, Param::Any } },
    { "SetUInt32", 4, { Param::Any, Param::Any, Param::Double, Param::Any } },
    { "GetCounters", 1, { Param::Any } },
};

// The codec's type of a typed method pair.
const char* TypedMethodType(int method)
{
    switch ((method - CScripter::M_GETFLOAT) / 2) {
    case 0: return "float32";
    case 1: return "float64";
    case 2: return "int32";
    default: return "uint32";
    }
}

constexpr char kArrayError[] =
    "В функции DbgSend(),DbgSendCRC(),Send(),SendCRC() можно передавать только массивы!";

bool StartsWithDigit(const QString& text)
{
    return !text.isEmpty() && text[0] >= QLatin1Char('0') && text[0] <= QLatin1Char('9');
}

// The cell type of a Get or Set method: they come in pairs, COIL first.
std::int32_t CellTypeOf(int method)
{
    return static_cast<std::int32_t>((method - CScripter::M_GETCOIL) / 2);
}

// One argument after conversion.
struct SArg
{
    std::optional<QJSValue> any; // empty: missing
    std::uint32_t dwValue{ 0 };
    double dValue{ 0.0 };
};

} // namespace

CScripter::CScripter(CScriptDoc& doc) : m_doc(doc) {}

const char* CScripter::GetMethodName(int method)
{
    if (method < 1 || method > kMethodCount)
        return nullptr;
    return kMethods[method - 1].szName;
}

void CScripter::ThrowRunTimeError(QJSEngine& engine, QJSValue::ErrorType type,
                                  const QString& description)
{
    // An error made here carries the prelude's position; the script's line
    // is the first frame below it.
    QJSValue error = engine.newErrorObject(type, description);
    const int line = FindScriptLineInStack(error.property(QStringLiteral("stack")).toString());
    if (line > 0)
        error.setProperty(QStringLiteral("lineNumber"), line);
    engine.throwError(error);
}

QJSValue CScripter::Invoke(QJSEngine& engine, int method, const QJSValue& args)
{
    if (method < 1 || method > kMethodCount || m_doc.IsEngineClosed())
        return QJSValue();
    const SMethodInfo& info = kMethods[method - 1];

    const int given = args.property(QStringLiteral("length")).toInt();
    if (given > info.nParams) {
        ThrowRunTimeError(engine, QJSValue::GenericError, QLatin1String(kBadParamCount));
        return QJSValue();
    }
    SArg arg[4];
    for (int i = 0; i < info.nParams; ++i) {
        if (i >= given) {
            if (info.params[i] != Param::Any) {
                ThrowRunTimeError(engine, QJSValue::GenericError, QLatin1String(kParamNotOptional));
                return QJSValue();
            }
            continue;
        }
        const QJSValue value = args.property(static_cast<quint32>(i));
        ScriptConv conv = ScriptConv::Ok;
        switch (info.params[i]) {
        case Param::U32: conv = ScriptToU32(value, arg[i].dwValue); break;
        case Param::Double: conv = ScriptToDouble(value, arg[i].dValue); break;
        case Param::Any: arg[i].any = value; break;
        }
        if (conv == ScriptConv::TypeMismatch) {
            ThrowRunTimeError(engine, QJSValue::TypeError, QLatin1String(kTypeMismatch));
            return QJSValue();
        }
        if (conv == ScriptConv::Overflow) {
            ThrowRunTimeError(engine, QJSValue::RangeError, QLatin1String(kOverflow));
            return QJSValue();
        }
    }

    // Get, Set, SetFault and Print need their any arguments: a missing one
    // cannot be turned into text. The send methods take a missing array as no array.
    const int needed = method == M_PRINT || method == M_GETCOUNTERS ? 1
                       : method >= M_GETCOIL                        ? 2
                                                                    : 0;
    for (int i = 0; i < needed; ++i) {
        if (!arg[i].any) {
            ThrowRunTimeError(engine, QJSValue::GenericError, QLatin1String(kParamNotOptional));
            return QJSValue();
        }
    }
    const double x = arg[0].dValue;
    const QJSValue* bytes = arg[0].any ? &*arg[0].any : nullptr;

    switch (method) {
    case M_SLEEP: Sleep(arg[0].dwValue); return QJSValue();
    case M_EXITSCRIPT: ExitScript(); return QJSValue();
    case M_HEX: return QJSValue(Hex(arg[0].dwValue));
    case M_DBGSEND:
    case M_DBGSENDCRC:
        return QJSValue(
            static_cast<int>(SendBytes(bytes, method == M_DBGSENDCRC, SendTo::Receiver)));
    case M_SEND:
    case M_SENDCRC:
        return QJSValue(static_cast<int>(SendBytes(bytes, method == M_SENDCRC, SendTo::Line)));
    case M_ABS: return QJSValue(std::fabs(x));
    case M_SIN: return QJSValue(std::sin(x));
    case M_COS: return QJSValue(std::cos(x));
    case M_LOG10: return QJSValue(std::log10(x));
    case M_POW: return QJSValue(std::pow(x, arg[1].dValue));
    case M_SQRT: return QJSValue(std::sqrt(x));
    case M_CEIL: return QJSValue(std::ceil(x));
    case M_FLOOR: return QJSValue(std::floor(x));
    case M_PRINT: Print(*arg[0].any); return QJSValue();
    case M_GETCOIL:
    case M_GETDINP:
    case M_GETHREG:
    case M_GETIREG:
        return QJSValue(static_cast<int>(GetCell(CellTypeOf(method), *arg[0].any, *arg[1].any)));
    case M_SETCOIL:
    case M_SETDINP:
    case M_SETHREG:
    case M_SETIREG:
        SetCell(CellTypeOf(method), *arg[0].any, *arg[1].any, arg[2].dwValue);
        return QJSValue();
    case M_SETFAULT: SetFault(engine, *arg[0].any, *arg[1].any); return QJSValue();
    case M_GETFLOAT:
    case M_GETDOUBLE:
    case M_GETINT32:
    case M_GETUINT32:
        return GetTyped(engine, TypedMethodType(method), *arg[0].any, *arg[1].any,
                        arg[2].any ? &*arg[2].any : nullptr);
    case M_SETFLOAT:
    case M_SETDOUBLE:
    case M_SETINT32:
    case M_SETUINT32:
        SetTyped(engine, TypedMethodType(method), *arg[0].any, *arg[1].any, arg[2].dValue,
                 arg[3].any ? &*arg[3].any : nullptr);
        return QJSValue();
    case M_GETCOUNTERS: return GetCounters(engine, *arg[0].any);
    default: return QJSValue();
    }
}

// ---- Method bodies -----------------------------------------------------------

void CScripter::Sleep(std::uint32_t milliseconds)
{
    m_doc.SleepFor(milliseconds);
}

void CScripter::ExitScript()
{
    m_doc.CloseEngine();
}

QString CScripter::Hex(std::uint32_t value)
{
    return QString::fromStdString(StrFormat("0x%X", static_cast<unsigned>(value)));
}

std::uint16_t CScripter::SendBytes(const QJSValue* bytes, bool withCrc, SendTo to)
{
    std::uint8_t frame[kFrameBuffer];
    unsigned count = 0;
    if (!ReadFrame(bytes, withCrc, frame, count) || count == 0)
        return 0;
    // The receiver appends and posts the drain under the receive buffer's
    // lock, so the bytes stay together and the drain sees all of them.
    if (to == SendTo::Receiver)
        m_doc.GetHost().InjectReceived(frame, count);
    else
        m_doc.GetHost().SendFrame(frame, count);
    return static_cast<std::uint16_t>(count);
}

void CScripter::Print(const QJSValue& value)
{
    // toString may run script code that a stop interrupts: then nothing is
    // logged.
    const std::string text = value.toString().toStdString();
    if (m_doc.IsEngineClosed())
        return;
    m_doc.Log(SL_INFORMATION, text, SScriptLogRecord::kNoLine);
}

std::uint16_t CScripter::GetCell(std::int32_t type, const QJSValue& device, const QJSValue& cell)
{
    CDevDoc* dev = ResolveDevice(device);
    if (dev == nullptr)
        return 0;
    const CDevItem* item = ResolveCell(dev, type, cell);
    if (item == nullptr)
        return 0;
    const std::uint16_t value = item->GetValue();
    if (type == COIL || type == DINP)
        return value != 0 ? 1 : 0;
    return value;
}

void CScripter::SetCell(std::int32_t type, const QJSValue& device, const QJSValue& cell,
                        std::uint32_t value)
{
    auto word = static_cast<std::uint16_t>(value & 0xFFFFu);
    if (type == COIL || type == DINP)
        word = word != 0 ? 1 : 0;
    CDevDoc* dev = ResolveDevice(device);
    if (dev == nullptr)
        return;
    CDevItem* item = ResolveCell(dev, type, cell);
    if (item == nullptr)
        return;
    // Neither the bounds nor the access mode bind a script.
    {
        std::lock_guard lock(dev->Lock());
        item->SetValue(word);
    }
    dev->SetModifiedFlag(true);
}

void CScripter::SetFault(QJSEngine& engine, const QJSValue& device, const QJSValue& rules)
{
    // toString may run script code that a stop interrupts.
    const std::string text =
        rules.isUndefined() || rules.isNull() ? std::string() : rules.toString().toStdString();
    if (m_doc.IsEngineClosed())
        return;
    CDevDoc* dev = ResolveDevice(device);
    if (dev == nullptr)
        return;
    const std::string error = m_doc.GetHost().SetFaults(dev, text);
    if (!error.empty())
        ThrowRunTimeError(engine, QJSValue::GenericError,
                          QString::fromStdString("SetFault: " + error));
}

namespace {

// "float32:CDAB" from the method's type and the script's order argument;
// nullopt for an order that is none.
std::optional<SValueType> TypedMethodValueType(const char* type, const QJSValue* order)
{
    std::string name = type;
    if (order != nullptr && !order->isUndefined() && !order->isNull())
        name += ":" + order->toString().toUpper().toStdString();
    return ParseValueType(name);
}

} // namespace

QJSValue CScripter::GetTyped(QJSEngine& engine, const char* type, const QJSValue& device,
                             const QJSValue& cell, const QJSValue* order)
{
    const auto valueType = TypedMethodValueType(type, order);
    if (!valueType) {
        ThrowRunTimeError(engine, QJSValue::RangeError,
                          QStringLiteral("Неизвестный порядок слов: ") + order->toString());
        return QJSValue();
    }
    CDevDoc* dev = ResolveDevice(device);
    const CDevItem* first = dev != nullptr ? ResolveCell(dev, HREG, cell) : nullptr;
    if (first == nullptr)
        return QJSValue();
    const auto count = static_cast<std::size_t>(RegisterCount(*valueType));
    std::vector<std::uint16_t> regs(count);
    {
        std::lock_guard lock(dev->Lock());
        for (std::size_t i = 0; i < count; ++i) {
            const CDevItem* item =
                dev->FindItem(HREG, static_cast<std::uint16_t>(first->GetAddr() + i));
            if (item == nullptr || first->GetAddr() + i > 0xFFFF) {
                NotFound(StrFormat("Ячейка с адресом 0x%X не найдена в устройстве \"%s\"!",
                                   static_cast<unsigned>(first->GetAddr() + i),
                                   dev->GetDevId().c_str()));
                return QJSValue();
            }
            regs[i] = item->GetValue();
        }
    }
    return QJSValue(QString::fromStdString(DecodeValue(*valueType, regs)).toDouble());
}

void CScripter::SetTyped(QJSEngine& engine, const char* type, const QJSValue& device,
                         const QJSValue& cell, double value, const QJSValue* order)
{
    const auto valueType = TypedMethodValueType(type, order);
    if (!valueType) {
        ThrowRunTimeError(engine, QJSValue::RangeError,
                          QStringLiteral("Неизвестный порядок слов: ") + order->toString());
        return;
    }
    std::vector<std::uint16_t> regs(static_cast<std::size_t>(RegisterCount(*valueType)));
    const std::string text = QString::number(value, 'g', 17).toStdString();
    if (const std::string error = EncodeValue(*valueType, text, regs); !error.empty()) {
        ThrowRunTimeError(engine, QJSValue::RangeError, QString::fromStdString(error));
        return;
    }
    CDevDoc* dev = ResolveDevice(device);
    const CDevItem* first = dev != nullptr ? ResolveCell(dev, HREG, cell) : nullptr;
    if (first == nullptr)
        return;
    std::vector<CDevItem*> items;
    std::unique_lock lock(dev->Lock());
    for (std::size_t i = 0; i < regs.size(); ++i) {
        CDevItem* item =
            first->GetAddr() + i > 0xFFFF
                ? nullptr
                : dev->FindItem(HREG, static_cast<std::uint16_t>(first->GetAddr() + i));
        if (item == nullptr) {
            NotFound(StrFormat("Ячейка с адресом 0x%X не найдена в устройстве \"%s\"!",
                               static_cast<unsigned>(first->GetAddr() + i),
                               dev->GetDevId().c_str()));
            return;
        }
        items.push_back(item);
    }
    // Every register under the one hold of the lock: a master's read sees
    // the value before or after, never half of it.
    for (std::size_t i = 0; i < items.size(); ++i)
        items[i]->SetValue(regs[i]);
    lock.unlock();
    dev->SetModifiedFlag(true);
}

QJSValue CScripter::GetCounters(QJSEngine& engine, const QJSValue& device)
{
    const CDevDoc* dev = ResolveDevice(device);
    if (dev == nullptr)
        return QJSValue();
    const SDevCounterValues v = dev->GetCounters().Read();
    // Counts reach the script as numbers, exact up to 2^53.
    const auto number = [](std::uint64_t n) { return QJSValue(static_cast<double>(n)); };
    QJSValue exceptions = engine.newObject();
    for (const auto& [code, count] : v.exceptions)
        exceptions.setProperty(QString::number(code), number(count));
    QJSValue counters = engine.newObject();
    counters.setProperty(QStringLiteral("id"), QString::fromStdString(dev->GetDevId()));
    counters.setProperty(QStringLiteral("address"), static_cast<int>(dev->GetDevAddr()));
    counters.setProperty(QStringLiteral("requests"), number(v.nRequests));
    counters.setProperty(QStringLiteral("answers"), number(v.nAnswers));
    counters.setProperty(QStringLiteral("no_answer"), number(v.nNoAnswer));
    counters.setProperty(QStringLiteral("exceptions"), exceptions);
    counters.setProperty(QStringLiteral("bytes_in"), number(v.nBytesIn));
    counters.setProperty(QStringLiteral("bytes_out"), number(v.nBytesOut));
    counters.setProperty(QStringLiteral("rate"), number(v.nRate));
    return counters;
}

// ---- Helpers -------------------------------------------------------------------

CDevDoc* CScripter::ResolveDevice(const QJSValue& arg)
{
    // A text that starts with a digit is an address when it converts to one;
    // "12" is never an identifier, "1A" and "300" are.
    const QString text = arg.toString();
    if (m_doc.IsEngineClosed())
        return nullptr;
    const IScriptHost& host = m_doc.GetHost();
    if (StartsWithDigit(text)) {
        std::uint8_t addr = 0;
        if (ScriptToU8(arg, addr) == ScriptConv::Ok) {
            if (CDevDoc* dev = host.FindDeviceByAddr(addr))
                return dev;
            NotFound(StrFormat("Устройство с адресом \"0x%X\" не найдено!",
                               static_cast<unsigned>(addr)));
            return nullptr;
        }
    }
    const std::string id = text.toStdString();
    if (CDevDoc* dev = host.FindDeviceById(id))
        return dev;
    NotFound(StrFormat("Устройство с идентификатором \"%s\" не найдено!", id.c_str()));
    return nullptr;
}

CDevItem* CScripter::ResolveCell(CDevDoc* dev, std::int32_t type, const QJSValue& arg)
{
    const QString text = arg.toString();
    if (m_doc.IsEngineClosed())
        return nullptr;
    if (StartsWithDigit(text)) {
        std::uint16_t addr = 0;
        if (ScriptToU16(arg, addr) == ScriptConv::Ok) {
            if (CDevItem* item = dev->FindItem(type, addr))
                return item;
            NotFound(StrFormat("Ячейка с адресом 0x%X не найдена в устройстве \"%s\"!",
                               static_cast<unsigned>(addr), dev->GetDevId().c_str()));
            return nullptr;
        }
    }
    const std::string id = text.toStdString();
    if (CDevItem* item = dev->FindItemById(type, id))
        return item;
    NotFound(StrFormat("Ячейка с идентификатором \"%s\" не найдена в устройстве \"%s\"!",
                       id.c_str(), dev->GetDevId().c_str()));
    return nullptr;
}

bool CScripter::ReadFrame(const QJSValue* arg, bool withCrc, std::uint8_t* buf, unsigned& count)
{
    count = 0;
    // A missing argument, a number or a text is no array; neither is an
    // object without a usable length, one longer than the frame buffer, or
    // one holding an element that is no number.
    if (arg == nullptr || !arg->isObject()) {
        ArrayError();
        return false;
    }
    const QString lengthName = QStringLiteral("length");
    std::int32_t length = 0;
    if (!arg->hasProperty(lengthName) ||
        ScriptToI32(arg->property(lengthName), length) != ScriptConv::Ok) {
        ArrayError();
        return false;
    }
    const unsigned limit = withCrc ? kFrameBuffer - 2 : kFrameBuffer;
    const unsigned n = length < 0 ? 0u : static_cast<unsigned>(length);
    if (n > limit) {
        ArrayError();
        return false;
    }
    for (unsigned i = 0; i < n; ++i) {
        std::int32_t element = 0;
        if (ScriptToI32(arg->property(static_cast<quint32>(i)), element) != ScriptConv::Ok) {
            ArrayError();
            return false;
        }
        // 256 gives 0, -1 gives 255.
        buf[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(element) & 0xFFu);
    }
    // A getter of the array may have ended the script.
    if (m_doc.IsEngineClosed())
        return false;
    count = n;
    if (withCrc) {
        // The high half of Crc16 goes first on the wire.
        const std::uint16_t crc = Crc16(buf, n);
        buf[n] = static_cast<std::uint8_t>(crc >> 8);
        buf[n + 1] = static_cast<std::uint8_t>(crc & 0xFF);
        count = n + 2;
    }
    return true;
}

void CScripter::ArrayError()
{
    m_doc.SetErrorStop();
    m_doc.BringToFront();
    m_doc.Log(SL_ERROR, kArrayError, SScriptLogRecord::kNoLine);
    m_doc.CloseEngine();
}

void CScripter::NotFound(const std::string& text)
{
    m_doc.Log(SL_WARNING, text, SScriptLogRecord::kNoLine);
    m_doc.CloseEngine();
}

} // namespace korvex
