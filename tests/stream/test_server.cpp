#include "test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>
#include <vector>

#include "support/process.h"
#include "support/temp_dir.h"

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

namespace korva::test {

const TestPki& MakeTestPki() {
    static const TestPki pki = [] {
        static TempDir dir;  // removed at exit
        TestPki made{dir.Path()};
        ChildOptions options;
        options.workingDirectory = made.dir;
        auto openssl = [&](std::vector<std::string> args) {
            args.insert(args.begin(), "openssl");
            const ChildResult result = RunChild("openssl", args, options);
            if (result.exitCode != 0) throw std::runtime_error("openssl failed: " + result.err);
        };
        const std::vector<std::string> key = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-days", "2"};
        auto authority = [&](const std::string& ca) {
            std::vector<std::string> args = {"req", "-x509", "-subj", "/CN=KorvaGL test " + ca, "-keyout", ca + "-ca.key",
                                             "-out", ca + "-ca.pem", "-addext", "basicConstraints=critical,CA:TRUE",
                                             "-addext", "keyUsage=critical,keyCertSign"};
            args.insert(args.end(), key.begin(), key.end());
            openssl(args);
        };
        auto server = [&](const std::string& name, const std::string& ca, const std::string& host, const std::string& alt) {
            std::vector<std::string> args = {"req", "-x509", "-CA", ca + "-ca.pem", "-CAkey", ca + "-ca.key",
                                             "-subj", "/CN=" + host, "-keyout", name + ".key", "-out", name + ".pem",
                                             "-addext", "basicConstraints=CA:FALSE"};
            if (!alt.empty()) args.insert(args.end(), {"-addext", "subjectAltName=" + alt});
            args.insert(args.end(), key.begin(), key.end());
            openssl(args);
        };
        authority("trusted");
        authority("stranger");
        server("localhost", "trusted", "localhost", "DNS:localhost,IP:127.0.0.1");
        server("other", "trusted", "other.example", "DNS:other.example");
        server("stranger", "stranger", "localhost", "DNS:localhost,IP:127.0.0.1");
        server("cn-only", "trusted", "localhost", "");
        return made;
    }();
    return pki;
}

std::string RequestPath(const std::string& request) {
    const size_t start = request.find(' ') + 1;
    return request.substr(start, request.find(' ', start) - start);
}

namespace {

void ServeTls(int s, const std::string& certificate, const HttpAnswer& answer) {
    const TestPki& pki = MakeTestPki();
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate_file(context, pki.Certificate(certificate).c_str(), SSL_FILETYPE_PEM);
    SSL_CTX_use_PrivateKey_file(context, pki.Key(certificate).c_str(), SSL_FILETYPE_PEM);
    SSL* ssl = SSL_new(context);
    SSL_set_fd(ssl, s);
    if (SSL_accept(ssl) == 1) {
        std::string request;
        char buffer[4096];
        int n;
        while (request.find("\r\n\r\n") == std::string::npos && (n = SSL_read(ssl, buffer, sizeof buffer)) > 0) {
            request.append(buffer, static_cast<size_t>(n));
        }
        const std::string response = answer(request);
        if (!response.empty()) SSL_write(ssl, response.data(), static_cast<int>(response.size()));
        SSL_shutdown(ssl);
    }
    SSL_free(ssl);
    SSL_CTX_free(context);
}

}  // namespace

std::unique_ptr<TestServer> ServeHttp(HttpAnswer answer, int connections, const std::string& certificate) {
    // OpenSSL writes with write(): a client that hangs up must not end the test.
    signal(SIGPIPE, SIG_IGN);
    return std::make_unique<TestServer>("127.0.0.1", 0, [answer, certificate](int s) {
        const timeval wait{10, 0};
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        if (!certificate.empty()) return ServeTls(s, certificate, answer);
        const std::string request = ReceiveUntil(s, "\r\n\r\n");
        SendAll(s, answer(request));
    }, connections);
}

}  // namespace korva::test
