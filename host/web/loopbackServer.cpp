#include "host/web/loopbackServer.h"

#include <algorithm>
#include <cstring>

namespace {

// An answer written without httplib, the connection closed after it.
std::string closingAnswer(const char *status, const std::string &extra, const std::string &body)
{
    return std::string("HTTP/1.1 ") + status + "\r\nConnection: close\r\n" + extra +
           "Content-Type: text/plain; charset=utf-8\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
           body;
}

// What a client beyond the connection threads gets, at once.
const std::string kTooManyConnections =
    closingAnswer("503 Service Unavailable", "Retry-After: 1\r\n",
                  "vornhost serves as many connections as it takes; try again shortly\n");

const char kPlainText[] = "text/plain; charset=utf-8";

// A connection's socket as httplib reads and writes it: non-blocking, its
// network events on an event of its own, each wait for data or for room
// ending at the server's stop event or at a deadline. Reads are buffered;
// a request's bytes are counted from nextRequest() on.
class ConnectionStream : public httplib::Stream {
public:
    ConnectionStream(SOCKET socket, HANDLE stop, HANDLE crowded, const ServerLimits &limits)
        : socket_(socket), stop_(stop), crowded_(crowded), limits_(limits), event_(WSACreateEvent())
    {
        ready_ = event_ != WSA_INVALID_EVENT && WSAEventSelect(socket_, event_, FD_READ | FD_WRITE | FD_CLOSE) == 0;
    }
    ~ConnectionStream() override
    {
        if (event_ != WSA_INVALID_EVENT) {
            WSAEventSelect(socket_, nullptr, 0);
            WSACloseEvent(event_);
        }
    }
    ConnectionStream(const ConnectionStream &) = delete;
    ConnectionStream &operator=(const ConnectionStream &) = delete;

    // Waits, at most the idle time, for the first byte of the next request,
    // which then has its own time and size. False when the client closed
    // or stayed silent, a new connection needs the thread, or the server
    // stops.
    bool nextRequest()
    {
        if (!ready_)
            return false;
        deadline_ = GetTickCount64() + limits_.idleMs;
        idle_ = true;
        const int got = offset_ < length_ ? 1 : fill();
        idle_ = false;
        if (got <= 0)
            return false;
        deadline_ = GetTickCount64() + limits_.requestMs;
        left_ = limits_.requestBytes;
        overflowed_ = answered_ = false;
        return true;
    }

    // The request was longer than a request head may be and nothing was
    // answered: httplib had not read its line or headers to the end.
    bool overflowedUnanswered() const { return overflowed_ && !answered_; }

    bool is_readable() const override { return offset_ < length_ || fill() > 0; }
    bool is_writable() const override { return true; }

    ssize_t read(char *ptr, size_t size) override
    {
        if (offset_ == length_) {
            const int got = fill();
            if (got <= 0)
                return got;
        }
        const size_t n = std::min({size, length_ - offset_, left_});
        if (n == 0) {
            overflowed_ = true;
            return -1;
        }
        std::memcpy(ptr, buffer_ + offset_, n);
        offset_ += n;
        left_ -= n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char *ptr, size_t size) override
    {
        const ULONGLONG deadline = GetTickCount64() + limits_.writeMs;
        answered_ = true;
        for (size_t done = 0; done < size;) {
            const int chunk = static_cast<int>(std::min<size_t>(size - done, 1 << 16));
            const int sent = send(socket_, ptr + done, chunk, 0);
            if (sent > 0)
                done += static_cast<size_t>(sent);
            else if (sent == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK && await(deadline))
                continue;
            else
                return -1;
        }
        return static_cast<ssize_t>(size);
    }

    void get_remote_ip_and_port(std::string &ip, int &port) const override
    {
        httplib::detail::get_remote_ip_and_port(socket_, ip, port);
    }
    void get_local_ip_and_port(std::string &ip, int &port) const override
    {
        httplib::detail::get_local_ip_and_port(socket_, ip, port);
    }
    socket_t socket() const override { return socket_; }

private:
    // Into the buffer: the bytes received (0: the client closed), or -1 on
    // an error, at the deadline or at the stop.
    int fill() const
    {
        for (;;) {
            const int got = recv(socket_, buffer_, sizeof buffer_, 0);
            if (got >= 0) {
                offset_ = 0;
                length_ = static_cast<size_t>(got);
                return got;
            }
            if (WSAGetLastError() != WSAEWOULDBLOCK || !await(deadline_))
                return -1;
        }
    }

    // Until the socket has news or the deadline passes or the server stops,
    // or, between requests, a new connection needs the thread.
    bool await(ULONGLONG deadline) const
    {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return false;
        const HANDLE wakes[] = {stop_, event_, crowded_};
        const DWORD woken = WaitForMultipleObjects(idle_ ? 3 : 2, wakes, FALSE, static_cast<DWORD>(deadline - now));
        if (woken != WAIT_OBJECT_0 + 1)
            return false;
        WSANETWORKEVENTS events;
        return WSAEnumNetworkEvents(socket_, event_, &events) == 0; // resets the event
    }

