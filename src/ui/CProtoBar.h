#pragma once

#include "core/CProtoFeed.h"
#include "ui/CProtoLogModel.h"

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
    static constexpr int kBackground = 0xCDEBD7; // RGB(215, 235, 205), little-endian

    CProtoBar(CCommandSet& commands, QWidget* parent);

    CProtoLogModel& Model() { return m_model; }
    QTableView* View() const { return m_pView; }

    // Inserts the batch and shows the newest row.
    void AddBatch(const CProtoFeed::Batch& batch, int maxLines);
    void ClearLog();
    void ResetTimeBase() { m_model.ResetTimeBase(); }
    int GetLineCount() const { return m_model.GetLineCount(); }
    // The rows shown as UTF-8 text: a header line, then one line a row, the
    // columns separated by tabs. False with the reason when it cannot be
    // written.
    bool SaveLog(const QString& path, QString* error) const;

    // The context menu: "Очистить &журнал" (default), "Сохранить журнал...",
    // and "Отмена".
    QMenu* ContextMenu() const { return m_pMenu; }

signals:
    void lineCountChanged();

private:
    void OnSaveLog();

    CProtoLogModel m_model;
    QTableView* m_pView{ nullptr };
    QMenu* m_pMenu{ nullptr };
};

} // namespace korvex
