// An HTTP server for this computer alone, on cpp-httplib's request parser
// and router with connections of our own (host/web/connectionStream.h): it
// listens on 127.0.0.1 only (the port held exclusively), answers only
// requests addressed to a loopback name (a DNS-rebinding page's Host gets
// 421) and not made by another site's page (403), takes GET and HEAD only
// (405), and bounds what a client can take: a fixed number of connection
// threads (when all are taken, a new connection takes the place of one that
// waits for a request; with none such it gets 503 at once), a request head
// of a few kilobytes that must arrive within seconds (431 beyond), an idle
// connection closed after a few seconds, a response that must be taken
// within seconds. A refusal closes its connection. Every wait is on the
// socket's event and the server's stop event, so that stop() ends them all
// at once. The routes are httplib's: Get(...) before start().
#pragma once

#include <string>
#include <vector>

#include "host/web/connectionStream.h"

// The type of the server's own texts: its refusals and their reasons.
inline constexpr char kPlainText[] = "text/plain; charset=utf-8";

class LoopbackServer : public httplib::Server {
public:
    explicit LoopbackServer(ServerLimits limits = {});
    ~LoopbackServer() override;
    LoopbackServer(const LoopbackServer &) = delete;
    LoopbackServer &operator=(const LoopbackServer &) = delete;

    // Listens on 127.0.0.1:port and starts the threads; an empty text, or
    // why it cannot ("port 8787 is in use by another program").
    std::string start(int port);
    // Ends every connection and thread, within a few seconds at most.
    // False when a thread did not end in time: then nothing is freed, and
    // the server must be left alive to the process's end.
    bool stop();

private:
    static DWORD WINAPI listenThread(void *self);
    static DWORD WINAPI connectionThread(void *self);
    void acceptConnections();
    bool makeRoom();
    void serveConnections();
    void serve(SOCKET client);
    bool addressedHere(const httplib::Request &request) const;

    ServerLimits limits_;
    int port_ = 0;
    SOCKET listener_ = INVALID_SOCKET;
    HANDLE stop_ = nullptr;     // manual reset: the server is stopping
    HANDLE accepted_ = nullptr; // the listener's FD_ACCEPT
    HANDLE free_ = nullptr;     // semaphore: connection threads free
    HANDLE waiting_ = nullptr;  // semaphore: accepted sockets queued for them
    HANDLE crowded_ = nullptr;  // auto reset: one idle connection is to make room
    std::atomic<int> yielding_{0};
    ServerSignals signals_;
    CRITICAL_SECTION queueLock_;
    std::vector<SOCKET> queue_;
    std::vector<HANDLE> threads_;
};
