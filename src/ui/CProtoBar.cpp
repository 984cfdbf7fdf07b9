#include "ui/CProtoBar.h"

#include "core/CParserModbus.h"
#include "core/Types.h"
#include "ui/Commands.h"
#include "ui/FileDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QScrollBar>
#include <QShortcut>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace korvex {
namespace {

// The function codes the filter offers.
constexpr int kFunctions[] = { 1, 2, 3, 4, 5, 6, 7, 8, 15, 16, 17, 22, 23 };

QString CsvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

bool Write(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(bytes);
        if (file.commit())
            return true;
    }
    if (error != nullptr)
        *error = file.errorString();
    return false;
}

} // namespace

CProtoBar::CProtoBar(CCommandSet& commands, QWidget* parent)
    : QDockWidget(QStringLiteral("Список тревог и событий"), parent)
{
    setObjectName(QStringLiteral("ProtoBar"));
    setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);

    m_pView = new QTableView(this);
    m_pView->setModel(&m_model);
    m_pView->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Several rows can be selected, to copy them.
    m_pView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pView->setShowGrid(true);
    m_pView->setWordWrap(false);
    m_pView->setTextElideMode(Qt::ElideRight);
    m_pView->setSortingEnabled(false);
    m_pView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pView->verticalHeader()->hide();
    // Uniform rows: a long log scrolls without measuring each row.
    m_pView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_pView->verticalHeader()->setDefaultSectionSize(m_pView->fontMetrics().height() + 4);
    QHeaderView* header = m_pView->horizontalHeader();
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setStretchLastSection(true);
    m_pView->setIconSize(QSize(16, 16));
    QPalette palette = m_pView->palette();
    palette.setColor(QPalette::Base, QColor(215, 235, 205));
    m_pView->setPalette(palette);
    m_model.SetProblemColour(CProtoLogModel::ProblemColourOn(palette.color(QPalette::Base)));
    // Each column as wide as its caption plus 15 pixels; the last one takes
    // the rest. The extra columns stand beside the ones they go with: the
    // wall-clock time after the relative one, the raw frame before the
    // description, which stays last.
    const QFontMetrics metrics(header->font());
    for (int c = 0; c < CProtoLogModel::COL_TEXT; ++c)
        m_pView->setColumnWidth(c, metrics.horizontalAdvance(CProtoLogModel::ColumnCaption(c)) +
                                       15 + (c == CProtoLogModel::COL_TIME ? 20 : 0));
    m_pView->setColumnWidth(CProtoLogModel::COL_CLOCK,
                            metrics.horizontalAdvance(QStringLiteral("00:00:00.000")) + 15);
    m_pView->setColumnWidth(CProtoLogModel::COL_RAW, metrics.averageCharWidth() * 36);
    header->moveSection(header->visualIndex(CProtoLogModel::COL_CLOCK), 1);
    header->moveSection(header->visualIndex(CProtoLogModel::COL_RAW),
                        header->visualIndex(CProtoLogModel::COL_TEXT));
    m_pView->setColumnHidden(CProtoLogModel::COL_CLOCK, true);
    m_pView->setColumnHidden(CProtoLogModel::COL_RAW, true);
    m_pView->installEventFilter(this);

    BuildFilterBar();
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_pFilterBar);
    layout->addWidget(m_pView);
    setWidget(body);

    // Rows that arrived while the view held still: a button on the list.
    m_pArrived = new QToolButton(m_pView);
    m_pArrived->setToolTip(
        QStringLiteral("Новые строки пришли, пока список стоял; вернуться к последней строке"));
    m_pArrived->setAutoRaise(false);
    m_pArrived->hide();
    connect(m_pArrived, &QToolButton::clicked, this, &CProtoBar::ReturnToBottom);
    connect(m_pView->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        // Scrolled back down with nothing selected: following again.
        if (m_bHolding && value >= m_pView->verticalScrollBar()->maximum() &&
            !m_pView->selectionModel()->hasSelection()) {
            m_bHolding = false;
            m_nArrived = 0;
            UpdateArrived();
        }
    });

    m_pMenu = new QMenu(QStringLiteral("Для журнала"), this);
    QAction* clear = commands.MenuVariant(ID_CLEAR_LOG, QStringLiteral("Очистить &журнал"));
    m_pMenu->addAction(clear);
    m_pMenu->setDefaultAction(clear);
    QAction* copy = m_pMenu->addAction(QStringLiteral("Копировать\tCtrl+C"));
    copy->setStatusTip(QStringLiteral("Копировать выделенные строки, столбцы через табуляцию"));
    connect(copy, &QAction::triggered, this,
            [this] { QApplication::clipboard()->setText(SelectedRowsText()); });
    m_pMenu->addSeparator();
    QAction* save = m_pMenu->addAction(QStringLiteral("Сохранить журнал..."));
    save->setStatusTip(QStringLiteral("Сохранить показанные строки журнала в текстовый файл"));
    connect(save, &QAction::triggered, this, [this] { OnSave(false, true); });
    QAction* csv = m_pMenu->addAction(QStringLiteral("Сохранить показанные строки в CSV..."));
    csv->setStatusTip(QStringLiteral("Сохранить строки, прошедшие фильтр, в файл CSV"));
    connect(csv, &QAction::triggered, this, [this] { OnSave(true, true); });
    QAction* all = m_pMenu->addAction(QStringLiteral("Сохранить весь журнал в CSV..."));
    all->setStatusTip(QStringLiteral("Сохранить все строки журнала в файл CSV"));
    connect(all, &QAction::triggered, this, [this] { OnSave(true, false); });
    m_pMenu->addSeparator();
    for (const auto& [mask, caption] :
         { std::pair{ 1, QStringLiteral("Столбец времени (чч:мм:сс.ммм)") },
           std::pair{ 2, QStringLiteral("Столбец кадра (hex)") } }) {
        QAction* column = m_pMenu->addAction(caption);
        column->setCheckable(true);
        connect(column, &QAction::toggled, this, [this, mask = mask](bool on) {
            SetExtraColumns(on ? m_nExtraColumns | mask : m_nExtraColumns & ~mask);
        });
        m_columnActions.push_back(column);
    }
    m_pMenu->addAction(m_pFilterAction);
    m_pMenu->addSeparator();
    m_pMenu->addAction(QStringLiteral("Отмена"));

    m_pView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_pView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { m_pMenu->popup(m_pView->viewport()->mapToGlobal(pos)); });

    const auto key = [this](const QKeySequence& keys, auto slot) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, slot);
    };
    key(QKeySequence::Find, [this] {
        SetFilterBarShown(true);
        m_pSearch->setFocus();
        m_pSearch->selectAll();
    });
    key(QKeySequence(Qt::Key_F3), [this] { FindNext(true); });
    key(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { FindNext(false); });
}

