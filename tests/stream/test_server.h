// A small TCP server on a loopback address for the socket and HTTP tests.
// It runs in a thread, serves a fixed number of connections with a handler,
// and never lets a test hang: accepting gives up after a few seconds.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace korva::test {

class TestServer {
public:
    using Handler = std::function<void(int socket)>;
    // Listens on `host`:`port` (0: any free port) and serves `connections`
    // connections one after the other.
    TestServer(const std::string& host, int port, Handler handler, int connections = 1);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    bool Listening() const { return listener_ >= 0; }
    const std::string& Host() const { return host_; }
    int Port() const { return port_; }
    // Waits until every connection was served (or accepting gave up).
    void Join();

    // A server on port 80 of the first free address 127.0.0.2, .3, ...
    // (port 80 needs root).
    static std::unique_ptr<TestServer> OnPort80(Handler handler, int connections = 1);

private:
    std::string host_;
    int port_ = 0;
    int listener_ = -1;
    std::thread thread_;
};

// Reads until `end` has arrived or the peer closes; returns what came.
std::string ReceiveUntil(int socket, const std::string& end);
// Sends everything (without SIGPIPE); false when the peer went away.
bool SendAll(int socket, const std::string& bytes);

}  // namespace korva::test
