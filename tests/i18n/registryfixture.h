#pragma once

#include <QByteArray>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Points the registry's per-user and system folders into a temporary folder
// for the test's duration.
class RegistryFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_oldHome = qgetenv("XDG_CONFIG_HOME");
        m_oldDirs = qgetenv("XDG_CONFIG_DIRS");
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("home").toUtf8());
        qputenv("XDG_CONFIG_DIRS", (m_dir.filePath("system") + ":/etc/xdg").toUtf8());
    }
    void TearDown() override {
        restore("XDG_CONFIG_HOME", m_oldHome);
        restore("XDG_CONFIG_DIRS", m_oldDirs);
    }

    QTemporaryDir m_dir;

private:
    static void restore(const char* name, const QByteArray& value) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    QByteArray m_oldHome;
    QByteArray m_oldDirs;
};
