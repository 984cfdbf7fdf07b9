#pragma once

#include "core/CProtoFeed.h"
#include "ui/CProtoLogModel.h"
#include "ui/CRepaintThrottle.h"

#include <QDockWidget>

class QMenu;
class QTableView;

namespace korvex {

class CCommandSet;

// The protocol log bar "Список тревог и событий": a dock at the bottom of the
// main window with the log's rows in a list. Its context menu clears the log
// (the main window's command) or saves the rows shown to a text file.
// User-interface thread.
class CProtoBar final : public QDockWidget
{
    Q_OBJECT

public:
    static constexpr int kFlushInterval = 50; // milliseconds

    CProtoBar(CCommandSet& commands, QWidget* parent);

    CProtoLogModel& Model() { return m_model; }
    QTableView* View() const { return m_pView; }

    // Inserts the batch and shows the newest row. Under a fast master the
    // rows are inserted at most kFlushInterval apart, as one batch, so that the
    // list does not hold up the user-interface thread, which also answers
    // the master.
    void AddBatch(const CProtoFeed::Batch& batch, int maxLines);
    // Inserts the rows that wait now.
    void Flush();
    void ClearLog();
    // The rows that wait are inserted first: they belong to the last run.
    void ResetTimeBase();
    // Rows waiting to be inserted count.
    int GetLineCount() const
    {
        return m_model.GetLineCount() + static_cast<int>(m_arPending.size());
    }
    // The rows shown as UTF-8 text: a header line, then one line a row, the
    // columns separated by tabs. False with the reason when it cannot be
    // written.
    bool SaveLog(const QString& path, QString* error);

    // The context menu: "Очистить &журнал" (default), "Сохранить журнал...",
    // and "Отмена".
    QMenu* ContextMenu() const { return m_pMenu; }

signals:
    void lineCountChanged();

private:
    void InsertPending();
    void OnSaveLog();

    CProtoLogModel m_model;
    CProtoFeed::Batch m_arPending;
    int m_nMaxLines{ 0 };
    CRepaintThrottle m_throttle{ kFlushInterval, [this] { InsertPending(); } };
    QTableView* m_pView{ nullptr };
    QMenu* m_pMenu{ nullptr };
};

} // namespace korvex
