#include "formposter.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace dynamictest {

namespace {

QString hiddenField(const QString& html, const QString& name) {
    const QRegularExpression input("<input type=\"hidden\" name=\"" +
                                   QRegularExpression::escape(name) + "\" value=\"([^\"]*)\"");
    return input.match(html).captured(1);
}

QByteArray enc(const QString& value) {
    return QUrl::toPercentEncoding(value);
}

} // namespace

QByteArray Exchange(int port, const QByteArray& request, int timeoutMs) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QByteArray answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) == request.size()) {
        const QDeadlineTimer deadline(timeoutMs);
        char buffer[16384];
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, int(deadline.remainingTime())) <= 0)
                break;
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            answer.append(buffer, n);
        }
    }
    ::close(fd);
    return answer;
}

int StatusOf(const QByteArray& answer) {
    if (!answer.startsWith("HTTP/1."))
        return 0;
    return answer.mid(9, 3).toInt();
}

FormFields FetchForm(int port) {
    FormFields fields;
    const QDeadlineTimer deadline(120000);
    while (fields.token.isEmpty() && !deadline.hasExpired()) {
        const QByteArray form =
            Exchange(port, "GET /?page=form&name=newcustomer HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        const QString html = QString::fromUtf8(form);
        fields.nonce = hiddenField(html, "formnonce");
        fields.token = hiddenField(html, "formtoken");
        if (fields.token.isEmpty())
            QThread::msleep(100);
    }
    return fields;
}

PostOutcome PostForm(int port, const FormFields& form, const QString& name) {
    PostOutcome outcome{name, port, {}, false};
    if (form.token.isEmpty())
        return outcome;
    const QByteArray body = "page=form&name=newcustomer&formnonce=" + enc(form.nonce) +
                            "&formtoken=" + enc(form.token) + "&f.name=" + enc(name) +
                            "&f.city=Bern&f.country=Switzerland&f.email=";
    outcome.answer = Exchange(port, "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                                    "application/x-www-form-urlencoded\r\nContent-Length: " +
                                        QByteArray::number(body.size()) + "\r\n\r\n" + body);
    outcome.saved = outcome.answer == "HTTP/1.0 302 Redirect\r\nStatus: 302 Moved\r\nLocation: "
                                      "/?page=saved&form=newcustomer&entry=" +
                                          form.nonce.toLatin1() + "\r\nConnection: close\r\n\r\n";
    return outcome;
}

PostOutcome PostCustomer(int port, const QString& name) {
    return PostForm(port, FetchForm(port), name);
}

std::vector<PostOutcome> PostConcurrently(const std::vector<int>& ports, const QStringList& names,
                                          int clients, std::atomic<int>& done) {
    std::vector<PostOutcome> outcomes(size_t(names.size()));
    std::atomic<int> next{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&] {
            for (int k = next++; k < names.size(); k = next++) {
                outcomes[size_t(k)] = PostCustomer(ports[size_t(k) % ports.size()], names[k]);
                ++done;
            }
        });
    for (std::thread& t : threads)
        t.join();
    return outcomes;
}

} // namespace dynamictest
