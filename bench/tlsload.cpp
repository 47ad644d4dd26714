// HTTPS load over loopback, for bench/static.sh --tls.
//
//   qv_tlsload --cacert FILE [-c CLIENTS] [-d SECONDS] [-n TRIES] MODE URL
//
//   new              every request a new connection and a full handshake
//   resume           the same, each connection resuming the ticket its client got last
//   hold N           N connections with finished handshakes and no request, kept until standard
//                    input closes or a signal comes; prints "held N" once they are open
//   bad HALF GARBAGE HALF connections that sent half a ClientHello and GARBAGE that sent random
//                    bytes, kept open while TRIES requests on fresh connections are timed
//
// URL is https://HOST:PORT/PATH; the server's certificate must be issued for "localhost" (the
// name sent in SNI) by FILE. Each request says "Connection: close" and is read to the server's
// close: status 200 and exactly Content-Length bytes of body, else it counts as an error.
// new and resume run CLIENTS threads, each one blocking connection at a time, for SECONDS;
// every mode prints one line of key=value figures, and the first few errors on stderr.
#include <openssl/err.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* const SERVER_NAME = "localhost";
// Longer than any answer takes on loopback; a server that stalls shows as an error, not a hang.
const int IO_TIMEOUT_S = 10;
const size_t HEADER_LIMIT = 64 * 1024;
const size_t READ_BUFFER = 64 * 1024;
const size_t GARBAGE_BYTES = 517; // the size of a typical ClientHello
const int ERRORS_SHOWN = 5;

// A request that failed; the text says where.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct CtxFree {
    void operator()(SSL_CTX* p) const { SSL_CTX_free(p); }
};
struct SslFree {
    void operator()(SSL* p) const { SSL_free(p); }
};
struct SessionFree {
    void operator()(SSL_SESSION* p) const { SSL_SESSION_free(p); }
};
using CtxPtr = std::unique_ptr<SSL_CTX, CtxFree>;
using SslPtr = std::unique_ptr<SSL, SslFree>;
using SessionPtr = std::unique_ptr<SSL_SESSION, SessionFree>;

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(Fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }

private:
    int m_fd = -1;
};

[[noreturn]] void failErrno(const std::string& what, int error) {
    throw Failure(what + ": " + std::strerror(error));
}

// The reason OpenSSL gives for ret of the call what on ssl; errno as the call left it.
[[noreturn]] void failSsl(SSL* ssl, int ret, const std::string& what) {
    const int error = errno;
    const int kind = SSL_get_error(ssl, ret);
    const unsigned long code = ERR_get_error();
    std::string text = what + ": ";
    if (code != 0) {
        char reason[256];
        ERR_error_string_n(code, reason, sizeof reason);
        text += reason;
        const long verify = SSL_get_verify_result(ssl);
        if (verify != X509_V_OK)
            text += std::string(" (") + X509_verify_cert_error_string(verify) + ")";
    } else if (kind == SSL_ERROR_WANT_READ || kind == SSL_ERROR_WANT_WRITE) {
        text += "nothing for " + std::to_string(IO_TIMEOUT_S) + " s";
    } else if (kind == SSL_ERROR_SYSCALL && error != 0) {
        text += std::strerror(error);
    } else if (kind == SSL_ERROR_SYSCALL || kind == SSL_ERROR_ZERO_RETURN) {
        text += "connection closed";
    } else {
        text += "SSL error " + std::to_string(kind);
    }
    ERR_clear_error();
    throw Failure(text);
}

// Shows the first few errors of a run, from any thread.
void reportError(const char* text) {
    static std::atomic<int> shown{0};
    static std::mutex lock;
    if (shown.fetch_add(1) >= ERRORS_SHOWN)
        return;
    std::lock_guard guard(lock);
    std::fprintf(stderr, "qv_tlsload: %s\n", text);
}

struct Target {
    sockaddr_storage address{};
    socklen_t length = 0;
    std::string request; // the whole GET
};

