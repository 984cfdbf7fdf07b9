#pragma once

#include "core/CDevItem.h"
#include "ui/CGraphWnd.h"

#include <QTimer>
#include <QWidget>

#include <optional>

namespace korvex {

// The graph window of one cell: a top-level window titled "График: %s (%s)"
// with the description and ID, sampling the value every 200 ms and whenever
// its change is announced; a cell with a numeric type plots its typed value. It deletes itself when
// it closes; the cell's link to it is cleared exactly once, also when the cell or its device goes
// first. User-interface thread.
class CGraphDlg final : public QWidget, public ICellGraph
{
public:
    static constexpr int kSamplePeriod = 200; // milliseconds

    explicit CGraphDlg(CDevItem& item, QWidget* parent = nullptr);
    ~CGraphDlg() override;

    CGraphWnd& Graph() { return *m_pGraph; }

    // One sample at the time given.
    void Sample(FileTime now);
    // Saves the picture; false with the reason when it cannot.
    bool SavePng(const QString& path, QString* error) const;

    void RequestSample() override;
    void Close() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void Detach();
    // The value to plot: the typed one, else the register's; nullopt for a
    // value that cannot be plotted (NaN, a missing cell).
    std::optional<double> Value() const;

    CDevItem* m_pItem;
    CGraphWnd* m_pGraph{ nullptr };
    QTimer m_timer;
};

} // namespace korvex
