#pragma once

#include <QObject>
#include <memory>
#include <vector>

namespace server {

class Listener;
class Socket;

// The control array sckServer: element 0 is the listener, elements 1..n are
// connection sockets, added one at a time and never removed. Their events come
// out of the array with the element's index.
class SocketArray final : public QObject {
    Q_OBJECT
public:
    explicit SocketArray(QObject* parent = nullptr);
    ~SocketArray() override;

    Listener& listener() { return *m_listener; }
    const Listener& listener() const { return *m_listener; }
    // Element index, 1..UBound().
    Socket& operator()(int index) {
        Q_ASSERT(index >= 1 && index <= UBound());
        return *m_sockets.at(static_cast<size_t>(index - 1));
    }
    const Socket& operator()(int index) const {
        Q_ASSERT(index >= 1 && index <= UBound());
        return *m_sockets.at(static_cast<size_t>(index - 1));
    }
    int UBound() const { return static_cast<int>(m_sockets.size()); }
    // Adds the next element (closed) and returns its index.
    int Load();

Q_SIGNALS:
    void ConnectionRequest(int Index, qintptr requestID);
    void DataArrival(int Index, qint64 bytesTotal);
    void SendComplete(int Index);
    void Close(int Index);

private:
    Listener* m_listener = nullptr; // child
    std::vector<Socket*> m_sockets; // children
};

} // namespace server
