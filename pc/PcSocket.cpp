#include "pc/PcSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
int Descriptor(PDSocket socket)
{
    return socket - 1;
}

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Waits for the events until the time-out; retries after signals with the time that is left.
int32_t Wait(PDSocket socket, short events, uint32_t timeoutMs)
{
    if (socket <= 0)
        return -1;
    int64_t end = NowMs() + timeoutMs;
    for (;;)
    {
        int64_t left = end - NowMs();
        if (left < 0)
            left = 0;
        pollfd p = {};
        p.fd = Descriptor(socket);
        p.events = events;
        int r = poll(&p, 1, static_cast<int>(left));
        if (r > 0)
            return 1;
        if (r == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}
} // namespace

int32_t PDSocket_ParseDotted(const char *text, uint8_t address[4])
{
    in_addr a;
    if (!text || inet_pton(AF_INET, text, &a) != 1)
        return 0;
    std::memcpy(address, &a.s_addr, 4);
    return 1;
}

int32_t PDSocket_LookupHost(const char *host, uint8_t address[4])
{
    if (!host || !*host)
        return 0;
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &list) != 0 || !list)
        return 0;
    int32_t found = 0;
    for (addrinfo *ai = list; ai; ai = ai->ai_next)
    {
        if (ai->ai_family == AF_INET && ai->ai_addrlen >= sizeof(sockaddr_in))
        {
            sockaddr_in sin;
            std::memcpy(&sin, ai->ai_addr, sizeof sin);
            std::memcpy(address, &sin.sin_addr.s_addr, 4);
            found = 1;
            break;
        }
    }
    freeaddrinfo(list);
    return found;
}

PDSocket PDSocket_Create()
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    return fd + 1;
}

int32_t PDSocket_Connect(PDSocket socket, const uint8_t address[4], uint16_t port,
                         uint32_t timeoutMs)
{
    if (socket <= 0)
        return PD_CONNECT_FAILED;
    sockaddr_in sin = {};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(port);
    std::memcpy(&sin.sin_addr.s_addr, address, 4);
    if (connect(Descriptor(socket), reinterpret_cast<const sockaddr *>(&sin), sizeof sin) == 0)
        return PD_CONNECT_OK;
    if (errno != EINPROGRESS && errno != EINTR)
        return PD_CONNECT_FAILED;
    int32_t r = Wait(socket, POLLOUT, timeoutMs);
    if (r == 0)
        return PD_CONNECT_TIMEOUT;
    if (r < 0)
        return PD_CONNECT_FAILED;
    int error = 0;
    socklen_t len = sizeof error;
    if (getsockopt(Descriptor(socket), SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0)
        return PD_CONNECT_FAILED;
    return PD_CONNECT_OK;
}

int32_t PDSocket_Send(PDSocket socket, const void *data, uint32_t length)
{
    if (socket <= 0)
        return PD_SOCKET_ERROR;
    if (length == 0)
        return 0;
    for (;;)
    {
        ssize_t n = send(Descriptor(socket), data, length, MSG_NOSIGNAL);
        if (n >= 0)
            return static_cast<int32_t>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        return PD_SOCKET_ERROR;
    }
}

int32_t PDSocket_Receive(PDSocket socket, void *buffer, uint32_t size)
{
    if (socket <= 0)
        return PD_SOCKET_ERROR;
    if (size == 0)
        return 0;
    for (;;)
    {
        ssize_t n = recv(Descriptor(socket), buffer, size, 0);
        if (n > 0)
            return static_cast<int32_t>(n);
        if (n == 0)
            return PD_SOCKET_CLOSED;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        return PD_SOCKET_ERROR;
    }
}

int32_t PDSocket_WaitReadable(PDSocket socket, uint32_t timeoutMs)
{
    return Wait(socket, POLLIN, timeoutMs);
}

int32_t PDSocket_WaitWritable(PDSocket socket, uint32_t timeoutMs)
{
    return Wait(socket, POLLOUT, timeoutMs);
}

void PDSocket_Close(PDSocket socket)
{
    if (socket > 0)
        close(Descriptor(socket));
}
