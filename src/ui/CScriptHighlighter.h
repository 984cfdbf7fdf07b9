#pragma once

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

#include <array>
#include <vector>

namespace korvex {

// JavaScript colouring for the script editor: keywords, strings, numbers,
// comments, MyObject and its methods (their names without regard to case,
// as the engine finds them). Only the display changes; the text does not.
// User-interface thread.
class CScriptHighlighter final : public QSyntaxHighlighter
{
public:
    enum TokenKind
    {
        TK_KEYWORD,
        TK_STRING,
        TK_NUMBER,
        TK_COMMENT,
        TK_OBJECT,
        TK_METHOD,
        TK_COUNT,
    };

    struct SToken
    {
        int nStart{ 0 };
        int nLength{ 0 };
        TokenKind kind{ TK_KEYWORD };

        bool operator==(const SToken&) const = default;
    };

    // What a line leaves open for the next one.
    enum LineState : int
    {
        LS_NONE = 0,
        LS_COMMENT = 1,  // inside /* ... */
        LS_TEMPLATE = 2, // inside a `template string`
    };

    explicit CScriptHighlighter(QTextDocument* document);

    // The coloured pieces of one line; state is the state the line before
    // left and becomes the one this line leaves.
    static std::vector<SToken> Scan(const QString& line, int& state);

protected:
    void highlightBlock(const QString& text) override;

private:
    std::array<QTextCharFormat, TK_COUNT> m_formats;
};

} // namespace korvex
