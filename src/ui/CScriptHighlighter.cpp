#include "ui/CScriptHighlighter.h"

#include "script/CScripter.h"

#include <QSet>

namespace korvex {
namespace {

const QSet<QString>& Keywords()
{
    static const QSet<QString> words = {
        QStringLiteral("break"),    QStringLiteral("case"),     QStringLiteral("catch"),
        QStringLiteral("class"),    QStringLiteral("const"),    QStringLiteral("continue"),
        QStringLiteral("debugger"), QStringLiteral("default"),  QStringLiteral("delete"),
        QStringLiteral("do"),       QStringLiteral("else"),     QStringLiteral("export"),
        QStringLiteral("extends"),  QStringLiteral("false"),    QStringLiteral("finally"),
        QStringLiteral("for"),      QStringLiteral("function"), QStringLiteral("if"),
        QStringLiteral("import"),   QStringLiteral("in"),       QStringLiteral("instanceof"),
        QStringLiteral("let"),      QStringLiteral("new"),      QStringLiteral("null"),
        QStringLiteral("return"),   QStringLiteral("super"),    QStringLiteral("switch"),
        QStringLiteral("this"),     QStringLiteral("throw"),    QStringLiteral("true"),
        QStringLiteral("try"),      QStringLiteral("typeof"),   QStringLiteral("undefined"),
        QStringLiteral("var"),      QStringLiteral("void"),     QStringLiteral("while"),
        QStringLiteral("with"),     QStringLiteral("yield"),    QStringLiteral("NaN"),
        QStringLiteral("Infinity"),
    };
    return words;
}

// MyObject's methods, lower-cased.
const QSet<QString>& Methods()
{
    static const QSet<QString> names = [] {
        QSet<QString> set;
        for (int m = 1; m <= CScripter::kMethodCount; ++m)
            set.insert(QString::fromLatin1(CScripter::GetMethodName(m)).toLower());
        return set;
    }();
    return names;
}

bool IsIdentStart(QChar c)
{
    return c.isLetter() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

bool IsIdentPart(QChar c)
{
    return IsIdentStart(c) || c.isDigit();
}

bool IsHexDigit(QChar c)
{
    return c.isDigit() || (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

int SkipBlanks(const QString& line, int i)
{
    while (i < line.size() && line[i].isSpace())
        ++i;
    return i;
}

int IdentEnd(const QString& line, int i)
{
    while (i < line.size() && IsIdentPart(line[i]))
        ++i;
    return i;
}

// The end of a string that starts before from and is closed by quote; -1
// when the line ends first. A backslash escapes the next character.
int StringEnd(const QString& line, int from, QChar quote)
{
    for (int i = from; i < line.size(); ++i) {
        if (line[i] == QLatin1Char('\\'))
            ++i;
        else if (line[i] == quote)
            return i + 1;
    }
    return -1;
}

int NumberEnd(const QString& line, int i)
{
    const int n = static_cast<int>(line.size());
    if (line[i] == QLatin1Char('0') && i + 1 < n &&
        (line[i + 1] == QLatin1Char('x') || line[i + 1] == QLatin1Char('X'))) {
        i += 2;
        while (i < n && IsHexDigit(line[i]))
            ++i;
        return i;
    }
    while (i < n && line[i].isDigit())
        ++i;
    if (i < n && line[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && line[i].isDigit())
            ++i;
    }
    if (i < n && (line[i] == QLatin1Char('e') || line[i] == QLatin1Char('E'))) {
        int j = i + 1;
        if (j < n && (line[j] == QLatin1Char('+') || line[j] == QLatin1Char('-')))
            ++j;
        if (j < n && line[j].isDigit()) {
            while (j < n && line[j].isDigit())
                ++j;
            i = j;
        }
    }
    return i;
}

} // namespace

CScriptHighlighter::CScriptHighlighter(QTextDocument* document) : QSyntaxHighlighter(document)
{
    m_formats[TK_KEYWORD].setForeground(QColor(0, 0, 160));
    m_formats[TK_KEYWORD].setFontWeight(QFont::Bold);
    m_formats[TK_STRING].setForeground(QColor(163, 21, 21));
    m_formats[TK_NUMBER].setForeground(QColor(128, 0, 128));
    m_formats[TK_COMMENT].setForeground(QColor(0, 128, 0));
    m_formats[TK_COMMENT].setFontItalic(true);
    m_formats[TK_OBJECT].setForeground(QColor(0, 110, 140));
    m_formats[TK_OBJECT].setFontWeight(QFont::Bold);
    m_formats[TK_METHOD].setForeground(QColor(0, 110, 140));
}

std::vector<CScriptHighlighter::SToken> CScriptHighlighter::Scan(const QString& line, int& state)
{
    std::vector<SToken> tokens;
    const int n = static_cast<int>(line.size());
    int i = 0;
    auto add = [&tokens](int start, int end, TokenKind kind) {
        if (end > start)
            tokens.push_back({ start, end - start, kind });
    };

    // What the line before left open.
    if (state == LS_COMMENT || state == LS_TEMPLATE) {
        const int end = state == LS_COMMENT ? static_cast<int>(line.indexOf(QLatin1String("*/")))
                                            : StringEnd(line, 0, QLatin1Char('`'));
        if (end < 0) {
            add(0, n, state == LS_COMMENT ? TK_COMMENT : TK_STRING);
            return tokens;
        }
        i = state == LS_COMMENT ? end + 2 : end;
        add(0, i, state == LS_COMMENT ? TK_COMMENT : TK_STRING);
    }
    state = LS_NONE;

    // A name after a dot is a property, never a keyword.
    bool afterDot = false;
    while (i < n) {
        const QChar c = line[i];
        const QChar next = i + 1 < n ? line[i + 1] : QChar();
        if (c == QLatin1Char('/') && next == QLatin1Char('/')) {
            add(i, n, TK_COMMENT);
            break;
        }
        if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
            const int close = static_cast<int>(line.indexOf(QLatin1String("*/"), i + 2));
            if (close < 0) {
                add(i, n, TK_COMMENT);
                state = LS_COMMENT;
                break;
            }
            add(i, close + 2, TK_COMMENT);
            i = close + 2;
            continue;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\'') || c == QLatin1Char('`')) {
            const int end = StringEnd(line, i + 1, c);
            if (end < 0) {
                // A template string goes on on the next line; a quoted one
                // is left unclosed.
                add(i, n, TK_STRING);
                if (c == QLatin1Char('`'))
                    state = LS_TEMPLATE;
                break;
            }
            add(i, end, TK_STRING);
            i = end;
            afterDot = false;
            continue;
        }
        if (c.isDigit() || (c == QLatin1Char('.') && next.isDigit())) {
            const int end = NumberEnd(line, i);
            // Digits inside a name such as x1 belong to the name.
            add(i, end, TK_NUMBER);
            i = end;
            afterDot = false;
            continue;
        }
        if (IsIdentStart(c)) {
            int end = IdentEnd(line, i);
            const QString word = line.mid(i, end - i);
            if (word == QLatin1String("MyObject") && !afterDot) {
                add(i, end, TK_OBJECT);
                int dot = SkipBlanks(line, end);
                if (dot < n && line[dot] == QLatin1Char('.')) {
                    const int name = SkipBlanks(line, dot + 1);
                    const int nameEnd = IdentEnd(line, name);
                    if (nameEnd > name && name < n && IsIdentStart(line[name]) &&
                        Methods().contains(line.mid(name, nameEnd - name).toLower())) {
                        add(name, nameEnd, TK_METHOD);
                        end = nameEnd;
                    }
                }
            } else if (!afterDot && Keywords().contains(word)) {
                add(i, end, TK_KEYWORD);
            }
            i = end;
            afterDot = false;
            continue;
        }
        if (c == QLatin1Char('.'))
            afterDot = true;
        else if (!c.isSpace())
            afterDot = false;
        ++i;
    }
    return tokens;
}

void CScriptHighlighter::highlightBlock(const QString& text)
{
    int state = std::max(previousBlockState(), 0);
    for (const SToken& token : Scan(text, state))
        setFormat(token.nStart, token.nLength, m_formats[token.kind]);
    setCurrentBlockState(state);
}

} // namespace korvex
