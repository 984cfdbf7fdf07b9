#pragma once

#include <QJSValue>
#include <QString>

#include <cstdint>
#include <string>

class QJSEngine;

namespace korvex {

class CDevDoc;
class CDevItem;
class CScriptDoc;

// The object a running script reaches as MyObject: the 24 methods of the
// automation table, SetFault (25) and the typed values of holding registers
// (26-33: GetFloat, SetFloat, GetDouble, SetDouble, GetInt32, SetInt32,
// GetUInt32, SetUInt32) and GetCounters (34), found by name without regard to
// case
// and called by number (in table order). The
// dispatch layer (Invoke) checks the argument count and converts u32 and
// double arguments before a method body runs; its failures are script
// run-time errors. A body that ends the script closes the engine through the
// document.
//
// Threads: every call runs on the thread of the script that makes it. The
// object keeps no state beyond its document, so each run of the script uses
// it afresh; the store and the receive buffer guard themselves.
class CScripter
{
public:
    enum Method : int
    {
        M_SLEEP = 1,
        M_EXITSCRIPT,
        M_HEX,
        M_DBGSEND,
        M_DBGSENDCRC,
        M_SEND,
        M_SENDCRC,
        M_ABS,
        M_SIN,
        M_COS,
        M_LOG10,
        M_POW,
        M_SQRT,
        M_CEIL,
        M_FLOOR,
        M_PRINT,
        M_GETCOIL,
        M_SETCOIL,
        M_GETDINP,
        M_SETDINP,
        M_GETHREG,
        M_SETHREG,
        M_GETIREG,
        M_SETIREG,
        // Beyond the table of 24: the faults of a device.
        M_SETFAULT,
        // Typed values over holding registers, written all at once: in
        // pairs, Get first.
        M_GETFLOAT,
        M_SETFLOAT,
        M_GETDOUBLE,
        M_SETDOUBLE,
        M_GETINT32,
        M_SETINT32,
        M_GETUINT32,
        M_SETUINT32,
        // What a device has seen and answered.
        M_GETCOUNTERS,
    };
    static constexpr int kMethodCount = 34;

    // The frame buffer of the send methods; the CRC takes two of its bytes.
    static constexpr unsigned kFrameBuffer = 1024;

    // Run-time error descriptions of the dispatch layer.
    static constexpr char kTypeMismatch[] = "Type mismatch";
    static constexpr char kOverflow[] = "Overflow";
    static constexpr char kBadParamCount[] =
        "Wrong number of arguments or invalid property assignment";
    static constexpr char kParamNotOptional[] = "Argument not optional";

    explicit CScripter(CScriptDoc& doc);

    CScripter(const CScripter&) = delete;
    CScripter& operator=(const CScripter&) = delete;

    CScriptDoc& GetDoc() const { return m_doc; }

    // "Sleep" ... "GetCounters" for 1..kMethodCount, nullptr otherwise.
    static const char* GetMethodName(int method);

    // Runs a method for the script of engine: args is the call's argument
    // list (an array-like object). A conversion or count failure throws a
    // run-time error into engine and returns undefined. Once the engine is
    // closed every call does nothing and returns undefined.
    QJSValue Invoke(QJSEngine& engine, int method, const QJSValue& args);

    // Throws an error of the given type into engine, its lineNumber taken
    // from the first stack frame of the script itself.
    static void ThrowRunTimeError(QJSEngine& engine, QJSValue::ErrorType type,
                                  const QString& description);

    // Method bodies, arguments converted; nullptr stands for a missing
    // argument of the any kind.
    void Sleep(std::uint32_t milliseconds);
    void ExitScript();
    static QString Hex(std::uint32_t value);
    // Send/SendCRC put the bytes on the line; DbgSend/DbgSendCRC hand them to
    // the emulator's receiver as if a master had sent them. The number of
    // bytes, 0 when there were none or they were refused.
    enum class SendTo
    {
        Line,
        Receiver,
    };
    std::uint16_t SendBytes(const QJSValue* bytes, bool withCrc, SendTo to);
    void Print(const QJSValue& value);
    std::uint16_t GetCell(std::int32_t type, const QJSValue& device, const QJSValue& cell);
    void SetCell(std::int32_t type, const QJSValue& device, const QJSValue& cell,
                 std::uint32_t value);
    // Replaces the device's faults by the rules' text (empty: none); invalid
    // rules are a run-time error with the rules' error text.
    void SetFault(QJSEngine& engine, const QJSValue& device, const QJSValue& rules);
    // The typed value of the holding registers from cell on (an ID or an
    // address), the word order "ABCD" (default), "CDAB", "BADC" or "DCBA".
    // Set writes every register under one hold of the device's lock, so a
    // master never reads half of it; like the other setters it is bound
    // neither by bounds nor by access. A value the type cannot hold, a
    // missing register or an unknown order is a run-time error.
    QJSValue GetTyped(QJSEngine& engine, const char* type, const QJSValue& device,
                      const QJSValue& cell, const QJSValue* order);
    void SetTyped(QJSEngine& engine, const char* type, const QJSValue& device, const QJSValue& cell,
                  double value, const QJSValue* order);
    // The device's counters as an object with the fields of korvex-cli's
    // --stats: id, address, requests, answers, no_answer, exceptions (code
    // to count), bytes_in, bytes_out, rate.
    QJSValue GetCounters(QJSEngine& engine, const QJSValue& device);

private:
    CDevDoc* ResolveDevice(const QJSValue& arg);
    CDevItem* ResolveCell(CDevDoc* dev, std::int32_t type, const QJSValue& arg);
    // Fills buf with the array's elements, the CRC after them when withCrc;
    // false after the array error.
    bool ReadFrame(const QJSValue* arg, bool withCrc, std::uint8_t* buf, unsigned& count);
    void ArrayError();
    void NotFound(const std::string& text);

    CScriptDoc& m_doc;
};

} // namespace korvex
