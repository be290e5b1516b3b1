// The "http" and "https" opener against servers of the test's own on
// loopback addresses (port 80 or a free one); nothing leaves the machine.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "korvagl/korvagl.h"
#include "test_server.h"

namespace korva {
namespace {

using test::TestServer;

int OpenDescriptors() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

// Serves one request: records it and answers with `response`.
struct Exchange {
    explicit Exchange(std::string response) : response(std::move(response)) {}
    std::string response;
    std::string request;
    std::unique_ptr<TestServer> server;

    bool Start() {
        server = TestServer::OnPort80([this](int s) {
            request = test::ReceiveUntil(s, "\r\n\r\n");
            test::SendAll(s, response);
        });
        return server != nullptr;
    }
    String Url(const std::string& path) const { return String("http::" + server->Host() + path); }
};

class HttpStreamTest : public testing::Test {
protected:
    void SetUp() override {
        InitHttpStreams();
        InitFileSystem();
    }
};

std::string ReadAll(const Ref<TByteStream>& s) {
    const ByteArray bytes = LoadBytes(Ref<Object>(s));
    return std::string(bytes.begin(), bytes.end());
}

TEST_F(HttpStreamTest, SendsAnHttp10GetAndSkipsTheHeader) {
    Exchange exchange("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nthe body\r\n");
    ASSERT_TRUE(exchange.Start());
    Ref<TByteStream> s = OpenReadStream(exchange.Url("/index.html"));
    ASSERT_TRUE(DownCast<TTcpStream>(s));
    EXPECT_EQ(ReadAll(s), "the body\r\n");
    EXPECT_EQ(s->Eof(), 1);
    s->Close();
    exchange.server->Join();
    EXPECT_EQ(exchange.request, "GET /index.html HTTP/1.0\r\nHost: " + exchange.server->Host() + "\r\n\r\n");
}

TEST_F(HttpStreamTest, AUrlWithoutAPathAsksForTheRoot) {
    Exchange exchange("HTTP/1.0 200 OK\r\n\r\nroot");
    ASSERT_TRUE(exchange.Start());
    EXPECT_EQ(LoadText(exchange.Url("")), "root");
    exchange.server->Join();
    EXPECT_EQ(exchange.request.substr(0, 16), "GET / HTTP/1.0\r\n");
}

TEST_F(HttpStreamTest, AStatusOutside200To299GivesTheNullObject) {
    const int before = OpenDescriptors();
    Exchange exchange("HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found");
    ASSERT_TRUE(exchange.Start());
    EXPECT_FALSE(OpenReadStream(exchange.Url("/missing")));
    EXPECT_EQ(LastErrorText(), "\"" + exchange.Url("/missing") + "\": HTTP 404 Not Found");
    exchange.server->Join();
    EXPECT_EQ(OpenDescriptors(), before + 1);  // the server's listener
    // Neither is a response without a status line a document.
    Exchange bare("<html>no status</html>");
    ASSERT_TRUE(bare.Start());
    EXPECT_FALSE(OpenReadStream(bare.Url("/bare")));
    EXPECT_EQ(LastErrorText(), "\"" + bare.Url("/bare") + "\": no HTTP status line");
}

TEST_F(HttpStreamTest, HeaderLinesMayEndInLfAlone) {
    Exchange exchange("HTTP/1.0 200 OK\nServer: test\n\nline one\nline two");
    ASSERT_TRUE(exchange.Start());
    Ref<TByteStream> s = OpenReadStream(exchange.Url("/lf"));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->ReadLine(), "line one");
    EXPECT_EQ(s->ReadLine(), "line two");
    EXPECT_EQ(s->Eof(), 1);
    s->Close();
}

TEST_F(HttpStreamTest, AServerClosingMidHeaderGivesAStreamAtItsEnd) {
    Exchange exchange("HTTP/1.0 200 OK\r\nServer: cut sh");
    ASSERT_TRUE(exchange.Start());
    Ref<TByteStream> s = OpenReadStream(exchange.Url("/cut"));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->Eof(), 1);
    EXPECT_EQ(ReadAll(s), "");
    s->Close();
}

