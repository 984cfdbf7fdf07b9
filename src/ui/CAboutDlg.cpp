#include "ui/CAboutDlg.h"

#include "core/Version.h"
#include "ui/Manual.h"
#include "ui/UiText.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvex {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("О программе"));
    auto* picture = new QLabel(this);
    picture->setPixmap(QIcon(QStringLiteral(":/icons/korvex.svg")).pixmap(64, 64));
    picture->setAlignment(Qt::AlignTop);

    auto* name = new QLabel(QStringLiteral("<b>Korvex</b>"), this);
    auto* product = new QLabel(QStringLiteral("Программный эмулятор MODBUS-slave"), this);
    auto* version = new QLabel(QStringLiteral("Версия: %1").arg(Qs(GetVersionText())), this);
    version->setObjectName(QStringLiteral("version"));
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* link = new QLabel(
        QStringLiteral("<a href=\"%1\">Руководство пользователя</a>").arg(ManualUrl().toString()),
        this);
    link->setOpenExternalLinks(true);
    link->setToolTip(QStringLiteral("Открыть руководство пользователя"));

    auto* text = new QVBoxLayout;
    text->addWidget(name);
    text->addWidget(product);
    text->addWidget(version);
    text->addWidget(link);
    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addLayout(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(top);
    layout->addWidget(buttons);
}

} // namespace korvex
