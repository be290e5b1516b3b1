#include "test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korva::test {

TestServer::TestServer(const std::string& host, int port, Handler handler, int connections) : host_(host) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, host.c_str(), &at.sin_addr);
    socklen_t size = sizeof at;
    if (::bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(s, 8) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&at), &size) != 0) {
        ::close(s);
        return;
    }
    listener_ = s;
    port_ = ntohs(at.sin_port);
    thread_ = std::thread([this, handler, connections] {
        for (int i = 0; i < connections; ++i) {
            pollfd ready{listener_, POLLIN, 0};
            if (poll(&ready, 1, 10000) != 1) break;
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) break;
            handler(client);
            ::close(client);
        }
    });
}

TestServer::~TestServer() {
    Join();
    if (listener_ >= 0) ::close(listener_);
}

void TestServer::Join() {
    if (thread_.joinable()) thread_.join();
}

std::unique_ptr<TestServer> TestServer::OnPort80(Handler handler, int connections) {
    for (int last = 2; last < 250; ++last) {
        auto server = std::make_unique<TestServer>("127.0.0." + std::to_string(last), 80, handler, connections);
        if (server->Listening()) return server;
    }
    return nullptr;
}

std::string ReceiveUntil(int socket, const std::string& end) {
    std::string got;
    char buffer[4096];
    while (got.find(end) == std::string::npos) {
        pollfd ready{socket, POLLIN, 0};
        if (poll(&ready, 1, 10000) != 1) break;
        const ssize_t n = ::recv(socket, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        got.append(buffer, static_cast<size_t>(n));
    }
    return got;
}

bool SendAll(int socket, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace korva::test
