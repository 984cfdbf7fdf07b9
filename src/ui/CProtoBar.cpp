#include "ui/CProtoBar.h"

#include "ui/Commands.h"
#include "ui/FileDialogs.h"

#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QTableView>

namespace korvex {

CProtoBar::CProtoBar(CCommandSet& commands, QWidget* parent)
    : QDockWidget(QStringLiteral("Список тревог и событий"), parent)
{
    setObjectName(QStringLiteral("ProtoBar"));
    setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);

    m_pView = new QTableView(this);
    m_pView->setModel(&m_model);
    m_pView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pView->setShowGrid(true);
    m_pView->setWordWrap(false);
    m_pView->setTextElideMode(Qt::ElideRight);
    m_pView->setSortingEnabled(false);
    m_pView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pView->verticalHeader()->hide();
    // Uniform rows: a long log scrolls without measuring each row.
    m_pView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_pView->verticalHeader()->setDefaultSectionSize(m_pView->fontMetrics().height() + 4);
    m_pView->horizontalHeader()->setSectionsClickable(false);
    m_pView->horizontalHeader()->setHighlightSections(false);
    m_pView->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pView->horizontalHeader()->setStretchLastSection(true);
    m_pView->setIconSize(QSize(16, 16));
    QPalette palette = m_pView->palette();
    palette.setColor(QPalette::Base, QColor(215, 235, 205));
    m_pView->setPalette(palette);
    // Each column as wide as its caption plus 15 pixels; the last one takes
    // the rest.
    const QFontMetrics metrics(m_pView->horizontalHeader()->font());
    for (int c = 0; c < CProtoLogModel::COL_TEXT; ++c)
        m_pView->setColumnWidth(c, metrics.horizontalAdvance(CProtoLogModel::ColumnCaption(c)) +
                                       15 + (c == CProtoLogModel::COL_TIME ? 20 : 0));
    setWidget(m_pView);

    m_pMenu = new QMenu(QStringLiteral("Для журнала"), this);
    QAction* clear = commands.MenuVariant(ID_CLEAR_LOG, QStringLiteral("Очистить &журнал"));
    m_pMenu->addAction(clear);
    m_pMenu->setDefaultAction(clear);
    QAction* save = m_pMenu->addAction(QStringLiteral("Сохранить журнал..."));
    save->setStatusTip(QStringLiteral("Сохранить строки журнала в текстовый файл"));
    connect(save, &QAction::triggered, this, &CProtoBar::OnSaveLog);
    m_pMenu->addSeparator();
    m_pMenu->addAction(QStringLiteral("Отмена"));

    m_pView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_pView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { m_pMenu->popup(m_pView->viewport()->mapToGlobal(pos)); });
}

void CProtoBar::AddBatch(const CProtoFeed::Batch& batch, int maxLines)
{
    if (batch.empty())
        return;
    const bool wasEmpty = GetLineCount() == 0;
    m_arPending.insert(m_arPending.end(), batch.begin(), batch.end());
    m_nMaxLines = maxLines;
    m_throttle.Request();
    if (wasEmpty)
        emit lineCountChanged();
}

void CProtoBar::Flush()
{
    m_throttle.Flush();
}

void CProtoBar::InsertPending()
{
    if (m_arPending.empty())
        return;
    CProtoFeed::Batch batch;
    batch.swap(m_arPending);
    m_model.AddBatch(batch, m_nMaxLines);
    m_pView->scrollToBottom();
}

void CProtoBar::ResetTimeBase()
{
    if (!m_arPending.empty())
        Flush();
    m_model.ResetTimeBase();
}

void CProtoBar::ClearLog()
{
    Flush();
    m_model.Clear();
    emit lineCountChanged();
}

bool CProtoBar::SaveLog(const QString& path, QString* error)
{
    Flush();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        if (error != nullptr)
            *error = file.errorString();
        return false;
    }
    QStringList header;
    for (int c = 0; c < CProtoLogModel::COL_COUNT; ++c)
        header << CProtoLogModel::ColumnCaption(c).trimmed();
    QByteArray out = header.join(QLatin1Char('\t')).toUtf8() + '\n';
    for (int r = 0; r < m_model.GetLineCount(); ++r) {
        QStringList fields;
        for (int c = 0; c < CProtoLogModel::COL_COUNT; ++c)
            fields << m_model.data(m_model.index(r, c), Qt::DisplayRole).toString();
        out += fields.join(QLatin1Char('\t')).toUtf8() + '\n';
    }
    file.write(out);
    if (!file.commit()) {
        if (error != nullptr)
            *error = file.errorString();
        return false;
    }
    return true;
}

void CProtoBar::OnSaveLog()
{
    const QString path =
        AskSavePath(this, QStringLiteral("Сохранить журнал"), QString(),
                    QStringLiteral("Текстовые файлы (*.txt *.tsv);;Все файлы (*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!SaveLog(path, &error))
        QMessageBox::warning(
            this, QStringLiteral("Ошибка"),
            QStringLiteral("Не удаётся сохранить журнал в \"%1\": %2").arg(path, error));
}

} // namespace korvex
