#include "host/web/loopbackServer.h"

#include <algorithm>

#include "host/web/connectionStream.h"

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

// What an over-long request is told.
std::string tooLongText(const ServerLimits &limits)
{
    return "vornhost takes a request line and headers of at most " + std::to_string(limits.requestBytes) + " bytes\n";
}

// The connection whose request this thread answers, for the handlers that
// httplib calls without it.
thread_local ConnectionStream *tServing = nullptr;

// Whether the response closes its connection: every refusal does, so that
// what a refused request sent after its head (a body, the rest of an
// over-long header) is never read as a request of its own.
thread_local bool tClosing = false;

// "localhost" in any case, or "127.0.0.1", or "[::1]".
bool loopbackName(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name == "localhost" || name == "127.0.0.1" || name == "[::1]";
}

// A request a page of another site made the browser send (an image, a
// form, a script's fetch), by what the browser says of it: the dashboard
// answers its own page and addresses typed or followed from outside a page.
bool fromAnotherSite(const httplib::Request &request, int port)
{
    const std::string site = request.get_header_value("Sec-Fetch-Site");
    if (!site.empty() && site != "same-origin" && site != "none")
        return true;
    if (!request.has_header("Origin"))
        return false;
    const std::string origin = request.get_header_value("Origin");
    const std::string suffix = ":" + std::to_string(port);
    return origin != "http://localhost" + suffix && origin != "http://127.0.0.1" + suffix;
}

// A connection refused at once: what it sent already is taken first, so
// that the close does not reset the connection before the answer is read.
void refuse(SOCKET socket, const std::string &answer)
{
    char scrap[4096];
    while (recv(socket, scrap, sizeof scrap, 0) > 0) {
    }
    send(socket, answer.data(), static_cast<int>(answer.size()), 0);
    shutdown(socket, SD_SEND);
    closesocket(socket);
}

} // namespace

LoopbackServer::LoopbackServer(ServerLimits limits) : limits_(limits)
{
    // The threads are waited for together, at most 64 handles at once.
    limits_.connections = std::clamp(limits_.connections, 1, MAXIMUM_WAIT_OBJECTS - 1);
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
        if (fromAnotherSite(request, port_)) {
            response.status = 403;
            response.set_content("vornhost's dashboard answers its own page only, not another site's\n", kPlainText);
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
    set_error_handler(HandlerWithResponse([this](const httplib::Request &, httplib::Response &response) {
        if (tServing != nullptr && tServing->overflowed()) {
            response.status = 431;
            response.set_content(tooLongText(limits_), kPlainText);
        } else if (response.body.empty()) {
            response.set_content(std::to_string(response.status) + " " +
                                     httplib::detail::status_message(response.status) + "\n",
                                 kPlainText);
        }
        return HandlerResponse::Handled;
    }));
    set_post_routing_handler([](const httplib::Request &, httplib::Response &response) {
        if (response.status < 400)
            return;
        tClosing = true;
        response.headers.erase("Keep-Alive");
        response.set_header("Connection", "close");
    });
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
            return "cannot serve " + where +
                   ": the port is in use (by another program, or by connections of an earlier run still closing)";
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
    signals_ = {stop_, crowded_, &yielding_};
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
    if (!threads_.empty()) {
        const DWORD ended = WaitForMultipleObjects(static_cast<DWORD>(threads_.size()), threads_.data(), TRUE, 10000);
        if (ended == WAIT_TIMEOUT || ended == WAIT_FAILED)
            return false;
    }
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
        for (int failed = 0;;) {
            const SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET) {
                const int error = WSAGetLastError();
                if (error == WSAEWOULDBLOCK)
                    break;
                // A connection its client closed before it was taken: the
                // next. Out of sockets or memory, or failing on: a moment
                // before the next try.
                if ((error == WSAECONNRESET || error == WSAECONNABORTED) && ++failed < 1000)
                    continue;
                WaitForSingleObject(stop_, 100);
                break;
            }
            WSAEventSelect(client, nullptr, 0);
            if (WaitForSingleObject(free_, 0) != WAIT_OBJECT_0 && !makeRoom()) {
                refuse(client, kTooManyConnections);
                continue;
            }
            EnterCriticalSection(&queueLock_);
            queue_.push_back(client);
            LeaveCriticalSection(&queueLock_);
            ReleaseSemaphore(waiting_, 1, nullptr);
        }
    }
}

// Asks one idle connection to give up its thread, and waits a moment for it;
// false at once when none waits that would.
bool LoopbackServer::makeRoom()
{
    constexpr DWORD kGiveUpMs = 20;
    if (yielding_ == 0)
        return false;
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
// decides how long the connection lasts: a refusal, an over-long request,
// the last request allowed or the client's close ends it.
void LoopbackServer::serve(SOCKET client)
{
    {
        ConnectionStream stream(client, signals_, limits_);
        tServing = &stream;
        bool refused = false;
        for (size_t n = 1; n <= limits_.requestsPerConnection && stream.nextRequest(); ++n) {
            const bool last = n == limits_.requestsPerConnection || WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0;
            bool closedByClient = false;
            tClosing = false;
            const bool served = process_request(stream, last, closedByClient, nullptr);
            if (stream.overflowed() && !stream.answered()) {
                // httplib had not read the request line to its end: no answer yet.
                const std::string tooLong =
                    closingAnswer("431 Request Header Fields Too Large", "", tooLongText(limits_));
                stream.write(tooLong.data(), tooLong.size());
            }
            refused = tClosing || stream.overflowed();
            if (!served || closedByClient || last || refused)
                break;
        }
        tServing = nullptr;
        // Only a refused request may leave bytes unread behind its answer;
        // a connection that ends between requests closes at once.
        if (refused)
            stream.finish();
        else
            shutdown(client, SD_SEND);
    }
    closesocket(client);
}
