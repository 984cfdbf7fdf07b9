#pragma once

#include "core/CProtoFeed.h"
#include "ui/CProtoLogFilter.h"
#include "ui/CProtoLogModel.h"
#include "ui/CRepaintThrottle.h"

#include <QDockWidget>

#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QTableView;
class QToolButton;

namespace korvex {

class CCommandSet;

// The protocol log bar "Список тревог и событий": a dock at the bottom of the
// main window with the log's rows in a list. Its context menu clears the log
// (the main window's command), copies the selected rows, saves the rows as
// text or CSV and shows the extra columns (wall-clock time, raw frame).
//
// Above the list, a filter bar (hidden by default) narrows the rows shown to
// a device or address, a function code, a direction, or exceptions and errors
// only, and searches the descriptions (Ctrl+F, F3, Shift+F3). With no filter
// the list shows the log model itself, as it always did.
//
// The list follows new rows while it shows the last one and no row is
// selected; scrolled up or with a row selected it holds still while rows
// arrive, and a button on it counts them and brings the view back down.
// User-interface thread.
class CProtoBar final : public QDockWidget
{
    Q_OBJECT

public:
    static constexpr int kFlushInterval = 50; // milliseconds

    CProtoBar(CCommandSet& commands, QWidget* parent);

    CProtoLogModel& Model() { return m_model; }
    CProtoLogFilter& Filtered() { return m_filtered; }
    QTableView* View() const { return m_pView; }

    // Inserts the batch; a view that follows shows the newest row. Under a
    // fast master the rows are inserted at most kFlushInterval apart, as one
    // batch, so that the list does not hold up the user-interface thread,
    // which also answers the master.
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

    // ---- Filter and search ----
    QWidget* FilterBar() const { return m_pFilterBar; }
    // "Фильтр журнала" in the View menu: shows and hides the filter bar.
    QAction* FilterBarAction() const { return m_pFilterAction; }
    void SetFilterBarShown(bool shown);
    // Applies the filter (also set from the bar's fields).
    void SetFilter(const SLogFilter& filter);
    const SLogFilter& GetFilter() const { return m_filtered.GetFilter(); }
    QLineEdit* SearchField() const { return m_pSearch; }
    // Makes the next (or previous) row shown whose description contains the
    // search text current, from the current row on, round the end; false
    // when none does.
    bool FindNext(bool forward);

    // ---- Columns ----
    // The extra columns shown: 1 the wall-clock time, 2 the raw frame.
    void SetExtraColumns(int mask);
    int GetExtraColumns() const { return m_nExtraColumns; }

    // ---- Follow and hold ----
    bool IsHolding() const { return m_bHolding; }
    int GetArrivedWhileHeld() const { return m_nArrived; }
    QToolButton* ArrivedButton() const { return m_pArrived; }
    // Clears the selection and shows the newest row again.
    void ReturnToBottom();

    // ---- Copy and save ----
    // The selected rows shown, one a line, the visible columns separated by
    // tabs.
    QString SelectedRowsText() const;
    // The rows shown (filtered or not) as UTF-8 text: a header line, then one
    // line a row, the four log columns separated by tabs. False with the
    // reason when it cannot be written.
    bool SaveLog(const QString& path, QString* error);
    // The rows as CSV (RFC 4180, UTF-8): time, relative ms, device, address,
    // kind, description, raw hex; every row, or only those shown.
    bool SaveCsv(const QString& path, bool shownOnly, QString* error);
    // The context menu: "Очистить &журнал" (default), copy, save, columns,
    // and "Отмена".
    QMenu* ContextMenu() const { return m_pMenu; }

signals:
    void lineCountChanged();
    // The bar was shown or hidden, or the extra columns changed: settings.
    void viewSettingsChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void InsertPending();
    void OnSave(bool csv, bool shownOnly);
    void BuildFilterBar();
    void FilterFromBar();
    void PlaceArrivedButton();
    void UpdateArrived();
    void UpdateShownCount();
    // The rows of the view's model: the log's or the filtered.
    QAbstractItemModel* Shown() const;
    bool IsFiltered() const { return !m_filtered.GetFilter().IsEmpty(); }
    // The log row of a row of the view, and back; -1 for none.
    int LogRow(int viewRow) const;
    std::int64_t SerialOf(int viewRow) const;
    int RowOfSerial(std::int64_t serial) const;

    CProtoLogModel m_model;
    CProtoLogFilter m_filtered{ m_model };
    CProtoFeed::Batch m_arPending;
    int m_nMaxLines{ 0 };
    CRepaintThrottle m_throttle{ kFlushInterval, [this] { InsertPending(); } };
    QTableView* m_pView{ nullptr };
    QMenu* m_pMenu{ nullptr };
    int m_nExtraColumns{ 0 };
    std::vector<QAction*> m_columnActions;

    QWidget* m_pFilterBar{ nullptr };
    QAction* m_pFilterAction{ nullptr };
    QLineEdit* m_pDevice{ nullptr };
    QComboBox* m_pFunction{ nullptr };
    QComboBox* m_pDirection{ nullptr };
    QCheckBox* m_pProblems{ nullptr };
    QLineEdit* m_pSearch{ nullptr };
    QLabel* m_pShownCount{ nullptr };

    bool m_bHolding{ false };
    int m_nArrived{ 0 };
    QToolButton* m_pArrived{ nullptr };
};

} // namespace korvex