void CProtoBar::BuildFilterBar()
{
    m_pFilterBar = new QWidget(this);
    auto* row = new QHBoxLayout(m_pFilterBar);
    row->setContentsMargins(4, 2, 4, 2);
    m_pDevice = new QLineEdit(m_pFilterBar);
    m_pDevice->setPlaceholderText(QStringLiteral("устройство или адрес"));
    m_pDevice->setToolTip(QStringLiteral("Только строки устройства с этим ID или адресом"));
    m_pDevice->setClearButtonEnabled(true);
    m_pDevice->setMaximumWidth(m_pDevice->fontMetrics().averageCharWidth() * 24);
    m_pFunction = new QComboBox(m_pFilterBar);
    m_pFunction->setToolTip(QStringLiteral("Только запросы и ответы этой функции"));
    m_pFunction->addItem(QStringLiteral("Все функции"), -1);
    for (const int code : kFunctions)
        m_pFunction->addItem(
            QStringLiteral("%1 (0x%2) %3")
                .arg(code)
                .arg(code, 2, 16, QLatin1Char('0'))
                .arg(QString::fromUtf8(GetFunctionName(static_cast<std::uint8_t>(code), true))),
            code);
    m_pFunction->setMaximumWidth(m_pFunction->fontMetrics().averageCharWidth() * 34);
    m_pDirection = new QComboBox(m_pFilterBar);
    m_pDirection->setToolTip(QStringLiteral("Запросы, ответы или всё"));
    m_pDirection->addItems({ QStringLiteral("Запросы и ответы"), QStringLiteral("Только запросы"),
                             QStringLiteral("Только ответы") });
    m_pProblems = new QCheckBox(QStringLiteral("Только ошибки"), m_pFilterBar);
    m_pProblems->setToolTip(
        QStringLiteral("Только исключения, нераспознанные данные и предупреждения"));
    m_pSearch = new QLineEdit(m_pFilterBar);
    m_pSearch->setPlaceholderText(QStringLiteral("поиск в описании (Ctrl+F, F3, Shift+F3)"));
    m_pSearch->setToolTip(
        QStringLiteral("Enter или F3 - следующая строка с этим текстом, Shift+F3 - предыдущая"));
    m_pSearch->setClearButtonEnabled(true);
    auto* prev = new QToolButton(m_pFilterBar);
    prev->setArrowType(Qt::UpArrow);
    prev->setToolTip(QStringLiteral("Предыдущая строка с текстом (Shift+F3)"));
    auto* next = new QToolButton(m_pFilterBar);
    next->setArrowType(Qt::DownArrow);
    next->setToolTip(QStringLiteral("Следующая строка с текстом (F3)"));
    m_pShownCount = new QLabel(m_pFilterBar);
    row->addWidget(m_pDevice);
    row->addWidget(m_pFunction);
    row->addWidget(m_pDirection);
    row->addWidget(m_pProblems);
    row->addWidget(m_pSearch, 1);
    row->addWidget(prev);
    row->addWidget(next);
    row->addWidget(m_pShownCount);
    m_pFilterBar->hide();

    connect(m_pDevice, &QLineEdit::textChanged, this, &CProtoBar::FilterFromBar);
    connect(m_pFunction, &QComboBox::currentIndexChanged, this, &CProtoBar::FilterFromBar);
    connect(m_pDirection, &QComboBox::currentIndexChanged, this, &CProtoBar::FilterFromBar);
    connect(m_pProblems, &QCheckBox::toggled, this, &CProtoBar::FilterFromBar);
    connect(m_pSearch, &QLineEdit::returnPressed, this, [this] { FindNext(true); });
    connect(prev, &QToolButton::clicked, this, [this] { FindNext(false); });
    connect(next, &QToolButton::clicked, this, [this] { FindNext(true); });
    connect(&m_filtered, &QAbstractItemModel::rowsInserted, this, &CProtoBar::UpdateShownCount);
    connect(&m_filtered, &QAbstractItemModel::rowsRemoved, this, &CProtoBar::UpdateShownCount);
    connect(&m_filtered, &QAbstractItemModel::modelReset, this, &CProtoBar::UpdateShownCount);

    m_pFilterAction = new QAction(QStringLiteral("Фильтр журнала"), this);
    m_pFilterAction->setCheckable(true);
    m_pFilterAction->setStatusTip(
        QStringLiteral("Показать или скрыть строку фильтра и поиска над журналом протокола"));
    connect(m_pFilterAction, &QAction::toggled, this, &CProtoBar::SetFilterBarShown);
}

