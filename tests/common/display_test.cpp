// Whether a window can be shown, asked of the display itself before Qt is.
#include "common/display.h"
#include "tests/support/qtprinters.h"
#include "tests/support/scopedenvironment.h"
#include "tests/support/xserver.h"

#include <QLocalServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A listening socket stands in for a compositor: the probe only asks whether it answers.
class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_runtime.isValid());
        ASSERT_TRUE(m_compositor.listen(m_runtime.filePath("wayland-7")));
    }
    QTemporaryDir m_runtime;
    QLocalServer m_compositor;
};

} // namespace

TEST_F(DisplayTest, OnlyADisplayThatAnswersCounts) {
    const QByteArray silentX = support::UnusedDisplay().toLatin1();
    const QByteArray runtime = m_runtime.path().toLocal8Bit();
    const QByteArray compositor = m_runtime.filePath("wayland-7").toLocal8Bit();
    const struct {
        const char* platform;
        const char* x;
        const char* wayland;
        bool available;
        QString reason;
    } cases[] = {
        {nullptr, nullptr, nullptr, false, "DISPLAY and WAYLAND_DISPLAY are not set"},
        {"offscreen", ":0", "wayland-7", false, "QT_QPA_PLATFORM is offscreen"},
        {"minimal", nullptr, "wayland-7", false, "QT_QPA_PLATFORM is minimal"},
        {nullptr, silentX, nullptr, false, "no X server answers at DISPLAY=" + silentX},
        {nullptr, nullptr, "wayland-7", true, ""},
        {nullptr, nullptr, compositor, true, ""},
        {nullptr, silentX, "wayland-7", true, ""},
        {nullptr, nullptr, "wayland-9", false,
         "no Wayland compositor answers at WAYLAND_DISPLAY=wayland-9"},
        {"xcb", silentX, "wayland-7", false, "no X server answers at DISPLAY=" + silentX},
        {"xcb", nullptr, "wayland-7", false, "QT_QPA_PLATFORM is xcb and its display is not set"},
        {"wayland", silentX, "wayland-7", true, ""},
    };
    for (const auto& c : cases) {
        const support::ScopedEnvironment env{{"QT_QPA_PLATFORM", c.platform},
                                             {"DISPLAY", c.x},
                                             {"WAYLAND_DISPLAY", c.wayland},
                                             {"XDG_RUNTIME_DIR", runtime.constData()}};
        const common::DisplayProbe probe = common::ProbeDisplay();
        const std::string which = std::string(c.platform ? c.platform : "-") + " " +
                                  (c.x ? c.x : "-") + " " + (c.wayland ? c.wayland : "-");
        EXPECT_EQ(probe.available, c.available) << which;
        EXPECT_EQ(probe.reason, c.reason) << which;
        EXPECT_EQ(common::DisplayAvailable(), c.available) << which;
    }
}

TEST(Display, ARunningXServerCounts) {
    if (!support::XServer::Installed())
        GTEST_SKIP() << "Xvfb is not installed";
    support::XServer x;
    ASSERT_TRUE(x.running());
    const QByteArray display = x.display().toLatin1();
    const support::ScopedEnvironment env{{"QT_QPA_PLATFORM", nullptr},
                                         {"DISPLAY", display.constData()},
                                         {"WAYLAND_DISPLAY", nullptr}};
    EXPECT_TRUE(common::ProbeDisplay().available) << common::ProbeDisplay().reason.toStdString();
}
