#include "loopbackGet.h"

#include <winsock2.h>

std::string loopbackGet(int port, const std::string &path)
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return "";
    std::string answer;
    const SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const DWORD timeoutMs = 10000;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&timeoutMs), sizeof timeoutMs);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (client != INVALID_SOCKET &&
        connect(client, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0) {
        const std::string request = "GET " + path + " HTTP/1.0\r\nHost: localhost\r\n\r\n";
        if (send(client, request.data(), static_cast<int>(request.size()), 0) == static_cast<int>(request.size())) {
            char buffer[4096];
            for (int got; (got = recv(client, buffer, sizeof buffer, 0)) > 0;)
                answer.append(buffer, static_cast<size_t>(got));
        }
    }
    if (client != INVALID_SOCKET)
        closesocket(client);
    WSACleanup();
    return answer;
}