void CProtoBar::SetFilterBarShown(bool shown)
{
    if (m_pFilterAction->isChecked() != shown)
        m_pFilterAction->setChecked(shown); // comes back here
    if (m_pFilterBar->isVisibleTo(this) == shown)
        return;
    m_pFilterBar->setVisible(shown);
    emit viewSettingsChanged();
}

void CProtoBar::FilterFromBar()
{
    SLogFilter filter;
    filter.strDevice = m_pDevice->text().trimmed();
    filter.nFunction = m_pFunction->currentData().toInt();
    filter.nDirection = m_pDirection->currentIndex();
    filter.bProblemsOnly = m_pProblems->isChecked();
    SetFilter(filter);
}

void CProtoBar::SetFilter(const SLogFilter& filter)
{
    Flush();
    const bool wasFiltered = IsFiltered();
    m_filtered.SetFilter(filter);
    if (wasFiltered != IsFiltered()) {
        // The header keeps its widths, order and hidden columns.
        const QByteArray state = m_pView->horizontalHeader()->saveState();
        m_pView->setModel(Shown());
        m_pView->horizontalHeader()->restoreState(state);
    }
    m_bHolding = false;
    m_nArrived = 0;
    UpdateArrived();
    m_pView->scrollToBottom();
    UpdateShownCount();
}

QAbstractItemModel* CProtoBar::Shown() const
{
    return IsFiltered()
               ? static_cast<QAbstractItemModel*>(const_cast<CProtoLogFilter*>(&m_filtered))
               : static_cast<QAbstractItemModel*>(const_cast<CProtoLogModel*>(&m_model));
}

