// The data connection settings dialog: the one part of the data server on
// QtWidgets, linked into the executable only.
#include "common/error.h"
#include "common/version.h"
#include "contract/namedmutex.h"
#include "dbsvr/config.h"
#include "dbsvr/configmode.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace dbsvr {

namespace {
constexpr int PARENT_CHECK_INTERVAL_MS = 500;

class ConfigDialog final : public QDialog {
public:
    explicit ConfigDialog(const QString& folder) : m_folder(folder) {
        setWindowTitle(common::ProductName() + QStringLiteral(" - Data Connection Settings"));
        auto* layout = new QGridLayout(this);
        layout->addWidget(
            new QLabel(QStringLiteral("SQLite database of the application in\n") + folder), 0, 0, 1,
            2);
        m_file = new QLineEdit(this);
        m_file->setMinimumWidth(420);
        layout->addWidget(m_file, 1, 0);
        auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
        layout->addWidget(browse, 1, 1);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        layout->addWidget(buttons, 2, 0, 1, 2);
        connect(browse, &QPushButton::clicked, this, &ConfigDialog::browse);
        connect(buttons, &QDialogButtonBox::accepted, this, &ConfigDialog::save);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        try {
            m_file->setText(Config::Load(folder).databasePath());
        } catch (const common::Error&) {
            // No usable configuration yet: the user is here to make one.
        }
    }

private:
    void browse() {
        const QString start =
            m_file->text().isEmpty() ? m_folder : QFileInfo(m_file->text()).absolutePath();
        const QString file = QFileDialog::getOpenFileName(
            this, windowTitle(), start,
            QStringLiteral("SQLite databases (*.db *.sqlite *.sqlite3);;All files (*)"));
        if (!file.isEmpty())
            m_file->setText(file);
    }

    void save() {
        const QString file = m_file->text().trimmed();
        if (file.isEmpty()) {
            QMessageBox::warning(this, windowTitle(), QStringLiteral("Choose a database file."));
            return;
        }
        const QString problem = DatabaseProblem(file);
        if (!problem.isEmpty() &&
            QMessageBox::question(this, windowTitle(),
                                  problem + QStringLiteral("\n\nSave this setting anyway?")) !=
                QMessageBox::Yes)
            return;
        try {
            SaveDatabaseSetting(m_folder, DatabaseSettingFor(m_folder, file));
        } catch (const common::Error& e) {
            QMessageBox::critical(this, windowTitle(), e.description());
            return;
        }
        accept();
    }

    QString m_folder;
    QLineEdit* m_file = nullptr;
};

bool parentGone(const QString& parentMutex) {
    try {
        return !parentMutex.isEmpty() && !dataserver::MutexExists(parentMutex);
    } catch (const common::Error&) {
        return true;
    }
}
} // namespace

int RunConfigDialog(int& argc, char** argv, const QString& configFolder,
                    const QString& parentMutex) {
    if (parentGone(parentMutex))
        return 0;
    QApplication app(argc, argv);
    ConfigDialog dialog(configFolder);
    QTimer parentCheck;
    QObject::connect(&parentCheck, &QTimer::timeout, &dialog, [&] {
        if (parentGone(parentMutex))
            dialog.reject();
    });
    parentCheck.start(PARENT_CHECK_INTERVAL_MS);
    dialog.exec();
    return 0;
}

} // namespace dbsvr
