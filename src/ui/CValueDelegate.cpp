#include "ui/CValueDelegate.h"

#include "core/CDevItem.h"
#include "ui/CDevModel.h"
#include "ui/CEditDexHex.h"

#include <QMessageBox>
#include <QTimer>

namespace korvex {
namespace {

// Set on an editor once it shows the cell's value: later repaints of the
// row (a master writing) must not replace what the user types.
constexpr char kFilled[] = "korvexFilled";

} // namespace

CValueDelegate::CValueDelegate(const CDevModel& model, std::function<bool()> hex, Commit commit,
                               QObject* parent)
    : QStyledItemDelegate(parent), m_model(model), m_fnHex(std::move(hex)),
      m_fnCommit(std::move(commit))
{
}

QWidget* CValueDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                      const QModelIndex& index) const
{
    const CDevItem* item = m_model.ItemOf(index);
    if (item == nullptr)
        return nullptr;
    auto* editor = new CEditDexHex(m_fnHex(), parent);
    editor->SetRange(item->GetMin(), item->GetMax());
    editor->setFrame(false);
    return editor;
}

void CValueDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    auto* field = static_cast<CEditDexHex*>(editor);
    const CDevItem* item = m_model.ItemOf(index);
    if (item == nullptr || field->property(kFilled).toBool())
        return;
    field->SetNumber(item->GetValue());
    field->setProperty(kFilled, true);
}

void CValueDelegate::setModelData(QWidget* editor, QAbstractItemModel*,
                                  const QModelIndex& index) const
{
    auto* field = static_cast<CEditDexHex*>(editor);
    CDevItem* item = m_model.ItemOf(index);
    if (item == nullptr)
        return;
    ShowRefusal(editor, field->IsOverflow() ? field->GetOverflowMessage()
                                            : m_fnCommit(item, field->GetNumber()));
}

void CValueDelegate::ShowRefusal(QWidget* editor, const QString& text)
{
    if (text.isEmpty())
        return;
    QWidget* window = editor->window();
    QTimer::singleShot(0, window, [window, text] {
        QMessageBox::warning(window, QStringLiteral("Ошибка"), text);
    });
}

} // namespace korvex
