#pragma once

#include "script/CScriptDoc.h"
#include "ui/IChildView.h"
#include "ui/ICommandTarget.h"

#include <QSplitter>

namespace korvex {

class CChildFrame;
class CDebugView;
class CScriptView;

// What a script's window holds: the editor above and the script's log below.
// On every resize the editor gets two thirds of the height, at least
// kMinEditorHeight pixels. The editor answers the main window's undo, cut,
// copy and paste while it has the focus (commandStateChanged tells when what
// it offers may have changed); choosing a log row that refers to a
// source line selects that line in the editor, the focus staying in the log.
// Shift+Tab in the editor goes to the log, Tab or Shift+Tab in the log back.
// User-interface thread.
class CScriptFrame final : public QSplitter, public IChildView, public ICommandTarget
{
    Q_OBJECT

public:
    static constexpr int kMinEditorHeight = 50;

    // frame is the child window the splitter is shown in.
    CScriptFrame(CScriptDoc& doc, CChildFrame* frame);
    ~CScriptFrame() override;

    CScriptDoc& GetDocument() const { return m_doc; }
    CScriptView* Editor() const { return m_pEditor; }
    CDebugView* Log() const { return m_pLog; }

    // The editor's height in a window of the given client height.
    static int EditorHeight(int clientHeight);

    // Lines for the log; maxLines is MAXLOGS as it is when they arrive.
    void AddLogBatch(const CScriptDoc::LogBatch& batch, int maxLines);
    // Shows and activates the window with the log focused, as a click into
    // the log would.
    void BringToFront();

    // IChildView: the document has read its file; the editor takes its text.
    void OnInitialUpdate() override;
    // ICommandTarget: the edit commands.
    void OfferState(SCommandState& state) const override;
    void RunCommand(CommandId id) override;

    // Room for a screenful of script in a new window.
    QSize sizeHint() const override { return { 600, 420 }; }

signals:
    void commandStateChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CScriptDoc& m_doc;
    CChildFrame* m_pFrame;
    CScriptView* m_pEditor{ nullptr };
    CDebugView* m_pLog{ nullptr };
};

} // namespace korvex
