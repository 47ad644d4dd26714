#pragma once

// Real HTTP clients on their own threads: each fetches the example application's
// "newcustomer" form (its nonce and token) and posts it, as a browser does.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <vector>

namespace dynamictest {

// What one post got.
struct PostOutcome {
    QString name;       // the customer's name posted
    int port = 0;       // the server it went to
    QByteArray answer;  // the whole answer to the post ("" when none came)
    bool saved = false; // answered by the redirect to its saved page
};

// One request on a new loopback connection; the whole answer, "" when the
// connection failed or nothing came within timeoutMs.
QByteArray Exchange(int port, const QByteArray& request, int timeoutMs = 60000);

// The status code of an answer (0 when it has no status line).
int StatusOf(const QByteArray& answer);

// The hidden fields of one fetched form: a post carries them back.
struct FormFields {
    QString nonce;
    QString token; // "" when no form came
};

// Fetches the form from port until it carries a token (the data server may be
// down for a while); an empty token when none came within two minutes.
FormFields FetchForm(int port);

// Posts a new customer with this name through the form fetched before.
PostOutcome PostForm(int port, const FormFields& form, const QString& name);

// Fetches the form, then posts a new customer with this name.
PostOutcome PostCustomer(int port, const QString& name);

// Posts every name from `clients` concurrent clients; name k goes to
// ports[k % ports.size()]. done counts the posts answered so far.
std::vector<PostOutcome> PostConcurrently(const std::vector<int>& ports, const QStringList& names,
                                          int clients, std::atomic<int>& done);

} // namespace dynamictest
