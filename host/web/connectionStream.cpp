#include "host/web/connectionStream.h"

#include <algorithm>
#include <cstring>

ConnectionStream::ConnectionStream(SOCKET socket, const ServerSignals &signals, const ServerLimits &limits)
    : socket_(socket), signals_(signals), limits_(limits), event_(WSACreateEvent())
{
    ready_ = event_ != WSA_INVALID_EVENT && WSAEventSelect(socket_, event_, FD_READ | FD_WRITE | FD_CLOSE) == 0;
}

ConnectionStream::~ConnectionStream()
{
    if (event_ != WSA_INVALID_EVENT) {
        WSAEventSelect(socket_, nullptr, 0);
        WSACloseEvent(event_);
    }
}

bool ConnectionStream::nextRequest()
{
    if (!ready_)
        return false;
    idleSince_ = GetTickCount64();
    deadline_ = idleSince_ + limits_.idleMs;
    idle_ = true;
    const int got = offset_ < length_ ? 1 : fill();
    idle_ = false;
    if (got <= 0)
        return false;
    ++requests_;
    deadline_ = GetTickCount64() + limits_.requestMs;
    left_ = limits_.requestBytes;
    writeDeadline_ = 0;
    overflowed_ = answered_ = false;
    return true;
}

void ConnectionStream::finish()
{
    shutdown(socket_, SD_SEND);
    if (!ready_)
        return;
    const ULONGLONG deadline = GetTickCount64() + 1000;
    size_t taken = length_ - offset_;
    offset_ = length_;
    for (;;) {
        const int got = recv(socket_, buffer_, sizeof buffer_, 0);
        if (got == 0 || (got < 0 && WSAGetLastError() != WSAEWOULDBLOCK))
            return;
        if (got > 0)
            taken += static_cast<size_t>(got);
        if (taken > 65536 || (got < 0 && !await(deadline)))
            return;
    }
}

bool ConnectionStream::is_readable() const
{
    return offset_ < length_ || fill() > 0;
}

ssize_t ConnectionStream::read(char *ptr, size_t size)
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

// The whole response shares one deadline, however httplib cuts it up.
ssize_t ConnectionStream::write(const char *ptr, size_t size)
{
    if (writeDeadline_ == 0)
        writeDeadline_ = GetTickCount64() + limits_.writeMs;
    answered_ = true;
    for (size_t done = 0; done < size;) {
        const int chunk = static_cast<int>(std::min<size_t>(size - done, 1 << 16));
        const int sent = send(socket_, ptr + done, chunk, 0);
        if (sent > 0)
            done += static_cast<size_t>(sent);
        else if (sent == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK && await(writeDeadline_))
            continue;
        else
            return -1;
    }
    return static_cast<ssize_t>(size);
}

void ConnectionStream::get_remote_ip_and_port(std::string &ip, int &port) const
{
    httplib::detail::get_remote_ip_and_port(socket_, ip, port);
}

void ConnectionStream::get_local_ip_and_port(std::string &ip, int &port) const
{
    httplib::detail::get_local_ip_and_port(socket_, ip, port);
}

// Into the buffer: the bytes received (0: the client closed), or -1 on an
// error, at the deadline or at the stop.
int ConnectionStream::fill() const
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

// Until the socket has news, the deadline passes or the server stops; or,
// waiting for a request on a connection that has had one or has waited past
// its fresh time, until a new connection needs the thread.
bool ConnectionStream::await(ULONGLONG deadline) const
{
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return false;
        const ULONGLONG yieldsFrom = requests_ > 0 ? idleSince_ : idleSince_ + limits_.freshMs;
        const bool mayYield = idle_ && now >= yieldsFrom;
        const ULONGLONG until = idle_ && !mayYield ? std::min(deadline, yieldsFrom) : deadline;
        const HANDLE wakes[] = {signals_.stop, event_, signals_.crowded};
        if (mayYield)
            ++*signals_.yielding;
        const DWORD woken = WaitForMultipleObjects(mayYield ? 3 : 2, wakes, FALSE, static_cast<DWORD>(until - now));
        if (mayYield)
            --*signals_.yielding;
        if (woken == WAIT_TIMEOUT)
            continue; // the deadline, or the time from which it may yield
        if (woken != WAIT_OBJECT_0 + 1)
            return false;
        WSANETWORKEVENTS events;
        return WSAEnumNetworkEvents(socket_, event_, &events) == 0; // resets the event
    }
}
