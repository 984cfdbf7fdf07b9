#include "ui/CScriptView.h"

#include "script/CScriptDoc.h"
#include "ui/CScriptHighlighter.h"
#include "ui/UiText.h"

#include <QFontDatabase>
#include <QPainter>
#include <QTextBlock>

namespace korvex {

class CScriptView::CLineNumberArea final : public QWidget
{
public:
    explicit CLineNumberArea(CScriptView* view) : QWidget(view), m_pView(view) {}
    QSize sizeHint() const override { return { m_pView->LineNumberWidth(), 0 }; }

protected:
    void paintEvent(QPaintEvent* event) override { m_pView->PaintLineNumbers(event); }

private:
    CScriptView* m_pView;
};

CScriptView::CScriptView(CScriptDoc& doc, QWidget* parent) : QPlainTextEdit(parent), m_doc(doc)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    // A platform without a theme answers with its general font.
    if (!QFontInfo(font).fixedPitch()) {
        font.setFamilies({ QStringLiteral("monospace") });
        font.setStyleHint(QFont::TypeWriter);
    }
    font.setPointSize(kFontPoints);
    setFont(font);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setTabStopDistance(4 * QFontMetricsF(font).horizontalAdvance(QLatin1Char(' ')));
    // A line chosen in the log stays marked while the log has the focus.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(palette);

    m_pNumbers = new CLineNumberArea(this);
    m_pHighlighter = new CScriptHighlighter(document());
    connect(this, &QPlainTextEdit::blockCountChanged, this, &CScriptView::UpdateMargin);
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int dy) {
        if (dy != 0)
            m_pNumbers->scroll(0, dy);
        else
            m_pNumbers->update(0, rect.y(), m_pNumbers->width(), rect.height());
        if (rect.contains(viewport()->rect()))
            UpdateMargin();
    });
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &CScriptView::HighlightCurrentLine);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_bFilling)
            m_doc.SetModifiedFlag(true);
    });
    UpdateMargin();
    HighlightCurrentLine();

    m_doc.SetTextSource([this] { return GetScriptText(); });
}

CScriptView::~CScriptView()
{
    // The document keeps the edits.
    m_doc.SetText(GetScriptText());
    m_doc.SetTextSource(nullptr);
}

std::string CScriptView::GetScriptText() const
{
    // The raw text keeps non-breaking spaces, which the plain text turns
    // into blanks; lines end in paragraph separators.
    QString text = document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1String("\r\n"));
    return Ss(text);
}

void CScriptView::SetScriptText(const std::string& text)
{
    QString plain = Qs(text);
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_bFilling = true;
    setPlainText(plain);
    m_bFilling = false;
}

void CScriptView::SelectLine(int line)
{
    const QTextBlock block = document()->findBlockByNumber(line);
    if (line < 0 || !block.isValid())
        return;
    // The cursor ends at the start of the line, so that the line is the
    // current one and comes into view from its start.
    QTextCursor cursor(document());
    const QTextBlock next = block.next();
    if (next.isValid())
        cursor.setPosition(next.position());
    else
        cursor.movePosition(QTextCursor::End);
    cursor.setPosition(block.position(), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    centerCursor();
}

int CScriptView::LineNumberWidth() const
{
    // Room for the highest number, at least two digits.
    int digits = 2;
    for (int max = std::max(1, blockCount() - 1); max >= 100; max /= 10)
        ++digits;
    return 8 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * digits;
}

void CScriptView::UpdateMargin()
{
    setViewportMargins(LineNumberWidth(), 0, 0, 0);
}

void CScriptView::resizeEvent(QResizeEvent* event)
{
    QPlainTextEdit::resizeEvent(event);
    const QRect area = contentsRect();
    m_pNumbers->setGeometry(area.left(), area.top(), LineNumberWidth(), area.height());
}

void CScriptView::PaintLineNumbers(QPaintEvent* event)
{
    QPainter painter(m_pNumbers);
    painter.fillRect(event->rect(), QColor(236, 236, 236));
    painter.setPen(QColor(150, 150, 150));
    const int current = textCursor().blockNumber();
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    const int width = m_pNumbers->width() - 4;
    const int height = fontMetrics().height();
    while (block.isValid() && top <= event->rect().bottom()) {
        const int bottom = top + qRound(blockBoundingRect(block).height());
        if (block.isVisible() && bottom >= event->rect().top()) {
            painter.setPen(block.blockNumber() == current ? QColor(60, 60, 60)
                                                          : QColor(150, 150, 150));
            painter.drawText(0, top, width, height, Qt::AlignRight,
                             QString::number(block.blockNumber()));
        }
        block = block.next();
        top = bottom;
    }
}

void CScriptView::HighlightCurrentLine()
{
    QTextEdit::ExtraSelection line;
    line.format.setBackground(QColor(255, 250, 205));
    line.format.setProperty(QTextFormat::FullWidthSelection, true);
    line.cursor = textCursor();
    line.cursor.clearSelection();
    setExtraSelections({ line });
    m_pNumbers->update();
}

} // namespace korvex
