#include "ui/CCountersWnd.h"

#include "core/CCounters.h"
#include "ui/CCountersModel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace korvex {
namespace {

QTableView* MakeView(CCountersModel* model, QWidget* parent)
{
    auto* view = new QTableView(parent);
    view->setModel(model);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->setSelectionMode(QAbstractItemView::NoSelection);
    view->setFocusPolicy(Qt::NoFocus);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}

} // namespace

CCountersWnd::CCountersWnd(CCounters& counters, QWidget* parent)
    : QWidget(parent, Qt::Tool), m_counters(counters)
{
    setWindowTitle(QStringLiteral("Счётчики"));
    m_pDevices = new CCountersModel(CCountersModel::Table::Devices, this);
    m_pTransports = new CCountersModel(CCountersModel::Table::Transports, this);
    m_pDeviceView = MakeView(m_pDevices, this);
    m_pDeviceView->setToolTip(QStringLiteral("Счётчики устройств и их сумма"));
    m_pTransportView = MakeView(m_pTransports, this);
    m_pTransportView->setToolTip(QStringLiteral("Счётчики линии и сетевых адресов"));
    m_pReset = new QPushButton(QStringLiteral("Сбросить"), this);
    m_pReset->setToolTip(QStringLiteral("Обнулить все счётчики устройств и транспортов"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_pReset);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Устройства"), this));
    layout->addWidget(m_pDeviceView, 2);
    layout->addWidget(new QLabel(QStringLiteral("Транспорты"), this));
    layout->addWidget(m_pTransportView, 1);
    layout->addLayout(buttons);
    resize(940, 380);

    m_timer.setInterval(kRefreshMs);
    connect(&m_timer, &QTimer::timeout, this, &CCountersWnd::Refresh);
    connect(m_pReset, &QPushButton::clicked, this, &CCountersWnd::OnReset);
}

void CCountersWnd::showEvent(QShowEvent* event)
{
    Refresh();
    m_timer.start();
    QWidget::showEvent(event);
}

void CCountersWnd::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

void CCountersWnd::Refresh()
{
    const SCountersSnapshot snapshot = m_counters.Snapshot();
    m_pDevices->SetSnapshot(snapshot);
    m_pTransports->SetSnapshot(snapshot);
}

void CCountersWnd::OnReset()
{
    m_counters.Clear();
    Refresh();
}

} // namespace korvex
