#include "desktopfixture.h"
#include "ui/messagebox.h"

#include <gtest/gtest.h>

using support::ModalDriver;

TEST(MessageBoxTest, StylesGiveTheirIconButtonsAndAnswerCodes) {
    struct Case {
        int style;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton press;
        int answer;
    };
    const Case cases[] = {
        {16, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok, 1},
        {48, QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok, 1},
        {64, QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok, 1},
        {51, QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
         QMessageBox::Yes, 6},
        {51, QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
         QMessageBox::No, 7},
        {51, QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
         QMessageBox::Cancel, 2},
        {33, QMessageBox::Question, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel, 2},
    };
    for (const Case& c : cases) {
        ModalDriver modals;
        modals.answers.push_back(c.press);
        EXPECT_EQ(ui::ShowMessageBox(nullptr, "text", c.style, "Quorvex (1.0.202)"), c.answer)
            << c.style;
        ASSERT_EQ(modals.boxes.size(), 1u);
        EXPECT_EQ(modals.boxes[0].icon, c.icon) << c.style;
        EXPECT_EQ(modals.boxes[0].buttons, c.buttons) << c.style;
        EXPECT_EQ(modals.boxes[0].title, "Quorvex (1.0.202)");
    }
}
