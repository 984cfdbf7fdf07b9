#pragma once

#include "script/CScriptDoc.h"
#include "ui/CRepaintThrottle.h"
#include "ui/CScriptLogModel.h"

#include <QTableView>

#include <vector>

class QAction;
class QMenu;

namespace korvex {

// A script's log below its editor: one row per message with the icon of its
// level and the local time it arrived, on RGB(220, 220, 200), the newest row
// kept in view. Choosing a row (a click, the keyboard, Enter) that refers to
// a source line asks for that line (lineChosen). Its context menu clears
// the log. Under a script that prints in a loop the rows are inserted at most
// kFlushInterval apart, as one batch. User-interface thread.
class CDebugView final : public QTableView
{
    Q_OBJECT

public:
    static constexpr QRgb kBackground = 0xFFDCDCC8; // RGB(220, 220, 200)
    static constexpr int kFlushInterval = 50;       // milliseconds

    explicit CDebugView(QWidget* parent = nullptr);

    CScriptLogModel& Model() { return m_model; }

    // Adds the records stamped with the local time now; maxLines is the
    // settings' MAXLOGS (0: no limit).
    void AddBatch(const CScriptDoc::LogBatch& batch, int maxLines);
    // The same for one record, shown at once.
    void AddLine(const SScriptLogRecord& rec, int maxLines);
    // Inserts the rows that wait now.
    void Flush();
    // Every row goes, those still waiting too.
    void ClearLog();
    // The rows shown.
    int GetLineCount() const { return m_model.GetLineCount(); }

    // "Очистить &журнал" (the default item, enabled while there are rows),
    // a separator and "Отмена".
    QMenu* ContextMenu() const { return m_pMenu; }
    QAction* ClearAction() const { return m_pClear; }

signals:
    // A row that refers to a source line was chosen; line is zero-based.
    void lineChosen(int line);

private:
    void InsertPending();
    void Choose(const QModelIndex& index);
    void UpdateClearAction();

    CScriptLogModel m_model;
    std::vector<CScriptLogModel::SRow> m_arPending;
    int m_nMaxLines{ 0 };
    CRepaintThrottle m_throttle{ kFlushInterval, [this] { InsertPending(); } };
    QMenu* m_pMenu{ nullptr };
    QAction* m_pClear{ nullptr };
    // Rows going and coming move the current row; that is no choice.
    bool m_bChanging{ false };
};

} // namespace korvex
