#include "ui/CGraphDlg.h"

#include "core/CDevDoc.h"
#include "core/ValueType.h"
#include "ui/FileDialogs.h"
#include "ui/UiText.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace korvex {

CGraphDlg::CGraphDlg(CDevItem& item, QWidget* parent) : QWidget(parent, Qt::Window), m_pItem(&item)
{
    setAttribute(Qt::WA_DeleteOnClose);
    const QString title =
        QStringLiteral("График: %1 (%2)").arg(Qs(item.GetDesc()), Qs(item.GetId()));
    setWindowTitle(title);
    static const char* const icons[] = { "graph-coil", "graph-dinp", "graph-hreg", "graph-ireg" };
    if (item.GetType() >= 0 && item.GetType() <= 3)
        setWindowIcon(
            QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(icons[item.GetType()]))));
    m_pGraph = new CGraphWnd(this);
    QString caption = QStringLiteral("Значение");
    if (const CDevDoc* doc = item.GetDoc()) {
        const SValueType type = doc->GetCellView(item.GetType(), item.GetAddr()).type;
        if (type != SValueType{} && !IsTextType(type)) {
            caption += QStringLiteral(" (") + Qs(FormatValueType(type)) + QLatin1Char(')');
            m_pGraph->SetIntegerLabels(IsIntegerType(type));
        }
    }
    m_pGraph->SetCaptions(title, QStringLiteral("Время"), caption);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pGraph);
    // The dialog's size, or less on a small screen, in the middle of it.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    resize(std::min(550, screen.width() * 9 / 10), std::min(430, screen.height() * 9 / 10));
    move(screen.center() - rect().center());

    connect(&m_timer, &QTimer::timeout, this, [this] { Sample(NowFileTime()); });
    m_timer.start(kSamplePeriod);
}

CGraphDlg::~CGraphDlg()
{
    Detach();
}

void CGraphDlg::Detach()
{
    if (m_pItem != nullptr) {
        m_pItem->SetGraphWnd(nullptr);
        m_pItem = nullptr;
    }
    m_timer.stop();
}

void CGraphDlg::Sample(FileTime now)
{
    if (m_pItem == nullptr)
        return;
    const std::optional<double> value = Value();
    if (!value || std::isnan(*value) || std::isinf(*value))
        return;
    const double v = *value;
    CGraphWnd& g = *m_pGraph;
    if (g.GetPointCount() < 2) {
        g.AddPoint(v, now - kFtSecond);
        g.AddPoint(v, now);
    } else if (GRAPHWNDDATAPOINT* last = g.GetLastPoint(); last->dValue == v) {
        // A value that holds extends the last sample.
        last->ftTime = now;
        g.ExtendBounds(last->dValue, now);
    } else {
        g.AddPoint(v, now - kFtMillisecond);
        g.AddPoint(v, now);
    }
    g.update();
}

std::optional<double> CGraphDlg::Value() const
{
    const CDevDoc* doc = m_pItem->GetDoc();
    if (doc != nullptr && !doc->GetCellView(m_pItem->GetType(), m_pItem->GetAddr()).IsDefault())
        return doc->GetTypedNumber(m_pItem->GetType(), m_pItem->GetAddr());
    return m_pItem->GetValue();
}

void CGraphDlg::RequestSample()
{
    Sample(NowFileTime());
}

void CGraphDlg::Close()
{
    // The cell goes: it has cleared its link already.
    m_pItem = nullptr;
    m_timer.stop();
    close();
}

void CGraphDlg::closeEvent(QCloseEvent* event)
{
    Detach();
    event->accept();
}

bool CGraphDlg::SavePng(const QString& path, QString* error) const
{
    const QImage image = m_pGraph->grab().toImage();
    if (!image.save(path, "PNG")) {
        if (error != nullptr)
            *error = QStringLiteral("файл не записан");
        return false;
    }
    return true;
}

void CGraphDlg::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* save = menu.addAction(QStringLiteral("Сохранить как PNG..."));
    menu.addSeparator();
    menu.addAction(QStringLiteral("Отмена"));
    if (menu.exec(event->globalPos()) != save)
        return;
    const QString path = AskSavePath(this, QStringLiteral("Сохранить график"), QString(),
                                     QStringLiteral("Изображения PNG (*.png)"));
    QString reason;
    if (!path.isEmpty() && !SavePng(path, &reason))
        QMessageBox::warning(this, QStringLiteral("Ошибка"),
                             QStringLiteral("Не удаётся сохранить \"%1\": %2").arg(path, reason));
}

} // namespace korvex
