// A small TCP server on a loopback address for the socket, HTTP and HTTPS
// tests. It runs in a thread, serves a fixed number of connections with a
// handler, and never lets a test hang: accepting gives up after a few
// seconds. HTTPS uses certificates made with the openssl command line.
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

// Certificates made once per process in a temporary directory: the CA
// "trusted" (its certificate in CaFile("trusted")) issued "localhost" (for
// localhost and 127.0.0.1), "other" (for other.example) and "cn-only"
// (localhost only as its subject's common name, no subjectAltName); the CA
// "stranger" issued "stranger" (for localhost). PEM files: Certificate(name)
// and Key(name).
struct TestPki {
    std::string dir;
    std::string CaFile(const std::string& ca) const { return dir + "/" + ca + "-ca.pem"; }
    std::string Certificate(const std::string& name) const { return dir + "/" + name + ".pem"; }
    std::string Key(const std::string& name) const { return dir + "/" + name + ".key"; }
};
const TestPki& MakeTestPki();

// The answer to one HTTP request (the text up to its empty line), whole.
using HttpAnswer = std::function<std::string(const std::string& request)>;
// Serves `connections` HTTP requests one after the other on a free port of
// 127.0.0.1, over TLS with the certificate `certificate` of MakeTestPki()
// when that is not empty.
std::unique_ptr<TestServer> ServeHttp(HttpAnswer answer, int connections = 1, const std::string& certificate = "");
// The path of a request's "GET /path HTTP/1.0" line.
std::string RequestPath(const std::string& request);

}  // namespace korva::test
