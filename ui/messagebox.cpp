#include "ui/messagebox.h"

#include "ui/appicon.h"

#include <QMessageBox>
#include <utility>
#include <vector>

namespace ui {

namespace {
using Buttons = std::vector<std::pair<QMessageBox::StandardButton, int>>;

QMessageBox::Icon iconOf(int style) {
    switch (style & 0xF0) {
    case 16:
        return QMessageBox::Critical;
    case 32:
        return QMessageBox::Question;
    case 48:
        return QMessageBox::Warning;
    case 64:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

Buttons buttonsOf(int style) {
    switch (style & 0x0F) {
    case 1:
        return {{QMessageBox::Ok, 1}, {QMessageBox::Cancel, 2}};
    case 2:
        return {{QMessageBox::Abort, 3}, {QMessageBox::Retry, 4}, {QMessageBox::Ignore, 5}};
    case 3:
        return {{QMessageBox::Yes, 6}, {QMessageBox::No, 7}, {QMessageBox::Cancel, 2}};
    case 4:
        return {{QMessageBox::Yes, 6}, {QMessageBox::No, 7}};
    case 5:
        return {{QMessageBox::Retry, 4}, {QMessageBox::Cancel, 2}};
    default:
        return {{QMessageBox::Ok, 1}};
    }
}
} // namespace

int ShowMessageBox(QWidget* parent, const QString& text, int style, const QString& title) {
    QMessageBox box(iconOf(style), title, text, QMessageBox::NoButton, parent);
    box.setWindowIcon(AppIcon());
    const Buttons buttons = buttonsOf(style);
    for (const auto& [button, code] : buttons)
        box.addButton(button);
    box.setDefaultButton(buttons.front().first);
    box.exec();
    const auto pressed = box.standardButton(box.clickedButton());
    for (const auto& [button, code] : buttons)
        if (button == pressed)
            return code;
    // Closed without a button (a box with Yes and No only): the last button, No.
    return buttons.back().second;
}

} // namespace ui
