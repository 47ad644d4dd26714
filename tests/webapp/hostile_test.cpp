// Hostile texts, as request fields and as database values written through a form, through
// every page and export: nothing lands unescaped, nothing splits a header, every value
// comes back out of the exports as it went in.
#include "tests/support/qtprinters.h"
#include "webappapi/adminkey.h"
#include "webappfixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace webapptest;

namespace {

struct Hostile {
    QString wire;   // as a browser sends it
    QString stored; // what a customer's name holds after the form saved it; "" when refused
};

// UTF-8 texts percent-encoded as browsers send them, and some that are not UTF-8 at all.
QList<Hostile> hostileTexts() {
    QList<Hostile> texts;
    for (const char* text :
         {"<script>alert(1)</script>", "\"><img src=x onerror=alert(1)>", "' onmouseover='alert(1)",
          "a&b=c#d?e%20/..\\", "Zo\xC3\xAB \xE2\x82\xAC \xE2\x9C\x93 \xF0\x9D\x84\x9E"})
        texts.append(Hostile{Enc(QString::fromUtf8(text)), QString::fromUtf8(text)});
    texts.append(Hostile{Enc("line\r\nX-Injected: yes"), {}}); // a line break in a one-line field
    // Windows-1252 bytes that are no UTF-8: refused, never guessed at.
    texts.append(Hostile{"%E9%80%3Cscript%3E", {}});
    texts.append(Hostile{"a%00b%3Cimg%3E", {}});                 // NUL
    texts.append(Hostile{Enc(QString(20000, '<') + "img"), {}}); // too long
    return texts;
}

const char* PAGES[] = {
    "page={}",
    "page=page&name={}",
    "page=table&name={}",
    "page=table&name=customers&sort={}&dir={}&size={}&offset={}",
    "page=table&name=customers&col1=name&op1=contains&val1={}",
    "page=table&name=customers&col1={}&op1={}&val1={}",
    "page=row&table={}&k.id=1",
    "page=row&table=customers&k.{}={}",
    "page=query&name={}",
    "page=query&name=CustomersByCountry&p.country={}&run=1",
    "page=query&name=LowStock&p.threshold={}&run=1",
    "page=form&name={}",
    "page=saved&form={}&entry={}",
    "page=export&name={}&format=csv",
    "page=export&name=customers&format={}",
    "page=export&name=customers&format=csv&col1=name&op1=eq&val1={}",
    "page=export&kind=query&name=CustomersByCountry&p.country={}&run=1&format=json",
    "page=admin&key={}",
    "fn=help&context={}",
};

// Everything a page shows must have been escaped: no element or attribute of a hostile text,
// no NUL, addresses fully encoded, no header line that a value added.
void expectClean(const Page& page, const QString& what) {
    const std::string where = what.left(200).toStdString();
    for (const QByteArray& name : page.headers.keys())
        EXPECT_TRUE(QByteArrayList({"server", "date", "content-type", "content-length",
                                    "content-disposition", "cache-control", "connection",
                                    "retry-after", "referrer-policy"})
                        .contains(name))
            << name.constData() << " in " << where;
    if (page.complete && !page.headers.value("content-type").startsWith("text/html"))
        return; // an export: checked by its values
    EXPECT_FALSE(page.body.contains("<script", Qt::CaseInsensitive)) << where;
    const QString logo = "<img src=\"/logo.png\" width=\"36\" height=\"36\" alt=\"\">";
    EXPECT_FALSE(QString(page.body).remove(logo).contains("<img", Qt::CaseInsensitive)) << where;
    EXPECT_FALSE(page.body.contains("onmouseover='")) << where;
    EXPECT_FALSE(page.body.contains(QChar(0))) << where;
    static const QRegularExpression href("href=\"([^\"]*)\"");
    static const QRegularExpression plainAddress("^[A-Za-z0-9/?=&%._~+#-]*$");
    for (const auto& m : href.globalMatch(page.body))
        EXPECT_TRUE(plainAddress.match(m.captured(1).replace("&amp;", "&")).hasMatch())
            << m.captured(1).left(200).toStdString() << " in " << where;
}

// RFC 4180 records of a CSV text.
QList<QStringList> parseCsv(const QString& text) {
    QList<QStringList> records{{}};
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
            field += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == ',') {
            records.last().append(field);
            field.clear();
        } else if (!quoted && c == '\r' && text.mid(i, 2) == "\r\n") {
            records.last().append(field);
            field.clear();
            records.append(QStringList());
            ++i;
        } else {
            field += c;
        }
    }
    records.removeLast(); // after the last line end
    return records;
}

} // namespace

TEST(Hostile, ValuesFromRequestsAndFromTheDatabaseNeverLandUnescaped) {
    ExampleApplication app;
    ASSERT_TRUE(app.ready());
    Browser browser(app);
    const QList<Hostile> texts = hostileTexts();

    for (const Hostile& h : texts) {
        const QString& value = h.wire;
        for (const char* pattern : PAGES) {
            const QString query = QString::fromLatin1(pattern).replace("{}", value);
            expectClean(browser.get(query), query);
        }
        browser.application()->setItem(value, value);
    }
    expectClean(browser.get("page=admin&key=" + bridge::AdminKey(Browser::SECRET)), "admin");

    // The same texts as data: saved through the form where they are valid, echoed back with
    // a message where they are not.
    for (const Hostile& h : texts) {
        const QString& value = h.wire;
        const Page form = browser.get("page=form&name=newcustomer");
        const QString body = FormBody(form.body, {}) + "&f.name=" + value + "&f.city=" + value +
                             "&f.country=" + value + "&f.email=a%40example.com";
        const Page posted = browser.post(body);
        expectClean(posted, "post " + value);
        EXPECT_EQ(posted.redirect.isEmpty(), h.stored.isEmpty()) << value.left(100).toStdString();
        if (posted.redirect.isEmpty())
            continue;
        expectClean(browser.get(QueryOf(posted.redirect)), "saved " + value);
        expectClean(browser.get("page=query&name=CustomersByCountry&p.country=" + value + "&run=1"),
                    "query " + value);
    }
    for (const char* page :
         {"page=table&name=customers&size=100", "page=form&name=newcustomer",
          "page=row&table=customers&k.id=13", "page=row&table=customers&k.id=18"})
        expectClean(browser.get(page), page);

    const Page json = browser.get("page=export&name=customers&format=json");
    QStringList names;
    for (const QJsonValue& row : QJsonDocument::fromJson(json.content)["rows"].toArray())
        names.append(row.toArray()[1].toString());
    const Page csv = browser.get("page=export&name=customers&format=csv");
    QStringList csvNames;
    for (const QStringList& record : parseCsv(csv.body.mid(1))) // after the byte-order mark
        csvNames.append(record.value(1));
    for (const Hostile& h : texts) {
        if (h.stored.isEmpty())
            continue;
        EXPECT_TRUE(names.contains(h.stored)) << h.stored.toStdString();
        EXPECT_TRUE(csvNames.contains(h.stored)) << h.stored.toStdString();
    }
    EXPECT_EQ(csvNames.size(), names.size() + 1); // and the header
}
