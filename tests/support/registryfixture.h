#pragma once

#include "tests/support/qtprinters.h"
#include "tests/support/scopedenvironment.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

// Points the registry's per-user and system folders into a temporary folder for the test's
// duration.
class RegistryFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_environment.set("XDG_CONFIG_HOME", m_dir.filePath("home").toUtf8().constData());
        m_environment.set("XDG_CONFIG_DIRS",
                          (m_dir.filePath("system") + ":/etc/xdg").toUtf8().constData());
    }

    QTemporaryDir m_dir;

private:
    support::ScopedEnvironment m_environment;
};