void CProtoBar::UpdateShownCount()
{
    m_pShownCount->setText(
        IsFiltered()
            ? QStringLiteral("%1 из %2").arg(m_filtered.rowCount()).arg(m_model.GetLineCount())
            : QString());
}

int CProtoBar::LogRow(int viewRow) const
{
    if (viewRow < 0 || viewRow >= Shown()->rowCount())
        return -1;
    return IsFiltered() ? m_filtered.SourceRow(viewRow) : viewRow;
}

std::int64_t CProtoBar::SerialOf(int viewRow) const
{
    const int row = LogRow(viewRow);
    return row < 0 ? -1 : m_model.FirstSerial() + row;
}

int CProtoBar::RowOfSerial(std::int64_t serial) const
{
    // The first row shown at or after the serial.
    int low = 0;
    int high = Shown()->rowCount();
    while (low < high) {
        const int mid = (low + high) / 2;
        if (SerialOf(mid) < serial)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

bool CProtoBar::FindNext(bool forward)
{
    const QString text = m_pSearch->text();
    QAbstractItemModel* shown = Shown();
    const int count = shown->rowCount();
    if (text.isEmpty() || count == 0)
        return false;
    const int current =
        m_pView->currentIndex().isValid() ? m_pView->currentIndex().row() : (forward ? -1 : count);
    for (int step = 1; step <= count; ++step) {
        const int row = ((forward ? current + step : current - step) % count + count) % count;
        if (m_model.Row(LogRow(row)).strText.contains(text, Qt::CaseInsensitive)) {
            const QModelIndex index = shown->index(row, CProtoLogModel::COL_TEXT);
            m_pView->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                  QItemSelectionModel::Rows);
            m_pView->scrollTo(index);
            m_bHolding = true;
            return true;
        }
    }
    return false;
}

void CProtoBar::SetExtraColumns(int mask)
{
    mask &= 3;
    for (std::size_t i = 0; i < m_columnActions.size(); ++i)
        m_columnActions[i]->setChecked((mask >> i) & 1);
    if (mask == m_nExtraColumns)
        return;
    m_nExtraColumns = mask;
    m_pView->setColumnHidden(CProtoLogModel::COL_CLOCK, (mask & 1) == 0);
    m_pView->setColumnHidden(CProtoLogModel::COL_RAW, (mask & 2) == 0);
    emit viewSettingsChanged();
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
    QScrollBar* bar = m_pView->verticalScrollBar();
    QItemSelectionModel* selection = m_pView->selectionModel();
    const bool follow = !selection->hasSelection() && bar->value() >= bar->maximum();
    // Held: the rows in view and the selected ones, by serial, for the rows
    // the log drops at its limit move the others up.
    std::int64_t top = -1;
    std::int64_t current = -1;
    std::vector<std::int64_t> selected;
    if (!follow) {
        top = SerialOf(m_pView->rowAt(0));
        current = SerialOf(m_pView->currentIndex().row());
        for (const QModelIndex& row : selection->selectedRows())
            selected.push_back(SerialOf(row.row()));
    }
    const std::int64_t firstBefore = m_model.FirstSerial();
    const std::int64_t endBefore = m_model.EndSerial();
    m_model.AddBatch(batch, m_nMaxLines);
    if (follow) {
        m_bHolding = false;
        m_nArrived = 0;
        m_pView->scrollToBottom();
        UpdateArrived();
        return;
    }
    m_bHolding = true;
    QAbstractItemModel* shown = Shown();
    m_nArrived += shown->rowCount() - RowOfSerial(endBefore);
    if (m_model.FirstSerial() != firstBefore) {
        std::sort(selected.begin(), selected.end());
        QItemSelection rows;
        for (const std::int64_t serial : selected) {
            const int row = RowOfSerial(serial);
            if (serial >= m_model.FirstSerial() && SerialOf(row) == serial)
                rows.select(shown->index(row, 0), shown->index(row, CProtoLogModel::COL_COUNT - 1));
        }
        selection->select(rows, QItemSelectionModel::ClearAndSelect);
        if (current >= m_model.FirstSerial() && SerialOf(RowOfSerial(current)) == current)
            selection->setCurrentIndex(shown->index(RowOfSerial(current), 0),
                                       QItemSelectionModel::NoUpdate);
        if (top >= 0)
            m_pView->scrollTo(shown->index(std::min(RowOfSerial(top), shown->rowCount() - 1), 0),
                              QAbstractItemView::PositionAtTop);
    }
    UpdateArrived();
}

void CProtoBar::UpdateArrived()
{
    if (!m_bHolding || m_nArrived <= 0) {
        m_pArrived->hide();
        return;
    }
    m_pArrived->setText(QStringLiteral("▼ Новых строк: %1").arg(m_nArrived));
    m_pArrived->adjustSize();
    PlaceArrivedButton();
    m_pArrived->show();
    m_pArrived->raise();
}

void CProtoBar::PlaceArrivedButton()
{
    const QRect area = m_pView->viewport()->geometry();
    m_pArrived->move(area.right() - m_pArrived->width() - 8,
                     area.bottom() - m_pArrived->height() - 4);
}

void CProtoBar::ReturnToBottom()
{
    Flush();
    m_pView->selectionModel()->clear();
    m_bHolding = false;
    m_nArrived = 0;
    m_pView->scrollToBottom();
    UpdateArrived();
}

bool CProtoBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pView) {
        // The list's Ctrl+C copies its rows, before any window's Copy.
        if (event->type() == QEvent::ShortcutOverride &&
            static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
            event->accept();
            return true;
        }
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
            QApplication::clipboard()->setText(SelectedRowsText());
            return true;
        }
        if (event->type() == QEvent::Resize)
            PlaceArrivedButton();
    }
    return QDockWidget::eventFilter(watched, event);
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
    m_bHolding = false;
    m_nArrived = 0;
    UpdateArrived();
    emit lineCountChanged();
}