// https://HOST:PORT/PATH, HOST a name, an IPv4 address or an IPv6 one in brackets.
Target parseUrl(const std::string& url) {
    const std::string scheme = "https://";
    if (url.compare(0, scheme.size(), scheme) != 0)
        throw std::invalid_argument("not an https:// address: " + url);
    const size_t hostStart = scheme.size();
    const size_t slash = url.find('/', hostStart);
    const std::string authority = url.substr(hostStart, slash - hostStart);
    const std::string path = slash == std::string::npos ? "/" : url.substr(slash);
    const size_t colon = authority.rfind(':');
    if (colon == std::string::npos || colon + 1 == authority.size())
        throw std::invalid_argument("no port in " + url);
    std::string host = authority.substr(0, colon);
    const std::string port = authority.substr(colon + 1);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);

    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &found); rc != 0)
        throw std::invalid_argument(host + ": " + gai_strerror(rc));
    Target target;
    std::memcpy(&target.address, found->ai_addr, found->ai_addrlen);
    target.length = found->ai_addrlen;
    freeaddrinfo(found);
    target.request = "GET " + path + " HTTP/1.1\r\nHost: " + authority +
                     "\r\nUser-Agent: qv_tlsload\r\nConnection: close\r\n\r\n";
    return target;
}

// A blocking TCP connection whose reads, writes and connect give up after IO_TIMEOUT_S.
Fd connectTo(const Target& target) {
    Fd fd(::socket(target.address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0)
        failErrno("socket", errno);
    const timeval timeout{IO_TIMEOUT_S, 0};
    const int one = 1;
    setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&target.address), target.length) != 0)
        failErrno("connect", errno);
    return fd;
}

// Takes the tickets of the connections of one client (resume mode): the SSL's app data is
// the client's latest session, replaced by every ticket that comes.
int keepTicket(SSL* ssl, SSL_SESSION* session) {
    auto* latest = static_cast<SessionPtr*>(SSL_get_app_data(ssl));
    if (latest == nullptr)
        return 0;
    latest->reset(session);
    return 1;
}

CtxPtr makeContext(const std::string& caFile) {
    CtxPtr ctx(SSL_CTX_new(TLS_client_method()));
    if (!ctx)
        throw std::runtime_error("SSL_CTX_new failed");
    SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
    if (SSL_CTX_load_verify_locations(ctx.get(), caFile.c_str(), nullptr) != 1)
        throw std::runtime_error("cannot read the certificate " + caFile);
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
    static const unsigned char alpn[] = "\x08http/1.1";
    SSL_CTX_set_alpn_protos(ctx.get(), alpn, sizeof alpn - 1);
    // The server closes after its answer; the body's length tells a cut answer anyway.
    SSL_CTX_set_options(ctx.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
    // Tickets go to keepTicket only, never to a cache of the context's own.
    SSL_CTX_set_session_cache_mode(ctx.get(),
                                   SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx.get(), keepTicket);
    return ctx;
}

struct Connection {
    Fd fd;
    SslPtr ssl;
};

// Connects and finishes the handshake, offering resume when given; tickets the server sends
// later go to latest when given.
Connection handshake(SSL_CTX* ctx, const Target& target, SSL_SESSION* resume = nullptr,
                     SessionPtr* latest = nullptr) {
    Connection c{connectTo(target), SslPtr(SSL_new(ctx))};
    SSL* ssl = c.ssl.get();
    if (ssl == nullptr)
        throw Failure("SSL_new failed");
    SSL_set_fd(ssl, c.fd.get());
    SSL_set_tlsext_host_name(ssl, SERVER_NAME);
    SSL_set1_host(ssl, SERVER_NAME);
    SSL_set_app_data(ssl, latest);
    if (resume != nullptr)
        SSL_set_session(ssl, resume);
    ERR_clear_error();
    if (const int rc = SSL_connect(ssl); rc != 1)
        failSsl(ssl, rc, "handshake");
    return c;
}

// The Content-Length of an answer's header (without its blank line) if its status is 200.
uint64_t checkHeader(std::string_view header) {
    const std::string_view statusLine = header.substr(0, header.find("\r\n"));
    const bool ok = statusLine.substr(0, 7) == "HTTP/1." && statusLine.substr(8, 4) == " 200" &&
                    (statusLine.size() == 12 || statusLine[12] == ' ');
    if (!ok)
        throw Failure("answer \"" + std::string(statusLine) + "\"");
    const std::string_view name = "content-length:";
    for (size_t at = header.find("\r\n"); at != std::string_view::npos;) {
        const size_t start = at + 2;
        at = header.find("\r\n", start);
        const std::string_view line = header.substr(start, at - start);
        if (line.size() <= name.size() ||
            !std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
                return a == std::tolower(static_cast<unsigned char>(b));
            }))
            continue;
        std::string_view value = line.substr(name.size());
        value.remove_prefix(std::min(value.find_first_not_of(" \t"), value.size()));
        uint64_t length = 0;
        const auto [end, error] = std::from_chars(value.begin(), value.end(), length);
        if (error != std::errc() || value.empty())
            throw Failure("Content-Length \"" + std::string(value) + "\"");
        return length;
    }
    throw Failure("no Content-Length");
}

