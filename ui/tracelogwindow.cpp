#include "ui/tracelogwindow.h"

#include "common/text.h"
#include "common/usersettings.h"
#include "common/version.h"
#include "i18n/language.h"
#include "ui/appicon.h"
#include "ui/twips.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QHeaderView>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>

namespace ui {

namespace {
const int BATCH_MS = 200;
const int MARGIN = 120;      // twips around the list and between the buttons
const int LIST_SPACE = 800;  // twips below the list's top margin kept for the buttons
const int BUTTON_FROM = 500; // twips from the bottom to the buttons' top
const int BUTTON_WIDTH = 1215;
const int BUTTON_HEIGHT = 375;
const QString SECTION = QStringLiteral("Settings");

int nonNegative(int value) {
    return common::ToLong(common::NonNegative(value));
}

QPushButton* button(const char* name, QWidget* parent) {
    auto* b = new QPushButton(parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

// The short date and the long time of the locale, without the time zone a long time carries.
QString timeFormat() {
    const QLocale locale;
    QString time = locale.timeFormat(QLocale::LongFormat);
    time.remove(QLatin1Char('t'));
    return locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') + time.trimmed();
}
} // namespace

const std::vector<TraceLogWindow::Column>& TraceLogWindow::columns() {
    static const std::vector<Column> all = {
        {"lvTime", "Trace.Headers.Time.Width", 1620},
        {"lvDescription", "Trace.Headers.Description.Width", 4000},
        {"lvInfo", "Trace.Headers.Info.Width", 1000},
    };
    return all;
}

TraceLogWindow::TraceLogWindow(std::function<void()> showHelp, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmTraceLog"));
    setWindowIcon(AppIcon());
    lvTrace = new QTreeWidget(this);
    lvTrace->setObjectName(QStringLiteral("lvTrace"));
    lvTrace->setRootIsDecorated(false);
    lvTrace->setUniformRowHeights(true);             // rows of one height lay out in constant time
    lvTrace->header()->setStretchLastSection(false); // every width is the user's own
    lvTrace->setSelectionMode(QAbstractItemView::ExtendedSelection);
    cmdClose = button("cmdClose", this);
    cmdClear = button("cmdClear", this);
    cmdHelp = button("cmdHelp", this);
    connect(cmdClose, &QPushButton::clicked, this, [this] {
        hide(); // stays loaded
        ClearLog();
        m_isvisible = false;
    });
    connect(cmdClear, &QPushButton::clicked, this, &TraceLogWindow::ClearLog);
    connect(cmdHelp, &QPushButton::clicked, this, std::move(showHelp));
    m_batch.setSingleShot(true);
    m_batch.setInterval(BATCH_MS);
    connect(&m_batch, &QTimer::timeout, this, &TraceLogWindow::flushEntries);
    resize(TwipsToPixels(9000, dpi()), TwipsToPixels(5000, dpi()));
}

double TraceLogWindow::dpi() const {
    return logicalDpiX() > 0 ? logicalDpiX() : 96.0;
}

void TraceLogWindow::showFromMenu() {
    if (!m_loaded)
        load();
    show();
    raise();
    activateWindow();
    m_isvisible = true;
}

void TraceLogWindow::load() {
    setWindowTitle(i18n::Translate(QStringLiteral("wndTraceLog")));
    const std::pair<QPushButton*, const char*> texts[] = {
        {cmdClose, "btnClose"}, {cmdClear, "btnClear"}, {cmdHelp, "btnHelp"}};
    for (const auto& [b, id] : texts) {
        b->setText(i18n::Translate(QLatin1String(id)));
        b->setToolTip(i18n::Translate(QLatin1String(id) + QStringLiteral("Tip")));
        b->setProperty("labelId", QLatin1String(id));
    }
    m_isvisible = true;
    m_timeFormat = timeFormat();
    lvTrace->clear();
    QStringList headers;
    for (const Column& column : columns())
        headers << i18n::Translate(QLatin1String(column.labelId));
    lvTrace->setHeaderLabels(headers);
    int index = 0;
    for (const Column& column : columns()) {
        bool ok = false;
        int twips =
            common::GetSetting(common::ApplicationTitle(), SECTION, QLatin1String(column.widthKey))
                .toInt(&ok);
        if (!ok || twips <= 0)
            twips = column.defaultWidth;
        lvTrace->header()->resizeSection(index++, TwipsToPixels(twips, dpi()));
    }
    m_loaded = true;
    layoutControls();
}

void TraceLogWindow::unload() {
    if (m_loaded)
        saveColumnWidths();
    m_isvisible = false;
    m_loaded = false;
    ClearLog();
    hide();
}

void TraceLogWindow::saveColumnWidths() const {
    int index = 0;
    for (const Column& column : columns())
        common::SaveSetting(
            common::ApplicationTitle(), SECTION, QLatin1String(column.widthKey),
            QString::number(PixelsToTwips(lvTrace->header()->sectionSize(index++), dpi())));
}

void TraceLogWindow::ClearLog() {
    m_pending.clear();
    m_batch.stop();
    lvTrace->clear();
}

void TraceLogWindow::AddEntry(const QString& description, const QString& processingTime) {
    if (!m_isvisible)
        return;
    m_pending.push_back({QDateTime::currentMSecsSinceEpoch(), description, processingTime});
    if (!m_batch.isActive())
        m_batch.start();
}

void TraceLogWindow::flushEntries() {
    m_batch.stop();
    if (m_pending.empty())
        return;
    const QLocale locale;
    QList<QTreeWidgetItem*> rows;
    rows.reserve(qsizetype(m_pending.size()));
    // The time shows whole seconds: a busy second's rows share one formatted text.
    qint64 second = -1;
    QString timeText;
    for (const Entry& entry : m_pending) {
        if (entry.msecs / 1000 != second) {
            second = entry.msecs / 1000;
            timeText = locale.toString(QDateTime::fromMSecsSinceEpoch(second * 1000), m_timeFormat);
        }
        rows << new QTreeWidgetItem({timeText, entry.description, entry.processingTime});
    }
    m_pending.clear();
    lvTrace->addTopLevelItems(rows);
    lvTrace->scrollToItem(rows.constLast());
}

void TraceLogWindow::layoutControls() {
    const double d = dpi();
    const int w = PixelsToTwips(width(), d);
    const int h = PixelsToTwips(height(), d);
    auto px = [d](int twips) { return TwipsToPixels(nonNegative(twips), d); };
    lvTrace->setGeometry(px(MARGIN), px(MARGIN), px(w - 2 * MARGIN), px(h - LIST_SPACE));
    const int top = h - BUTTON_FROM;
    const int helpLeft = w - BUTTON_WIDTH - MARGIN;
    const int clearLeft = nonNegative(helpLeft) - BUTTON_WIDTH - MARGIN;
    const int closeLeft = nonNegative(clearLeft) - BUTTON_WIDTH - MARGIN;
    cmdHelp->setGeometry(px(helpLeft), px(top), px(BUTTON_WIDTH), px(BUTTON_HEIGHT));
    cmdClear->setGeometry(px(clearLeft), px(top), px(BUTTON_WIDTH), px(BUTTON_HEIGHT));
    cmdClose->setGeometry(px(closeLeft), px(top), px(BUTTON_WIDTH), px(BUTTON_HEIGHT));
}

void TraceLogWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutControls();
}

void TraceLogWindow::closeEvent(QCloseEvent* event) {
    unload();
    event->accept();
}

void TraceLogWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && m_loaded && isActiveWindow())
        m_isvisible = true;
}

} // namespace ui