    SOCKET socket_;
    HANDLE stop_;
    HANDLE crowded_;
    const ServerLimits &limits_;
    WSAEVENT event_;
    bool ready_ = false;
    mutable char buffer_[4096];
    mutable size_t offset_ = 0;
    mutable size_t length_ = 0;
    mutable ULONGLONG deadline_ = 0;
    bool idle_ = false; // waiting for a request: a new connection may take the thread
    size_t left_ = 0;
    bool overflowed_ = false;
    bool answered_ = false;
};

// "localhost" in any case, or "127.0.0.1", or "[::1]".
bool loopbackName(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name == "localhost" || name == "127.0.0.1" || name == "[::1]";
}

void closeAfterSending(SOCKET socket)
{
    shutdown(socket, SD_SEND);
    closesocket(socket);
}

} // namespace

LoopbackServer::LoopbackServer(ServerLimits limits) : limits_(limits)
{
    InitializeCriticalSection(&queueLock_);
    set_default_headers({{"Cache-Control", "no-store"},
                         {"X-Content-Type-Options", "nosniff"},
                         {"X-Frame-Options", "DENY"},
                         {"Referrer-Policy", "no-referrer"}});
    set_payload_max_length(0);
    // What httplib's Keep-Alive header tells the client.
    set_keep_alive_max_count(limits_.requestsPerConnection);
    set_keep_alive_timeout(static_cast<time_t>(limits_.idleMs / 1000));
    set_expect_100_continue_handler([](const httplib::Request &, httplib::Response &) { return 417; });
    set_pre_routing_handler([this](const httplib::Request &request, httplib::Response &response) {
        if (!addressedHere(request)) {
            response.status = 421;
            response.set_content("vornhost answers requests for localhost or 127.0.0.1 only\n", kPlainText);
            return HandlerResponse::Handled;
        }
        if (request.method != "GET" && request.method != "HEAD") {
            response.status = 405;
            response.set_header("Allow", "GET, HEAD");
            response.set_content("vornhost's dashboard is read-only: GET and HEAD\n", kPlainText);
            return HandlerResponse::Handled;
        }
        return HandlerResponse::Unhandled;
    });
    set_error_handler(HandlerWithResponse([](const httplib::Request &, httplib::Response &response) {
        if (!response.body.empty())
            return HandlerResponse::Unhandled;
        response.set_content(std::to_string(response.status) + " " + httplib::detail::status_message(response.status) +
                                 "\n",
                             kPlainText);
        return HandlerResponse::Handled;
    }));
}

LoopbackServer::~LoopbackServer()
{
    if (stop())
        DeleteCriticalSection(&queueLock_);
}

// One Host header naming a loopback name, with this server's port or none:
// a page from elsewhere that had its name resolve to 127.0.0.1 still sends
// its own name.
bool LoopbackServer::addressedHere(const httplib::Request &request) const
{
    if (request.get_header_value_count("Host") != 1)
        return false;
    const std::string host = request.get_header_value("Host");
    const size_t colon = host.rfind(':');
    if (colon == std::string::npos || host.back() == ']')
        return loopbackName(host);
    return loopbackName(host.substr(0, colon)) && host.substr(colon + 1) == std::to_string(port_);
}

std::string LoopbackServer::start(int port)
{
    port_ = port;
    const std::string where = "http://127.0.0.1:" + std::to_string(port) + "/";
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener_ == INVALID_SOCKET)
        return "cannot serve " + where + ": no socket (error " + std::to_string(WSAGetLastError()) + ")";
    // No other program may bind the port beside it and take its requests.
    BOOL exclusive = TRUE;
    setsockopt(listener_, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char *>(&exclusive),
               sizeof exclusive);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener_, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listener_, SOMAXCONN) != 0) {
        const int error = WSAGetLastError();
        stop();
        if (error == WSAEADDRINUSE || error == WSAEACCES)
            return "cannot serve " + where + ": the port is in use by another program";
        return "cannot serve " + where + ": error " + std::to_string(error);
    }
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    accepted_ = WSACreateEvent();
    free_ = CreateSemaphoreW(nullptr, limits_.connections, limits_.connections, nullptr);
    waiting_ = CreateSemaphoreW(nullptr, 0, limits_.connections, nullptr);
    crowded_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (stop_ == nullptr || accepted_ == WSA_INVALID_EVENT || free_ == nullptr || waiting_ == nullptr ||
        crowded_ == nullptr || WSAEventSelect(listener_, accepted_, FD_ACCEPT) != 0) {
        stop();
        return "cannot serve " + where + ": out of resources";
    }
    constexpr SIZE_T kStack = 512 * 1024;
    for (int i = 0; i <= limits_.connections; ++i) {
        HANDLE thread = CreateThread(nullptr, kStack, i == 0 ? listenThread : connectionThread, this,
                                     STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        if (thread == nullptr) {
            stop();
            return "cannot serve " + where + ": no thread";
        }
        threads_.push_back(thread);
    }
    return "";
}

