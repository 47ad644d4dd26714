#include "ui/aboutbox.h"

#include "common/version.h"
#include "ui/appicon.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace ui {

namespace {
QLabel* namedLabel(const char* name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}
} // namespace

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ") + common::ApplicationTitle());
    setWindowIcon(AppIcon());

    auto* picture = new QLabel(this);
    picture->setPixmap(AppIcon().pixmap(64, 64));
    auto* name = namedLabel("lblProgramName", common::ApplicationTitle(), this);
    QFont bold = name->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    name->setFont(bold);
    // The third part of the version (0) is shown nowhere.
    const QString version = QStringLiteral("Program Version %1.%2 (build %3)")
                                .arg(common::VERSION_MAJOR)
                                .arg(common::VERSION_MINOR)
                                .arg(common::VERSION_REVISION);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->addWidget(picture, 0, 0, 4, 1, Qt::AlignTop);
    layout->addWidget(name, 0, 1);
    layout->addWidget(namedLabel("lblProgramVersion", version, this), 1, 1);
    layout->addWidget(namedLabel("lblCopyright", common::Copyright(), this), 2, 1);
    layout->addWidget(
        namedLabel("lblDevelopedBy", QStringLiteral("Developed by ") + common::CompanyName(), this),
        3, 1);
    layout->addWidget(buttons, 4, 0, 1, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace ui