TEST_F(HttpStreamTest, AnEndlessHeaderIsRefused) {
    const int before = OpenDescriptors();
    auto server = TestServer::OnPort80([](int s) {
        test::ReceiveUntil(s, "\r\n\r\n");
        const std::string line = "X-Filler: " + std::string(1000, 'f') + "\r\n";
        while (test::SendAll(s, line)) {
        }
    });
    ASSERT_TRUE(server);
    EXPECT_FALSE(OpenReadStream(String("http::" + server->Host() + "/endless")));
    server->Join();
    EXPECT_EQ(OpenDescriptors(), before + 1);  // only the server's listener is left
}

TEST_F(HttpStreamTest, FailuresGiveTheNullObject) {
    auto server = TestServer::OnPort80([](int) {}, 0);
    ASSERT_TRUE(server);
    // Ports are numbers from 1 to 65535.
    EXPECT_FALSE(OpenReadStream(String("http::" + server->Host() + ":99999/x")));
    EXPECT_EQ(LastErrorText(), "\"http::" + server->Host() + ":99999/x\": bad port \"99999\"");
    EXPECT_FALSE(OpenReadStream(String("http::" + server->Host() + ":8o/x")));
    // Control characters would add lines to the request.
    EXPECT_FALSE(OpenReadStream(String("http::" + server->Host() + "/a\r\nX-Evil: 1")));
    EXPECT_FALSE(OpenReadStream(String(u"http::127.0.0.2/\u010A")));  // goes out as LF
    EXPECT_FALSE(OpenReadStream("http::bad host name/x"));
    EXPECT_FALSE(OpenReadStream("HTTP::localhost/x"));
    // Nothing listens on port 80 of an address next to the server's.
    const std::string host = server->Host();
    const std::string next = host.substr(0, host.rfind('.') + 1) + "251";
    EXPECT_FALSE(OpenReadStream(String("http::" + next + "/x")));
}

TEST_F(HttpStreamTest, RandomAccessCopiesTheBodyIntoMemory) {
    Exchange exchange("HTTP/1.0 200 OK\r\n\r\n0123456789");
    ASSERT_TRUE(exchange.Start());
    const int before = OpenDescriptors();
    Ref<TByteStream> s = OpenRandomAccessRead(exchange.Url("/data.bin"));
    ASSERT_TRUE(DownCast<TMemBlockStream>(s));
    EXPECT_EQ(OpenDescriptors(), before);  // the socket is closed
    EXPECT_EQ(s->Size(), 10);
    EXPECT_EQ(s->Seek(6), 6);
    EXPECT_EQ(s->ReadText(4), "6789");
    EXPECT_EQ(s->Seek(2), 2);
    EXPECT_EQ(s->ReadByte(), '2');
    EXPECT_EQ(CloseRandomAccess(s), 0);
}


// Servers on free ports of 127.0.0.1 from here on.
String At(const TestServer& server, const std::string& protocol, const std::string& path, const std::string& host = "127.0.0.1") {
    return String(protocol + "::" + host + ":" + std::to_string(server.Port()) + path);
}

std::string Ok(const std::string& body) { return "HTTP/1.0 200 OK\r\n\r\n" + body; }