bool LoopbackServer::stop()
{
    if (stop_ != nullptr)
        SetEvent(stop_);
    // Every wait of the threads ends at the stop event; none is inside a
    // request's handler for long (they copy and render).
    if (!threads_.empty() &&
        WaitForMultipleObjects(static_cast<DWORD>(threads_.size()), threads_.data(), TRUE, 10000) == WAIT_TIMEOUT)
        return false;
    for (HANDLE thread : threads_)
        CloseHandle(thread);
    threads_.clear();
    if (listener_ != INVALID_SOCKET)
        closesocket(listener_);
    listener_ = INVALID_SOCKET;
    for (SOCKET queued : queue_)
        closesocket(queued);
    queue_.clear();
    for (HANDLE *handle : {&stop_, &free_, &waiting_, &crowded_}) {
        if (*handle != nullptr)
            CloseHandle(*handle);
        *handle = nullptr;
    }
    if (accepted_ != nullptr && accepted_ != WSA_INVALID_EVENT)
        WSACloseEvent(accepted_);
    accepted_ = nullptr;
    return true;
}

DWORD WINAPI LoopbackServer::listenThread(void *self)
{
    static_cast<LoopbackServer *>(self)->acceptConnections();
    return 0;
}

DWORD WINAPI LoopbackServer::connectionThread(void *self)
{
    static_cast<LoopbackServer *>(self)->serveConnections();
    return 0;
}

// Takes each connection as it comes: to a free connection thread, else to
// the thread of a connection that waits for a request, which gives it up
// (silent connections must not keep out one that asks), else a 503 at once.
// An accepted socket inherits the listener's event selection; each
// connection makes its own.
void LoopbackServer::acceptConnections()
{
    const HANDLE wakes[] = {stop_, accepted_};
    while (WaitForMultipleObjects(2, wakes, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        WSANETWORKEVENTS events;
        WSAEnumNetworkEvents(listener_, accepted_, &events);
        for (SOCKET client; (client = accept(listener_, nullptr, nullptr)) != INVALID_SOCKET;) {
            WSAEventSelect(client, nullptr, 0);
            if (WaitForSingleObject(free_, 0) != WAIT_OBJECT_0 && !makeRoom()) {
                send(client, kTooManyConnections.data(), static_cast<int>(kTooManyConnections.size()), 0);
                closeAfterSending(client);
                continue;
            }
            EnterCriticalSection(&queueLock_);
            queue_.push_back(client);
            LeaveCriticalSection(&queueLock_);
            ReleaseSemaphore(waiting_, 1, nullptr);
        }
    }
}

// Asks one idle connection to give up its thread, and waits a moment for it.
bool LoopbackServer::makeRoom()
{
    constexpr DWORD kGiveUpMs = 20;
    SetEvent(crowded_);
    const bool room = WaitForSingleObject(free_, kGiveUpMs) == WAIT_OBJECT_0;
    ResetEvent(crowded_); // none was idle: no later connection is to pay for it
    return room;
}

void LoopbackServer::serveConnections()
{
    const HANDLE wakes[] = {stop_, waiting_};
    while (WaitForMultipleObjects(2, wakes, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        EnterCriticalSection(&queueLock_);
        const SOCKET client = queue_.front();
        queue_.erase(queue_.begin());
        LeaveCriticalSection(&queueLock_);
        serve(client);
        ReleaseSemaphore(free_, 1, nullptr);
    }
}

// httplib reads, routes and answers each request of the connection; this
// decides how long the connection lasts.
void LoopbackServer::serve(SOCKET client)
{
    {
        ConnectionStream stream(client, stop_, crowded_, limits_);
        for (size_t n = 1; n <= limits_.requestsPerConnection && stream.nextRequest(); ++n) {
            const bool last = n == limits_.requestsPerConnection || WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0;
            bool closedByClient = false;
            const bool served = process_request(stream, last, closedByClient, nullptr);
            if (stream.overflowedUnanswered()) {
                const std::string tooLong = closingAnswer("431 Request Header Fields Too Large", "",
                                                          "vornhost takes a request line and headers of at most " +
                                                              std::to_string(limits_.requestBytes) + " bytes\n");
                stream.write(tooLong.data(), tooLong.size());
            }
            if (!served || closedByClient || last)
                break;
        }
    }
    closeAfterSending(client);
}
