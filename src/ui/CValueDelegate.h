#pragma once

#include <QStyledItemDelegate>

#include <cstdint>
#include <functional>

namespace korvex {

class CDevItem;
class CDevModel;

// Edits a cell's value in place, in the device window's value column: a
// number field in the base the settings give for editing (EDITHEX), whose
// buttons keep to the cell's bounds. What is typed goes to the commit
// function, which checks and writes it. The field keeps what the user types
// while the master changes the value meanwhile. User-interface thread.
class CValueDelegate final : public QStyledItemDelegate
{
public:
    // hex tells the base at the moment an editor opens; commit writes the
    // value and answers the refusal, empty when the value was taken.
    using Commit = std::function<QString(CDevItem* item, std::uint16_t value)>;
    CValueDelegate(const CDevModel& model, std::function<bool()> hex, Commit commit,
                   QObject* parent = nullptr);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

private:
    // The message after the editor has closed: a modal box while it commits
    // would take its focus and commit it once more.
    static void ShowRefusal(QWidget* editor, const QString& text);

    const CDevModel& m_model;
    std::function<bool()> m_fnHex;
    Commit m_fnCommit;
};

} // namespace korvex
