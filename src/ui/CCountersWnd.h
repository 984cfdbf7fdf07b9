#pragma once

#include <QTimer>
#include <QWidget>

class QPushButton;
class QTableView;

namespace korvex {

class CCounters;
class CCountersModel;

// "Счётчики": a tool window beside the main window with the counters of
// every device (and their total) and of every transport, refreshed every
// 250 ms while it is shown, and a button that sets them all to zero. It
// only reads the counters' atomics: the answering threads never wait for it.
// User-interface thread.
class CCountersWnd final : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kRefreshMs = 250;

    CCountersWnd(CCounters& counters, QWidget* parent = nullptr);

    CCountersModel& DeviceModel() const { return *m_pDevices; }
    CCountersModel& TransportModel() const { return *m_pTransports; }
    QPushButton* ResetButton() const { return m_pReset; }
    bool IsRefreshing() const { return m_timer.isActive(); }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Refresh();
    void OnReset();

    CCounters& m_counters;
    CCountersModel* m_pDevices{ nullptr };
    CCountersModel* m_pTransports{ nullptr };
    QTableView* m_pDeviceView{ nullptr };
    QTableView* m_pTransportView{ nullptr };
    QPushButton* m_pReset{ nullptr };
    QTimer m_timer;
};

} // namespace korvex
