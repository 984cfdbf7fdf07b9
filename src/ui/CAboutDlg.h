#pragma once

#include <QDialog>

namespace korvex {

// "О программе": the picture, the name, the product line, the version and a
// link to the manual.
class CAboutDlg final : public QDialog
{
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

} // namespace korvex
