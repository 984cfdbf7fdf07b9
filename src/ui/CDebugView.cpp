#include "ui/CDebugView.h"

#include "ui/Commands.h"

#include <QHeaderView>
#include <QMenu>
#include <QTime>

#include <algorithm>
#include <limits>

namespace korvex {

CDebugView::CDebugView(QWidget* parent) : QTableView(parent)
{
    setModel(&m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setShowGrid(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setTabKeyNavigation(false);
    setIconSize(QSize(16, 16));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, QColor::fromRgb(kBackground));
    setPalette(palette);

    verticalHeader()->hide();
    // Uniform rows: a long log scrolls without measuring each row.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(std::max(fontMetrics().height(), 16) + 4);
    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setMinimumSectionSize(1);
    // The time keeps the width of its caption plus 15 pixels; the message
    // takes the rest of the width.
    const QFontMetrics metrics(header->font());
    header->setSectionResizeMode(CScriptLogModel::COL_TEXT, QHeaderView::Stretch);
    header->setSectionResizeMode(CScriptLogModel::COL_TIME, QHeaderView::Fixed);
    header->resizeSection(
        CScriptLogModel::COL_TIME,
        metrics.horizontalAdvance(CScriptLogModel::ColumnCaption(CScriptLogModel::COL_TIME)) + 15);

    m_pMenu = new QMenu(QStringLiteral("Для журнала"), this);
    m_pClear = m_pMenu->addAction(QStringLiteral("Очистить &журнал"));
    m_pClear->setData(static_cast<int>(ID_CLEAR_SCRIPT_LOG));
    m_pClear->setStatusTip(QStringLiteral("Очистить журнал скрипта"));
    m_pMenu->setDefaultAction(m_pClear);
    m_pMenu->addSeparator();
    m_pMenu->addAction(QStringLiteral("Отмена"));
    connect(m_pClear, &QAction::triggered, this, &CDebugView::ClearLog);
    UpdateClearAction();

    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        UpdateClearAction();
        m_pMenu->popup(viewport()->mapToGlobal(pos));
    });

    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (!m_bChanging)
                    Choose(current);
            });
    // Choosing the current row again chooses its line again.
    connect(this, &QAbstractItemView::clicked, this, &CDebugView::Choose);
    connect(this, &QAbstractItemView::activated, this, &CDebugView::Choose);
}

void CDebugView::AddBatch(const CScriptDoc::LogBatch& batch, int maxLines)
{
    if (batch.empty())
        return;
    const QString time = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    m_nMaxLines = maxLines;
    // The list never grows beyond the limit or its present length, whichever
    // is more: rows that would be dropped at once are not made.
    const std::size_t room = maxLines > 0
                                 ? std::max<std::size_t>(static_cast<std::size_t>(maxLines),
                                                         static_cast<std::size_t>(GetLineCount()))
                                 : std::numeric_limits<std::size_t>::max();
    const std::size_t first = batch.size() > room ? batch.size() - room : 0;
    for (std::size_t i = first; i < batch.size(); ++i)
        m_arPending.push_back(CScriptLogModel::MakeRow(batch[i], time));
    if (m_arPending.size() > room)
        m_arPending.erase(m_arPending.begin(),
                          m_arPending.end() - static_cast<std::ptrdiff_t>(room));
    m_throttle.Request();
}

void CDebugView::AddLine(const SScriptLogRecord& rec, int maxLines)
{
    AddBatch({ rec }, maxLines);
    Flush();
}

void CDebugView::Flush()
{
    m_throttle.Flush();
}

void CDebugView::InsertPending()
{
    if (m_arPending.empty())
        return;
    std::vector<CScriptLogModel::SRow> rows;
    rows.swap(m_arPending);
    m_bChanging = true;
    m_model.AddRows(std::move(rows), m_nMaxLines);
    m_bChanging = false;
    scrollTo(m_model.index(m_model.GetLineCount() - 1, 0), QAbstractItemView::EnsureVisible);
    UpdateClearAction();
}

void CDebugView::ClearLog()
{
    m_arPending.clear();
    m_bChanging = true;
    m_model.Clear();
    m_bChanging = false;
    UpdateClearAction();
}

void CDebugView::Choose(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    const int line = m_model.Row(index.row()).nLine;
    if (line >= 0)
        emit lineChosen(line);
}

void CDebugView::UpdateClearAction()
{
    m_pClear->setEnabled(m_model.GetLineCount() > 0);
}

} // namespace korvex
