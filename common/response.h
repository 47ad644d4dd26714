#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <memory>

class QFile;

namespace common {

// One HTTP answer as every part that answers a request builds it: the HTTP layer's own
// answers, static files, the dynamic pages and the web application's pages. The HTTP layer
// alone puts it on the wire (head() and the body, or the file). Header text goes out in the
// code page: that conversion is made here, as a line is added.
struct Response {
    // How the answer reaches the wire.
    enum class Form {
        Complete, // the status line, the header lines in order, the blank line, the body
        Page,     // a page body only: the HTTP layer sends it behind its own "200 OK" head,
                  // which takes the header lines it carries
        Verbatim, // a whole answer written by the web application itself, sent as it stands
    };

    // A body sent straight from an open file as the socket drains, never held in memory.
    struct File {
        std::shared_ptr<QFile> file; // open for reading at the body's first byte
        qint64 length = 0;
    };

    Form form = Form::Complete;
    QByteArray version = QByteArrayLiteral("HTTP/1.1");
    int status = 200;
    QByteArray reason;                            // "" : ReasonPhrase(status)
    QList<QPair<QByteArray, QByteArray>> headers; // name and value as sent, in order
    QByteArray body;                              // the whole answer, for Verbatim
    File file;                                    // when it holds a file, the body
    // The HTTP layer sends the answer no sooner than this many milliseconds after it was
    // made, holding the connection and nothing else: a refused sign-in is answered late, so
    // that a client that asks again at once cannot ask often, and no thread waits for it.
    int holdMs = 0;

    Response() = default;
    explicit Response(int status, QByteArray reason = {})
        : status(status), reason(std::move(reason)) {}

    // An HTML page: the text as UTF-8, "Content-Type: text/html; charset=utf-8".
    static Response page(const QString& html, int status = 200);
    // The answer that sends the browser to location: "HTTP/1.0 302 Redirect",
    // "Status: 302 Moved", "Location: <location>", "Connection: close". The caller sees to
    // it that location holds no line break.
    static Response redirectTo(const QString& location);
    static Response PageBody(QByteArray body);
    static Response Verbatim(QByteArray answer);

    // A header line. name is a string literal: it is kept as it stands, without a copy.
    template <qsizetype N> Response& add(const char (&name)[N], const QByteArray& value) {
        headers.append({QByteArray::fromRawData(name, N - 1), value});
        return *this;
    }
    template <qsizetype N> Response& add(const char (&name)[N], const QString& value) {
        return add(name, encoded(value));
    }
    // "Content-Length" of the body or the file as they stand now.
    Response& addContentLength();
    Response& setFile(std::shared_ptr<QFile> file, qint64 length);

    // The value of the first header line called name (any letter case); "" when none is.
    QByteArray header(const char* name) const;
    bool hasFile() const { return file.file != nullptr; }
    qint64 bodyLength() const { return hasFile() ? file.length : body.size(); }

    // What goes on the wire before the body: the status line, the header lines and the blank
    // line of a complete answer; nothing for the other forms, whose body is all there is.
    QByteArray head() const;

private:
    static QByteArray encoded(const QString& value);
};

// "Not Found" for 404 and so on: the reason of every status the program sends, "" for others.
QByteArray ReasonPhrase(int status);

} // namespace common
