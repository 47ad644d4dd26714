#include "webapp/pages/applicationpages.h"

#include "common/codepage.h"
#include "webapp/pages/chartplaceholders.h"
#include "webapp/pages/errorpages.h"

#include <QRegularExpression>

namespace webapp {

namespace {

const QString PAGES_FOLDER = QStringLiteral("pages");
const QString PAGE_SUFFIX = QStringLiteral(".htm");

Response pageFile(const PageEnvironment& env, const QString& name, const QString& fallbackTitle) {
    const QString folder = env.context.applicationSubfolder(PAGES_FOLDER);
    const std::optional<QByteArray> bytes = ReadApplicationFile(env, folder, name);
    if (!bytes)
        return NotFoundPage(env, env.label("webPageMissing", name));
    QString title;
    const QString content = PageFileContent(*bytes, &title);
    // The application's author writes its pages as HTML: shown as they are, charts placed.
    return env.page(title.isEmpty() ? fallbackTitle : title,
                    "<div class=\"apppage\">\n" + PageWithCharts(env, content) + "\n</div>",
                    QStringLiteral("home"));
}

} // namespace

std::optional<QByteArray> ReadApplicationFile(const PageEnvironment& env, const QString& folder,
                                              const QString& name) {
    return env.application.files().read(folder, name);
}

bool IsPlainFileName(const QString& name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
        name.startsWith(QLatin1Char('.')) || name.size() > 255)
        return false;
    for (const QChar c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 ||
            c.unicode() == 0x7F)
            return false;
    return true;
}

QString PageFileContent(const QByteArray& bytes, QString* title) {
    static const QByteArray BOM("\xEF\xBB\xBF");
    const QString text = bytes.startsWith(BOM) ? QString::fromUtf8(bytes.mid(BOM.size()))
                                               : common::FromCodePage(bytes);
    static const QRegularExpression titleTag(QStringLiteral("<title[^>]*>(.*?)</title\\s*>"),
                                             QRegularExpression::CaseInsensitiveOption |
                                                 QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression bodyOpen(QStringLiteral("<body(\\s[^>]*)?>"),
                                             QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch open = bodyOpen.match(text);
    if (!open.hasMatch())
        return text;
    if (title) {
        const QRegularExpressionMatch t = titleTag.match(text.left(open.capturedStart()));
        // The title is HTML text: its entities are read here and escaped again in the frame.
        if (t.hasMatch())
            *title = HtmlUnescape(t.captured(1)).simplified();
    }
    const qsizetype start = open.capturedEnd();
    const qsizetype end = text.lastIndexOf(QStringLiteral("</body"), -1, Qt::CaseInsensitive);
    return text.mid(start, end < start ? -1 : end - start);
}

Response HomePage(const PageEnvironment& env) {
    return pageFile(env, QStringLiteral("home") + PAGE_SUFFIX, env.label("webHomeTitle"));
}

Response NamedPage(const PageEnvironment& env) {
    QString name = env.field(QStringLiteral("name"));
    if (!IsPlainFileName(name))
        return NotFoundPage(env);
    if (name.endsWith(PAGE_SUFFIX, Qt::CaseInsensitive))
        name.chop(PAGE_SUFFIX.size());
    return pageFile(env, name + PAGE_SUFFIX, name);
}

} // namespace webapp