TEST_F(HttpStreamTest, APortAfterTheHostIsUsedAndNamedInTheHostLine) {
    std::string request;
    auto server = test::ServeHttp([&](const std::string& r) { return request = r, Ok("on a port"); });
    EXPECT_EQ(LoadText(At(*server, "http", "/p")), "on a port");
    server->Join();
    EXPECT_EQ(request, "GET /p HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(server->Port()) + "\r\n\r\n");
}

TEST_F(HttpStreamTest, ContentLengthEndsTheBody) {
    // The server keeps the connection open past the body.
    auto server = test::ServeHttp([](const std::string& request) {
        return test::RequestPath(request) == "/short" ? std::string("HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\ncut")
                                                     : "HTTP/1.0 200 OK\r\ncontent-length:  5 \r\n\r\nhello and more";
    }, 2);
    Ref<TByteStream> s = OpenReadStream(At(*server, "http", "/five"));
    ASSERT_TRUE(s);
    EXPECT_EQ(ReadAll(s), "hello");
    EXPECT_EQ(s->Eof(), 1);
    s->Close();
    // A body that ends before its length is an error, not the document.
    const String cut = At(*server, "http", "/short");
    EXPECT_TRUE(LoadBytes(cut).empty());
    EXPECT_EQ(LastErrorText(), "\"" + cut + "\": the connection closed 6 bytes before the end of the body");
}

TEST_F(HttpStreamTest, AChunkedBodyIsHandedOverWithoutItsFraming) {
    const std::string responses[] = {
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\n"
        "5;name=value\r\nhello\r\nA\r\n, chunked!\r\n0\r\nX-Checksum: 1\r\n\r\n",
        // LF alone, a folded field, the codings in two fields, upper case.
        "HTTP/1.1 200 OK\nTransfer-Encoding:\n identity\ntransfer-encoding: CHUNKED\n\n5\nhello\na \n, chunked!\n0\n\n",
    };
    int served = 0;
    // The server keeps the connection open: the last chunk ends the body.
    TestServer server("127.0.0.1", 0, [&](int s) {
        test::ReceiveUntil(s, "\r\n\r\n");
        test::SendAll(s, responses[served++]);
        test::ReceiveUntil(s, "never");
    }, 2);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(LoadText(At(server, "http", "/")), "hello, chunked!") << i;
}

TEST_F(HttpStreamTest, BrokenChunksAndUnknownCodingsAreRefused) {
    SetNetworkLimits(64, kDefaultNetworkLoadLimit);
    std::string trailer = "0\r\n";
    while (trailer.size() <= 65536) trailer += "X-Filler: " + std::string(28, 'f') + "\r\n";
    const std::map<std::string, std::pair<std::string, std::string>> bodies = {
        {"/size", {"zz\r\n", "bad chunk size"}},
        {"/huge", {"1000000000000000\r\nx", "bad chunk size"}},
        {"/signed", {"-5\r\nhello\r\n0\r\n\r\n", "bad chunk size"}},
        {"/long", {"3\r\nhello\r\n0\r\n\r\n", "a chunk is longer than its size"}},
        {"/cut", {"5\r\nhel", "the connection closed inside the chunked body"}},
        {"/unended", {"5\r\nhello\r\n", "the connection closed inside the chunked body"}},
        {"/extension", {"1;" + std::string(100, 'e') + "\r\nx\r\n0\r\n\r\n", "a line longer than 64 bytes"}},
        {"/trailer", {trailer, "the trailer is longer than 65536 bytes"}},
    };
    const std::map<std::string, std::string> heads = {
        {"/gzip", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n"},
        {"/after", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nTransfer-Encoding: gzip\r\n\r\n"},
        // A server's words reach the reason escaped.
        {"/words", "HTTP/1.0 404 Not\x1B]0;owned\x07 Found\r\n\r\n"},
    };
    auto server = test::ServeHttp([&](const std::string& request) {
        const std::string path = test::RequestPath(request);
        if (heads.count(path)) return heads.at(path);
        return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + bodies.at(path).first;
    }, static_cast<int>(bodies.size() + heads.size()));
    for (const auto& [path, body] : bodies) {
        const String url = At(*server, "http", path);
        EXPECT_TRUE(LoadBytes(url).empty()) << path;
        EXPECT_EQ(LastErrorText(), "\"" + url + "\": " + String(body.second)) << path;
    }
    const std::pair<std::string, std::string> refusals[] = {
        {"/gzip", "transfer encoding \"gzip, chunked\" is not supported"},
        {"/after", "transfer encoding \"chunked, gzip\" is not supported"},
        {"/words", "HTTP 404 Not\\x1B]0;owned\\x07 Found"},
    };
    for (const auto& [path, reason] : refusals) {
        const String url = At(*server, "http", path);
        EXPECT_FALSE(OpenReadStream(url)) << path;
        EXPECT_EQ(LastErrorText(), "\"" + url + "\": " + String(reason)) << path;
    }
    SetNetworkLimits(kDefaultNetworkLineLimit, kDefaultNetworkLoadLimit);
}

TEST_F(HttpStreamTest, RedirectsAreFollowedFiveTimesAndALoopEnds) {
    // /0 -> /1 -> ... -> /5, in every form a Location takes; /loop -> /loop.
    std::string port;
    auto server = test::ServeHttp([&](const std::string& request) {
        const std::string path = test::RequestPath(request);
        const char* codes[] = {"301 Moved", "302 Found", "303 See Other", "307 Temporary", "308 Permanent"};
        const std::string next[] = {"http://127.0.0.1:" + port + "/1", "//127.0.0.1:" + port + "/2", "/3?x=1#top",
                                    "4", "dir/../5"};
        if (path == "/loop") return std::string("HTTP/1.0 302 Found\r\nLocation: /loop\r\n\r\n");
        if (path == "/dir/../5") return Ok("arrived");
        const int step = path[1] - '0';
        return "HTTP/1.1 " + std::string(codes[step]) + "\r\nLocation: " + next[step] + "\r\n\r\n";
    }, 12);
    port = std::to_string(server->Port());
    EXPECT_EQ(LoadText(At(*server, "http", "/0")), "arrived");
    EXPECT_FALSE(OpenReadStream(At(*server, "http", "/loop")));
    EXPECT_EQ(LastErrorText(), "\"" + At(*server, "http", "/loop") + "\": too many redirects");
}

TEST_F(HttpStreamTest, AServerThatNeverAnswersTimesOut) {
    SetNetworkTimeout(10000, 1000);
    // Accepts, then waits for the client to hang up.
    TestServer server("127.0.0.1", 0, [](int s) { test::ReceiveUntil(s, "never"); }, 2);
    for (const char* protocol : {"http", "https"}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(OpenReadStream(At(server, protocol, "/x")));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(LastErrorText(), "\"" + At(server, protocol, "/x") + "\": timed out after 1000 ms");
    }
    SetNetworkTimeout(kDefaultConnectTimeoutMs, kDefaultReadTimeoutMs);
}

TEST_F(HttpStreamTest, NetworkReadsStopAtTheirLimits) {
    EXPECT_EQ(NetworkLineLimit(), 1 << 20);
    EXPECT_EQ(NetworkLoadLimit(), 256 << 20);
    SetNetworkLimits(4096, 65536);
    // Each connection gets a header and then an endless line.
    TestServer server("127.0.0.1", 0, [](int s) {
        test::ReceiveUntil(s, "\r\n\r\n");
        test::SendAll(s, "HTTP/1.0 200 OK\r\n\r\n");
        const std::string chunk(4096, 'a');
        while (test::SendAll(s, chunk)) {
        }
    }, 3);
    const String url = At(server, "http", "/endless");
    Ref<TByteStream> s = OpenReadStream(url);
    ASSERT_TRUE(s);
    EXPECT_THROW(s->ReadLine(), TStreamReadError);
    EXPECT_EQ(LastErrorText(), "\"" + url + "\": a line longer than 4096 bytes");
    s->Close();
    // Through a byte-order view as well.
    InitEndianStreams();
    Ref<TByteStream> view = OpenReadStream("bigendian::" + url);
    ASSERT_TRUE(view);
    EXPECT_THROW(view->ReadLine(), TStreamReadError);
    view->Close();
    EXPECT_TRUE(LoadText(url).IsEmpty());
    EXPECT_EQ(LastErrorText(), "\"" + url + "\": more than 65536 bytes");
    SetNetworkLimits(kDefaultNetworkLineLimit, kDefaultNetworkLoadLimit);
}

class HttpsStreamTest : public HttpStreamTest {
protected:
    void SetUp() override {
        HttpStreamTest::SetUp();
        // Read when the first https URL opens: the test CA stands in for the
        // system's.
        setenv("SSL_CERT_FILE", pki.CaFile("trusted").c_str(), 1);
    }
    const test::TestPki& pki = test::MakeTestPki();
};

TEST_F(HttpsStreamTest, OnlyAVerifiedServerIsRead) {
    auto good = test::ServeHttp([](const std::string&) { return Ok("secret"); }, 2, "localhost");
    EXPECT_EQ(LoadText(At(*good, "https", "/")), "secret");
    EXPECT_EQ(LoadText(At(*good, "https", "/", "localhost")), "secret");
    auto wrongName = test::ServeHttp([](const std::string&) { return Ok("x"); }, 2, "other");
    EXPECT_FALSE(OpenReadStream(At(*wrongName, "https", "/", "localhost")));
    EXPECT_EQ(LastErrorText(), "\"" + At(*wrongName, "https", "/", "localhost") + "\": host name mismatch");
    EXPECT_FALSE(OpenReadStream(At(*wrongName, "https", "/")));
    EXPECT_EQ(LastErrorText(), "\"" + At(*wrongName, "https", "/") + "\": IP address mismatch");
    // A name only in the subject's common name is no name for the host.
    auto commonName = test::ServeHttp([](const std::string&) { return Ok("x"); }, 1, "cn-only");
    EXPECT_FALSE(OpenReadStream(At(*commonName, "https", "/", "localhost")));
    EXPECT_EQ(LastErrorText(), "\"" + At(*commonName, "https", "/", "localhost") + "\": host name mismatch");
    auto stranger = test::ServeHttp([](const std::string&) { return Ok("x"); }, 1, "stranger");
    EXPECT_FALSE(OpenReadStream(At(*stranger, "https", "/")));
    EXPECT_EQ(LastErrorText(),
              "\"" + At(*stranger, "https", "/") + "\": certificate verify failed: unable to get local issuer certificate");
}

TEST_F(HttpsStreamTest, AddedCertificatesAreTrusted) {
    auto stranger = test::ServeHttp([](const std::string&) { return Ok("now trusted"); }, 1, "stranger");
    EXPECT_EQ(AddTrustedCertificates(String(pki.Key("stranger"))), 0);
    EXPECT_EQ(LastErrorText(), "\"" + String(pki.Key("stranger")) + "\": no certificate in the data");
    EXPECT_EQ(AddTrustedCertificates(String(pki.CaFile("stranger"))), 1);
    EXPECT_EQ(LoadText(At(*stranger, "https", "/")), "now trusted");
}

TEST_F(HttpsStreamTest, RedirectsCrossBetweenHttpAndHttps) {
    std::string plainPort;
    auto secure = test::ServeHttp([&](const std::string&) {
        return "HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:" + plainPort + "/end\r\n\r\n";
    }, 1, "localhost");
    const std::string securePort = std::to_string(secure->Port());
    auto plain = test::ServeHttp([&](const std::string& request) {
        if (test::RequestPath(request) == "/end") return Ok("round trip");
        return "HTTP/1.0 301 Moved\r\nLocation: https://localhost:" + securePort + "/\r\n\r\n";
    }, 2);
    plainPort = std::to_string(plain->Port());
    EXPECT_EQ(LoadText(At(*plain, "http", "/start")), "round trip");
}

}  // namespace
}  // namespace korva
