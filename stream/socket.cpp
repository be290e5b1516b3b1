// The socket layer over POSIX sockets.
#include "korvagl/stream/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "korvagl/stream/file_system.h"

namespace korva {

int32_t SocketStartup() { return 0; }

int32_t OpenSocket(int32_t family, int32_t type, int32_t protocol) {
    int s = ::socket(family, type | SOCK_CLOEXEC, protocol);
    if (s == 0) {
        // Descriptor 0 was free; move the socket, since 0 means "no socket".
        const int moved = fcntl(s, F_DUPFD_CLOEXEC, 1);
        ::close(s);
        s = moved;
    }
    return s;
}

int32_t CloseSocket(int32_t s) { return s > 0 ? ::close(s) : -1; }

int32_t ShutdownSocket(int32_t s) { return s > 0 ? ::shutdown(s, SHUT_RDWR) : -1; }

std::vector<ByteArray> ResolveHost(const String& name, int32_t& family, int32_t& length) {
    std::vector<ByteArray> addresses;
    // Refused like a file name that holds a unit above 0xFF or a NUL.
    if (detail::NativePath(name).empty()) return addresses;
    const std::string host = name.ToBytes();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return addresses;
    for (const addrinfo* at = found; at; at = at->ai_next) {
        if (at->ai_family != AF_INET) continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(at->ai_addr);
        const auto* bytes = reinterpret_cast<const uint8_t*>(&in->sin_addr);
        addresses.emplace_back(bytes, bytes + 4);
    }
    freeaddrinfo(found);
    family = AF_INET;
    length = 4;
    return addresses;
}

int32_t ConnectSocket(int32_t s, const uint8_t* address, int32_t family, int32_t length, int32_t port) {
    if (family != AF_INET || port < 0 || port > 65535 || !address || length < 0) return -1;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    std::memcpy(&to.sin_addr, address, static_cast<size_t>(length < 4 ? length : 4));
    int result;
    do {
        result = ::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } while (result < 0 && errno == EINTR);
    return result;
}

int32_t ConnectSocketWithin(int32_t s, const uint8_t* address, int32_t family, int32_t length, int32_t port,
                            int32_t ms) {
    if (family != AF_INET || port < 0 || port > 65535 || !address || length < 0) {
        errno = EINVAL;
        return -1;
    }
    if (ms <= 0) return ConnectSocket(s, address, family, length, port);
    const int flags = fcntl(s, F_GETFL);
    if (flags < 0 || fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0) return -1;
    int32_t result = ConnectSocket(s, address, family, length, port);
    if (result < 0 && errno == EINPROGRESS) {
        pollfd ready{s, POLLOUT, 0};
        int n;
        do {
            n = ::poll(&ready, 1, ms);
        } while (n < 0 && errno == EINTR);
        int error = ETIMEDOUT;
        socklen_t size = sizeof error;
        if (n > 0 && getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &size) < 0) error = errno;
        result = error == 0 ? 0 : -1;
        errno = error;
    }
    const int saved = errno;
    fcntl(s, F_SETFL, flags);
    errno = saved;
    return result;
}

int32_t SetSocketTimeout(int32_t s, int32_t ms) {
    timeval wait{};
    if (ms > 0) {
        wait.tv_sec = ms / 1000;
        wait.tv_usec = (ms % 1000) * 1000;
    }
    if (::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) < 0) return -1;
    return ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait) < 0 ? -1 : 0;
}

int32_t BindSocket(int32_t s, int32_t family, int32_t port) {
    if (family != AF_INET || port < 0 || port > 65535) return -1;
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<uint16_t>(port));
    at.sin_addr.s_addr = htonl(INADDR_ANY);
    return ::bind(s, reinterpret_cast<const sockaddr*>(&at), sizeof at);
}

int32_t ListenSocket(int32_t s, int32_t backlog) { return ::listen(s, backlog); }

int32_t AcceptSocket(int32_t s, uint8_t* address, int32_t* length) {
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    int result;
    do {
        result = ::accept4(s, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_CLOEXEC);
    } while (result < 0 && errno == EINTR);
    if (result == 0) {
        const int moved = fcntl(result, F_DUPFD_CLOEXEC, 1);
        ::close(result);
        result = moved;
    }
    if (result >= 0 && address && length && *length > 0) {
        const socklen_t n = size < static_cast<socklen_t>(*length) ? size : static_cast<socklen_t>(*length);
        std::memcpy(address, &peer, n);
        *length = static_cast<int32_t>(n);
    }
    return result;
}

int32_t SelectSockets(int32_t nRead, int32_t* read, int32_t nWrite, int32_t* write, int32_t nExcept,
                      int32_t* except, int32_t ms) {
    // poll instead of select: no limit on descriptor numbers.
    struct Set {
        int32_t count;
        int32_t* handles;
        short events;
    };
    const Set sets[3] = {{read ? nRead : 0, read, POLLIN},
                         {write ? nWrite : 0, write, POLLOUT},
                         {except ? nExcept : 0, except, POLLPRI}};
    std::vector<pollfd> fds;
    for (const Set& set : sets) {
        for (int32_t i = 0; i < set.count; ++i) fds.push_back({set.handles[i] > 0 ? set.handles[i] : -1, set.events, 0});
    }
    const int result = ::poll(fds.data(), fds.size(), ms < 0 ? -1 : ms);
    if (result < 0) return result;
    int32_t ready = 0;
    size_t k = 0;
    for (const Set& set : sets) {
        // A closed or failed connection counts as readable and writeable, as
        // select reports it.
        const short accept = set.events == POLLPRI ? POLLPRI : static_cast<short>(set.events | POLLHUP | POLLERR);
        for (int32_t i = 0; i < set.count; ++i, ++k) {
            if (fds[k].fd >= 0 && (fds[k].revents & accept)) ++ready;
            else set.handles[i] = 0;
        }
    }
    return ready;
}

int32_t SendBytes(int32_t s, const void* buf, int32_t n, int32_t flags) {
    ssize_t result;
    do {
        result = ::send(s, buf, n < 0 ? 0 : static_cast<size_t>(n), flags | MSG_NOSIGNAL);
    } while (result < 0 && errno == EINTR);
    return static_cast<int32_t>(result);
}

int32_t ReceiveBytes(int32_t s, void* buf, int32_t n, int32_t flags) {
    ssize_t result;
    do {
        result = ::recv(s, buf, n < 0 ? 0 : static_cast<size_t>(n), flags);
    } while (result < 0 && errno == EINTR);
    return static_cast<int32_t>(result);
}

int32_t HostToNetShort(int32_t v) { return htons(static_cast<uint16_t>(v)); }
int32_t NetToHostShort(int32_t v) { return ntohs(static_cast<uint16_t>(v)); }
int32_t HostToNetLong(int32_t v) { return static_cast<int32_t>(htonl(static_cast<uint32_t>(v))); }
int32_t NetToHostLong(int32_t v) { return static_cast<int32_t>(ntohl(static_cast<uint32_t>(v))); }

}  // namespace korva
