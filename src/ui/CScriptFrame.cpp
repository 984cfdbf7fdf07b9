#include "ui/CScriptFrame.h"

#include "script/CScriptDoc.h"
#include "ui/CChildFrame.h"
#include "ui/CDebugView.h"
#include "ui/CScriptView.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>

#include <algorithm>

namespace korvex {

CScriptFrame::CScriptFrame(CScriptDoc& doc, CChildFrame* frame)
    : QSplitter(Qt::Vertical, frame), m_doc(doc), m_pFrame(frame)
{
    m_pEditor = new CScriptView(doc, this);
    m_pLog = new CDebugView(this);
    addWidget(m_pEditor);
    addWidget(m_pLog);
    // The height rule decides, not the panes' own minimum sizes.
    m_pEditor->setMinimumHeight(1);
    m_pLog->setMinimumHeight(1);
    // Activating the window puts the cursor into the editor.
    setFocusProxy(m_pEditor);
    m_pEditor->installEventFilter(this);
    m_pLog->installEventFilter(this);

    connect(m_pLog, &CDebugView::lineChosen, m_pEditor, &CScriptView::SelectLine);
    connect(m_pEditor, &QPlainTextEdit::undoAvailable, this, &CScriptFrame::commandStateChanged);
    connect(m_pEditor, &QPlainTextEdit::copyAvailable, this, &CScriptFrame::commandStateChanged);
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            &CScriptFrame::commandStateChanged);
}

CScriptFrame::~CScriptFrame()
{
    // The panes go after this object's members: nothing they send on their
    // way out may reach it.
    m_pEditor->removeEventFilter(this);
    m_pLog->removeEventFilter(this);
    m_pEditor->disconnect(this);
    m_pLog->disconnect(this);
}

int CScriptFrame::EditorHeight(int clientHeight)
{
    return std::max(kMinEditorHeight, clientHeight * 2 / 3);
}

void CScriptFrame::resizeEvent(QResizeEvent* event)
{
    QSplitter::resizeEvent(event);
    const int editor = EditorHeight(height());
    setSizes({ editor, std::max(0, height() - editor - handleWidth()) });
}

void CScriptFrame::OnInitialUpdate()
{
    m_pEditor->SetScriptText(m_doc.GetText());
}

void CScriptFrame::AddLogBatch(const CScriptDoc::LogBatch& batch, int maxLines)
{
    m_pLog->AddBatch(batch, maxLines);
}

void CScriptFrame::BringToFront()
{
    if (m_pFrame != nullptr)
        m_pFrame->ShowAndActivate();
    m_pLog->setFocus(Qt::OtherFocusReason);
}

void CScriptFrame::OfferState(SCommandState& state) const
{
    // Only the editor acts on the commands, and only while it is the pane
    // the keys go to.
    if (!m_pEditor->hasFocus())
        return;
    const bool selection = m_pEditor->textCursor().hasSelection();
    const bool editable = !m_pEditor->isReadOnly();
    state.bCanUndo = editable && m_pEditor->document()->isUndoAvailable();
    state.bCanCut = editable && selection;
    state.bCanCopy = selection;
    state.bCanPaste = m_pEditor->canPaste();
}

void CScriptFrame::RunCommand(CommandId id)
{
    switch (id) {
    case ID_EDIT_UNDO: m_pEditor->undo(); break;
    case ID_EDIT_CUT: m_pEditor->cut(); break;
    case ID_EDIT_COPY: m_pEditor->copy(); break;
    case ID_EDIT_PASTE: m_pEditor->paste(); break;
    default: break;
    }
}

bool CScriptFrame::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        if (watched == m_pEditor)
            emit commandStateChanged();
        break;
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool backtab = key->key() == Qt::Key_Backtab;
        const bool tab = key->key() == Qt::Key_Tab &&
                         (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0;
        if (watched == m_pEditor && backtab) {
            m_pLog->setFocus(Qt::BacktabFocusReason);
            return true;
        }
        if (watched == m_pLog && (tab || backtab)) {
            m_pEditor->setFocus(backtab ? Qt::BacktabFocusReason : Qt::TabFocusReason);
            return true;
        }
        break;
    }
    default: break;
    }
    return QSplitter::eventFilter(watched, event);
}

} // namespace korvex
