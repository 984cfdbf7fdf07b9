#pragma once

#include <QPlainTextEdit>

namespace korvex {

class CScriptDoc;
class CScriptHighlighter;

// The script's editor: plain text in the system's fixed font, line numbers
// in a margin (counted from 0, as the engine counts the lines of its error
// messages), JavaScript colouring and the current line highlighted. Once the
// document has read its file the editor is filled with its text and from
// then on holds it: a start runs it and a save writes it, saved or not.
// Editing marks the document modified; filling does not. User-interface
// thread.
class CScriptView final : public QPlainTextEdit
{
    Q_OBJECT

public:
    static constexpr int kFontPoints = 12;

    CScriptView(CScriptDoc& doc, QWidget* parent = nullptr);
    ~CScriptView() override;

    CScriptDoc& GetDocument() const { return m_doc; }
    // The text as the document keeps it: lines joined by CR LF.
    std::string GetScriptText() const;
    // Replaces the text without marking the document modified; the undo
    // history starts afresh.
    void SetScriptText(const std::string& text);
    // Selects the zero-based line from its start to the start of the next
    // one (to the end of the text for the last line) and scrolls to it; the
    // focus stays where it is. A line the text does not have changes nothing.
    void SelectLine(int line);

    // The width of the line-number margin, and its painting.
    int LineNumberWidth() const;
    void PaintLineNumbers(QPaintEvent* event);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    class CLineNumberArea;

    void UpdateMargin();
    void HighlightCurrentLine();

    CScriptDoc& m_doc;
    CLineNumberArea* m_pNumbers{ nullptr };
    CScriptHighlighter* m_pHighlighter{ nullptr };
    bool m_bFilling{ false };
};

} // namespace korvex
