// One connection of the dashboard's server (host/web/loopbackServer.h) as
// httplib reads and writes it: the socket non-blocking, its network events
// on an event of its own, every wait ending at a deadline or at the
// server's stop event, and between requests also when a new connection
// needs the thread. It counts a request's bytes and times it from its first
// byte, so that no client holds a thread longer than the server's limits
// allow.
#pragma once

// winsock2.h before windows.h, which httplib sees to.
#include <cpp-httplib/httplib.h>

#include <atomic>

// What a client may take of a connection thread.
struct ServerLimits {
    int connections = 16;           // served at once, each on a thread of its own (at most 63)
    size_t requestBytes = 16384;    // request line and headers; a GET or HEAD has no body
    unsigned long requestMs = 3000; // from a request's first byte to its last
    unsigned long idleMs = 5000;    // waiting for a connection's first or next request
    unsigned long freshMs = 100;    // a new connection's wait no newer one may cut short
    unsigned long writeMs = 5000;   // for the client to take a whole response
    size_t requestsPerConnection = 100;
};

// What the server tells its connections, and they it.
struct ServerSignals {
    HANDLE stop = nullptr;    // manual reset: the server stops
    HANDLE crowded = nullptr; // auto reset: a new connection needs the thread of one that waits for a request
    std::atomic<int> *yielding = nullptr; // connections waiting now that would give their thread up
};

class ConnectionStream : public httplib::Stream {
public:
    ConnectionStream(SOCKET socket, const ServerSignals &signals, const ServerLimits &limits);
    ~ConnectionStream() override;
    ConnectionStream(const ConnectionStream &) = delete;
    ConnectionStream &operator=(const ConnectionStream &) = delete;

    // Waits, at most the idle time, for the first byte of the next request,
    // which then has its own time and size. False when the client closed or
    // stayed silent, a new connection needs the thread, or the server stops.
    bool nextRequest();
    // The request was longer than a request head may be.
    bool overflowed() const { return overflowed_; }
    // Something of an answer went out for the request.
    bool answered() const { return answered_; }
    // After a refusal: sends what remains, then takes what the client still
    // sends until it closes, for at most a second and 64 KB: a close with
    // unread bytes would reset the connection, and Windows would throw the
    // answer away.
    void finish();

    bool is_readable() const override;
    bool is_writable() const override { return true; }
    ssize_t read(char *ptr, size_t size) override;
    ssize_t write(const char *ptr, size_t size) override;
    void get_remote_ip_and_port(std::string &ip, int &port) const override;
    void get_local_ip_and_port(std::string &ip, int &port) const override;
    socket_t socket() const override { return socket_; }

private:
    int fill() const;
    bool await(ULONGLONG deadline) const;

    SOCKET socket_;
    const ServerSignals &signals_;
    const ServerLimits &limits_;
    WSAEVENT event_;
    bool ready_ = false;
    mutable char buffer_[4096];
    mutable size_t offset_ = 0;
    mutable size_t length_ = 0;
    mutable ULONGLONG deadline_ = 0;
    bool idle_ = false; // waiting for a request: a newer connection may take the thread
    ULONGLONG idleSince_ = 0;
    size_t requests_ = 0; // begun on this connection
    size_t left_ = 0;     // bytes the request may still have
    ULONGLONG writeDeadline_ = 0;
    bool overflowed_ = false;
    bool answered_ = false;
};