QString CProtoBar::SelectedRowsText() const
{
    QModelIndexList rows = m_pView->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    const QHeaderView* header = m_pView->horizontalHeader();
    QString text;
    for (const QModelIndex& row : rows) {
        QStringList fields;
        for (int v = 0; v < header->count(); ++v) {
            const int c = header->logicalIndex(v);
            if (!m_pView->isColumnHidden(c))
                fields << row.sibling(row.row(), c).data(Qt::DisplayRole).toString();
        }
        text += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

bool CProtoBar::SaveLog(const QString& path, QString* error)
{
    Flush();
    QStringList header;
    for (int c = 0; c <= CProtoLogModel::COL_TEXT; ++c)
        header << CProtoLogModel::ColumnCaption(c).trimmed();
    QByteArray out = header.join(QLatin1Char('\t')).toUtf8() + '\n';
    const QAbstractItemModel* shown = Shown();
    for (int r = 0; r < shown->rowCount(); ++r) {
        QStringList fields;
        for (int c = 0; c <= CProtoLogModel::COL_TEXT; ++c)
            fields << shown->data(shown->index(r, c), Qt::DisplayRole).toString();
        out += fields.join(QLatin1Char('\t')).toUtf8() + '\n';
    }
    return Write(path, out, error);
}

bool CProtoBar::SaveCsv(const QString& path, bool shownOnly, QString* error)
{
    Flush();
    QByteArray out = "time,relative_ms,device,address,kind,description,raw\r\n";
    const int count = shownOnly ? Shown()->rowCount() : m_model.GetLineCount();
    for (int r = 0; r < count; ++r) {
        const CProtoLogModel::SRow& row = m_model.Row(shownOnly ? LogRow(r) : r);
        const QStringList fields = {
            CProtoLogModel::ClockText(row.llWallMs),
            QString::number(row.dwDelta),
            CsvField(row.strDevice),
            row.nAddress > 0 ? QString::number(row.nAddress) : QString(),
            QString::number(row.nKind),
            CsvField(row.strText),
            CProtoLogModel::RawHex(row.raw),
        };
        out += fields.join(QLatin1Char(',')).toUtf8() + "\r\n";
    }
    return Write(path, out, error);
}

void CProtoBar::OnSave(bool csv, bool shownOnly)
{
    const QString path =
        AskSavePath(this, QStringLiteral("Сохранить журнал"), QString(),
                    csv ? QStringLiteral("Файлы CSV (*.csv);;Все файлы (*)")
                        : QStringLiteral("Текстовые файлы (*.txt *.tsv);;Все файлы (*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!(csv ? SaveCsv(path, shownOnly, &error) : SaveLog(path, &error)))
        QMessageBox::warning(
            this, QStringLiteral("Ошибка"),
            QStringLiteral("Не удаётся сохранить журнал в \"%1\": %2").arg(path, error));
}

} // namespace korvex
