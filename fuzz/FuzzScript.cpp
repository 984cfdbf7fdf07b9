// MyObject's dispatch on arbitrary values: the argument count and the u32 and
// double conversions, the cell lookups by number and by name, and the frame
// methods (arrays, array-likes, holes, huge lengths), called through
// CScripter::Invoke on an engine of the fuzzer's thread. Sleep and ExitScript
// are left out: one waits, the other closes the engine for good.
//
// Input: a method byte, an argument count byte, then the values, each a kind
// byte and its payload.

#include "FuzzHub.h"

#include "core/CDevDoc.h"
#include "script/CScriptDoc.h"
#include "script/CScripter.h"
#include "script/ScriptEnvironment.h"

#include <QCoreApplication>
#include <QJSEngine>
#include <QJSValue>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

using namespace korvex;

namespace {

class CInput
{
public:
    CInput(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool Empty() const { return m_pos >= m_size; }
    std::uint8_t Byte() { return Empty() ? 0 : m_data[m_pos++]; }
    template <class T> T Raw()
    {
        T value{};
        std::uint8_t bytes[sizeof(T)] = {};
        for (std::uint8_t& b : bytes)
            b = Byte();
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }
    QString Text()
    {
        const std::size_t length = Byte() % 24;
        std::string text;
        for (std::size_t i = 0; i < length && !Empty(); ++i)
            text += static_cast<char>(Byte());
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos{ 0 };
};

QJSValue MakeValue(QJSEngine& engine, CInput& in, int depth)
{
    switch (in.Byte() % 13) {
    case 0: return QJSValue(static_cast<int>(in.Byte()));
    case 1: return QJSValue(in.Raw<double>());
    case 2: return QJSValue(static_cast<double>(in.Raw<std::int32_t>()));
    case 3: return QJSValue(static_cast<double>(in.Raw<std::uint32_t>()) * 65536.0);
    case 4: return QJSValue(in.Text());
    case 5: return QJSValue(in.Byte() % 2 == 0);
    case 6: return QJSValue(QJSValue::NullValue);
    case 7: return QJSValue(QJSValue::UndefinedValue);
    case 8:
    case 9: {
        // An array of values, with holes.
        const quint32 length = in.Byte() % 40;
        QJSValue array = engine.newArray(length);
        for (quint32 i = 0; i < length && !in.Empty(); ++i)
            if (in.Byte() % 8 != 0)
                array.setProperty(i, depth < 2 ? MakeValue(engine, in, depth + 1)
                                               : QJSValue(static_cast<int>(in.Byte())));
        return array;
    }
    case 10: {
        // An array-like object whose length may be anything.
        QJSValue object = engine.newObject();
        object.setProperty(QStringLiteral("length"), QJSValue(in.Raw<double>()));
        object.setProperty(0, QJSValue(static_cast<int>(in.Byte())));
        return object;
    }
    case 11: return engine.newObject();
    default: {
        // A text that reads as a number.
        const QString text = QString::number(in.Raw<std::int32_t>()) + in.Text();
        return QJSValue(text);
    }
    }
}

struct SRig
{
    fuzz::SFuzzHub hub;
    std::unique_ptr<CDevDoc> pump;
    std::unique_ptr<CDevDoc> digits;
    std::unique_ptr<CScriptDoc> script;

    SRig()
    {
        pump = std::make_unique<CDevDoc>(hub.app);
        pump->SetDevId("PUMP");
        pump->SetDevAddr(5);
        digits = std::make_unique<CDevDoc>(hub.app);
        digits->SetDevId("12");
        digits->SetDevAddr(9);
        for (std::int32_t type : { COIL, DINP, HREG, IREG }) {
            for (std::uint16_t a = 0; a < 8; ++a) {
                pump->AddItem(type, "C" + std::to_string(a), "c", a, ACCESS_RW, 0, 65535, a);
                digits->AddItem(type, std::to_string(a + 1), "c", a, ACCESS_RW, 0, 65535, a);
            }
        }
        script = std::make_unique<CScriptDoc>(hub.app);
        script->SetLogSink([](const SScriptLogRecord&) {});
    }
};

SRig* g_pRig = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    PrepareScriptEnvironment();
    static QCoreApplication application(*argc, *argv);
    g_pRig = new SRig; // lives until the process ends
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    SRig& rig = *g_pRig;
    // An engine per input: its heap lies outside what the leak checker
    // scans, so only an engine that is gone leaves a clean account.
    QJSEngine engine;
    CInput in(data, size);
    while (!in.Empty()) {
        const int method = in.Byte() % (CScripter::kMethodCount + 2) - 1; // -1 .. 24
        if (method == CScripter::M_SLEEP || method == CScripter::M_EXITSCRIPT)
            continue;
        const quint32 count = in.Byte() % 5;
        QJSValue args = engine.newArray(count);
        for (quint32 i = 0; i < count; ++i)
            args.setProperty(i, MakeValue(engine, in, 0));
        (void)rig.script->GetScripter().Invoke(engine, method, args);
        if (engine.hasError())
            (void)engine.catchError();
    }
    rig.hub.poster.Pump();
    return 0;
}
