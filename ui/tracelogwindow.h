#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

class QPushButton;
class QTreeWidget;

namespace ui {

// The trace-log window (frmTraceLog): one row per trace entry while it is shown. Rows are
// collected cheaply and added in batches on a short timer, so a burst of entries neither
// freezes the window nor slows the server. Column widths are kept per user, in twips.
class TraceLogWindow final : public QWidget {
    Q_OBJECT
public:
    // showHelp opens the help for the trace log.
    explicit TraceLogWindow(std::function<void()> showHelp, QWidget* parent = nullptr);

    // Rows are added only while this is true: from loading or activating the window until
    // its Close button, its close box or the end of the program.
    bool m_isvisible = false;

    // The menu's Trace Log...: loads the window when it is not loaded, shows and activates it.
    void showFromMenu();
    // Removes every row, those waiting for the next batch too.
    void ClearLog();
    // A trace entry: its text and its time text ("15 ms", or empty). Does nothing unless
    // m_isvisible; never touches a control itself.
    void AddEntry(const QString& description, const QString& processingTime);
    // Saves the column widths and stops collecting; the rows are gone. The close box and the
    // program's end.
    void unload();
    // Adds the rows waiting for the timer now.
    void flushEntries();

    // Settings keys and default widths (twips) of the columns, in column order.
    struct Column {
        const char* labelId;
        const char* widthKey;
        int defaultWidth;
    };
    static const std::vector<Column>& columns();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Entry {
        qint64 msecs;
        QString description;
        QString processingTime;
    };

    void load();
    void layoutControls();
    void saveColumnWidths() const;
    double dpi() const;

    QTreeWidget* lvTrace = nullptr;
    QPushButton* cmdClose = nullptr;
    QPushButton* cmdClear = nullptr;
    QPushButton* cmdHelp = nullptr;
    bool m_loaded = false;
    QString m_timeFormat;
    std::vector<Entry> m_pending;
    QTimer m_batch;
};

} // namespace ui
