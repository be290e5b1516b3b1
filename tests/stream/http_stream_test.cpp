// The "http" opener against a server of the test's own on port 80 of a
// loopback address; nothing leaves the machine.
#include <gtest/gtest.h>

#include <filesystem>
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

TEST_F(HttpStreamTest, AnErrorResponseYieldsItsBody) {
    Exchange exchange("HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found");
    ASSERT_TRUE(exchange.Start());
    Ref<TByteStream> s = OpenReadStream(exchange.Url("/missing"));
    ASSERT_TRUE(s);
    EXPECT_EQ(ReadAll(s), "not found");
    EXPECT_EQ(s->Eof(), 1);
    s->Close();
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
    // The port is always 80: "host:8080" is looked up as a name and fails.
    EXPECT_FALSE(OpenReadStream(String("http::" + server->Host() + ":8080/x")));
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

}  // namespace
}  // namespace korva