// Sends the GET and reads the answer to the server's close; the body's size.
uint64_t exchange(SSL* ssl, const Target& target, std::vector<char>& buffer) {
    ERR_clear_error();
    if (const int rc = SSL_write(ssl, target.request.data(), int(target.request.size())); rc <= 0)
        failSsl(ssl, rc, "send");
    std::string header;
    std::optional<uint64_t> length;
    uint64_t body = 0;
    for (;;) {
        const int n = SSL_read(ssl, buffer.data(), int(buffer.size()));
        if (n <= 0) {
            if (SSL_get_error(ssl, n) == SSL_ERROR_ZERO_RETURN)
                break;
            failSsl(ssl, n,
                    !length           ? "header"
                    : body == *length ? "open after the answer (no Connection: close?)"
                                      : "body");
        }
        if (length) {
            body += uint64_t(n);
        } else {
            header.append(buffer.data(), size_t(n));
            const size_t end = header.find("\r\n\r\n");
            if (end == std::string::npos) {
                if (header.size() > HEADER_LIMIT)
                    throw Failure("header longer than 64 KiB");
                continue;
            }
            length = checkHeader(std::string_view(header).substr(0, end));
            body = header.size() - end - 4;
        }
        if (body > *length)
            throw Failure("more than Content-Length bytes");
    }
    if (!length)
        throw Failure("closed before the header's end");
    if (body != *length)
        throw Failure("closed after " + std::to_string(body) + " of " + std::to_string(*length) +
                      " bytes");
    // Both close_notify seen or the socket closed: the session stays resumable when freed.
    SSL_set_shutdown(ssl, SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
    return body;
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One request on a new connection; resume and latest as for handshake. Whether the session
// was resumed and the body's size.
struct Fetched {
    bool resumed = false;
    uint64_t bytes = 0;
};
Fetched fetch(SSL_CTX* ctx, const Target& target, std::vector<char>& buffer,
              SSL_SESSION* resume = nullptr, SessionPtr* latest = nullptr) {
    Connection c = handshake(ctx, target, resume, latest);
    const bool resumed = SSL_session_reused(c.ssl.get()) == 1;
    return {resumed, exchange(c.ssl.get(), target, buffer)};
}

struct Options {
    std::string caFile;
    int clients = 50;
    double seconds = 10;
    int tries = 5;
    std::string mode;
    std::vector<int> counts; // hold N; bad HALF GARBAGE
    std::string url;
};

// What one client thread of a load run did.
struct Client {
    SessionPtr latest; // resume mode: the last ticket this client got
    uint64_t requests = 0;
    uint64_t bytes = 0;
    uint64_t resumed = 0;
    uint64_t errors = 0;
    std::vector<float> latencies; // ms
};

void runClient(SSL_CTX* ctx, const Target& target, bool resume, Clock::time_point deadline,
               Client& client) {
    std::vector<char> buffer(READ_BUFFER);
    while (Clock::now() < deadline) {
        const auto start = Clock::now();
        try {
            const Fetched f = fetch(ctx, target, buffer, resume ? client.latest.get() : nullptr,
                                    resume ? &client.latest : nullptr);
            ++client.requests;
            client.bytes += f.bytes;
            client.resumed += f.resumed ? 1 : 0;
            client.latencies.push_back(float(msSince(start)));
        } catch (const Failure& e) {
            ++client.errors;
            reportError(e.what());
            // A server that refuses everything would otherwise be hammered in a tight loop.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

// The value below which 99 % of the latencies lie; 0 for none.
double p99(std::vector<float> ms) {
    if (ms.empty())
        return 0;
    const size_t at = (ms.size() * 99 + 99) / 100 - 1;
    std::nth_element(ms.begin(), ms.begin() + long(at), ms.end());
    return ms[at];
}

int runLoad(const Options& o, SSL_CTX* ctx, const Target& target) {
    const bool resume = o.mode == "resume";
    std::vector<Client> clients(size_t(o.clients));
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(o.seconds));
    {
        std::vector<std::jthread> threads;
        for (Client& c : clients)
            threads.emplace_back(runClient, ctx, std::cref(target), resume, deadline, std::ref(c));
    }
    const double seconds = msSince(start) / 1000;
    Client total;
    for (Client& c : clients) {
        total.requests += c.requests;
        total.bytes += c.bytes;
        total.resumed += c.resumed;
        total.errors += c.errors;
        total.latencies.insert(total.latencies.end(), c.latencies.begin(), c.latencies.end());
    }
    std::printf("requests=%llu seconds=%.3f requests_per_s=%.1f bytes=%llu mib_per_s=%.1f "
                "resumed=%llu errors=%llu p99_ms=%.3f\n",
                static_cast<unsigned long long>(total.requests), seconds,
                double(total.requests) / seconds, static_cast<unsigned long long>(total.bytes),
                double(total.bytes) / seconds / (1024 * 1024),
                static_cast<unsigned long long>(total.resumed),
                static_cast<unsigned long long>(total.errors), p99(std::move(total.latencies)));
    return total.requests > 0 ? 0 : 1;
}

// Blocks until standard input is closed (or at its end) or SIGINT, SIGTERM or SIGHUP comes.
// The signals are blocked from the call of blockReleaseSignals on, so none is lost.
sigset_t blockReleaseSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&signals, s);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    return signals;
}

void waitForRelease(const sigset_t& signals) {
    Fd signalFd(signalfd(-1, &signals, SFD_CLOEXEC));
    pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0}, {signalFd.get(), POLLIN, 0}};
    char scratch[512];
    for (;;) {
        if (poll(watched, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (watched[1].revents != 0)
            return;
        if (watched[0].revents != 0 && ::read(STDIN_FILENO, scratch, sizeof scratch) <= 0)
            return;
    }
}

int runHold(const Options& o, SSL_CTX* ctx, const Target& target) {
    const sigset_t signals = blockReleaseSignals();
    const int wanted = o.counts.at(0);
    std::vector<Connection> held;
    held.reserve(size_t(wanted));
    int errors = 0;
    for (int i = 0; i < wanted; ++i) {
        try {
            held.push_back(handshake(ctx, target));
        } catch (const Failure& e) {
            ++errors;
            reportError(e.what());
        }
    }
    // The server answers one more request only after it has taken the handshakes before it
    // (a TLS 1.3 client finishes before the server has read its Finished).
    std::vector<char> buffer(READ_BUFFER);
    try {
        fetch(ctx, target, buffer);
    } catch (const Failure& e) {
        ++errors;
        reportError(e.what());
    }
    std::printf("held %zu\n", held.size());
    if (errors > 0)
        std::printf("errors=%d\n", errors);
    std::fflush(stdout);
    waitForRelease(signals);
    return errors == 0 ? 0 : 1;
}

// The first message of a handshake, as this client would send it.
std::string clientHello(SSL_CTX* ctx) {
    SslPtr ssl(SSL_new(ctx));
    BIO* in = BIO_new(BIO_s_mem());
    BIO* out = BIO_new(BIO_s_mem());
    if (!ssl || in == nullptr || out == nullptr)
        throw std::runtime_error("cannot make a ClientHello");
    SSL_set_bio(ssl.get(), in, out);
    SSL_set_tlsext_host_name(ssl.get(), SERVER_NAME);
    SSL_set_connect_state(ssl.get());
    SSL_do_handshake(ssl.get()); // writes the hello, then waits for an answer that never comes
    char* data = nullptr;
    const long size = BIO_get_mem_data(out, &data);
    if (size <= 0)
        throw std::runtime_error("cannot make a ClientHello");
    return std::string(data, size_t(size));
}

// A connection that sent bytes and is left open.
Fd openSending(const Target& target, std::string_view bytes) {
    Fd fd = connectTo(target);
    if (::send(fd.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0)
        failErrno("send", errno);
    return fd;
}

int runBad(const Options& o, SSL_CTX* ctx, const Target& target) {
    const std::string hello = clientHello(ctx);
    const std::string_view halfHello(hello.data(), hello.size() / 2);
    std::string garbage(GARBAGE_BYTES, '\0');
    RAND_bytes(reinterpret_cast<unsigned char*>(garbage.data()), int(garbage.size()));

    std::vector<Fd> open;
    int refused = 0;
    for (int i = 0; i < o.counts.at(0) + o.counts.at(1); ++i) {
        try {
            open.push_back(openSending(target, i < o.counts[0] ? halfHello : garbage));
        } catch (const Failure& e) {
            ++refused;
            reportError(e.what());
        }
    }

    std::vector<char> buffer(READ_BUFFER);
    std::vector<double> ms;
    int errors = 0;
    for (int i = 0; i < o.tries; ++i) {
        const auto start = Clock::now();
        try {
            fetch(ctx, target, buffer);
            ms.push_back(msSince(start));
        } catch (const Failure& e) {
            ++errors;
            reportError(e.what());
        }
    }
    std::string list;
    for (double m : ms) {
        char text[32];
        std::snprintf(text, sizeof text, "%s%.2f", list.empty() ? "" : ",", m);
        list += text;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("half=%d garbage=%d open=%zu refused=%d tries=%d errors=%d median_ms=%.3f "
                "max_ms=%.3f latencies_ms=%s\n",
                o.counts[0], o.counts[1], open.size(), refused, o.tries, errors,
                ms.empty() ? 0.0 : ms[(ms.size() - 1) / 2], ms.empty() ? 0.0 : ms.back(),
                list.empty() ? "-" : list.c_str());
    return errors == 0 ? 0 : 1;
}

[[noreturn]] void usage(const std::string& why) {
    std::fprintf(stderr,
                 "qv_tlsload: %s\n"
                 "usage: qv_tlsload --cacert FILE [-c CLIENTS] [-d SECONDS] [-n TRIES]\n"
                 "                  new|resume|hold N|bad HALF GARBAGE https://HOST:PORT/PATH\n",
                 why.c_str());
    std::exit(2);
}

int positive(const char* text) {
    int value = 0;
    const std::string_view s(text);
    const auto [end, error] = std::from_chars(s.begin(), s.end(), value);
    if (error != std::errc() || end != s.end() || value < 0)
        usage(std::string("not a count: ") + text);
    return value;
}

Options parseOptions(int argc, char** argv) {
    Options o;
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--cacert" && hasValue)
            o.caFile = argv[++i];
        else if (arg == "-c" && hasValue)
            o.clients = std::max(1, positive(argv[++i]));
        else if (arg == "-d" && hasValue)
            o.seconds = std::max(1, positive(argv[++i]));
        else if (arg == "-n" && hasValue)
            o.tries = std::max(1, positive(argv[++i]));
        else if (!arg.empty() && arg[0] == '-')
            usage("unknown option " + arg);
        else
            rest.push_back(arg);
    }
    if (o.caFile.empty())
        usage("--cacert is needed");
    if (rest.size() < 2)
        usage("mode and address are needed");
    o.mode = rest.front();
    o.url = rest.back();
    const size_t counts = o.mode == "hold" ? 1 : o.mode == "bad" ? 2 : 0;
    if ((o.mode != "new" && o.mode != "resume" && counts == 0) || rest.size() != counts + 2)
        usage("unknown mode or wrong counts: " + o.mode);
    for (size_t i = 1; i <= counts; ++i)
        o.counts.push_back(positive(rest[i].c_str()));
    return o;
}

// Hundreds of connections at once need more descriptors than the usual soft limit.
void raiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);
    raiseDescriptorLimit();
    try {
        const Target target = parseUrl(options.url);
        const CtxPtr ctx = makeContext(options.caFile);
        if (options.mode == "hold")
            return runHold(options, ctx.get(), target);
        if (options.mode == "bad")
            return runBad(options, ctx.get(), target);
        return runLoad(options, ctx.get(), target);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qv_tlsload: %s\n", e.what());
        return 1;
    }
}
