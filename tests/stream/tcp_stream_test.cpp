// The socket layer and TCP streams, against servers on loopback addresses.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "korvagl/korvagl.h"
#include "test_server.h"

namespace korva {
namespace {

using test::TestServer;

String Url(const TestServer& server) {
    return String("tcp::" + server.Host() + ":" + std::to_string(server.Port()));
}

class TcpStreamTest : public testing::Test {
protected:
    void SetUp() override {
        InitTcpStreams();
        InitMemBlockStreams();
    }
};

TEST_F(TcpStreamTest, APeerThatSendsAndClosesIsReadToTheLastByte) {
    TestServer server("127.0.0.1", 0, [](int s) { test::SendAll(s, "0123456789"); });
    ASSERT_TRUE(server.Listening());
    Ref<TByteStream> s = OpenReadStream(Url(server));
    ASSERT_TRUE(DownCast<TTcpStream>(s));
    EXPECT_EQ(s->Eof(), 0);
    EXPECT_EQ(s->Pos(), -1);
    EXPECT_EQ(s->Size(), 0);
    EXPECT_EQ(s->Seek(0), -1);
    const ByteArray bytes = LoadBytes(Ref<Object>(s));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "0123456789");
    EXPECT_EQ(s->Eof(), 1);
    s->Close();
}

TEST_F(TcpStreamTest, EofTurnsOnlyAfterTheEmptyRead) {
    TestServer server("127.0.0.1", 0, [](int s) { test::SendAll(s, "ab"); });
    Ref<TTcpStream> s = DownCast<TTcpStream>(OpenReadStream(Url(server)));
    ASSERT_TRUE(s);
    server.Join();
    char buf[8];
    EXPECT_EQ(s->Read(buf, 8), 2);
    EXPECT_EQ(s->Eof(), 0);
    EXPECT_EQ(s->Read(buf, 8), 0);
    EXPECT_EQ(s->Eof(), 1);
    s->Close();
}

TEST_F(TcpStreamTest, ReadFullyRaisesWhenThePeerClosesEarly) {
    TestServer server("127.0.0.1", 0, [](int s) { test::SendAll(s, "\x01\x02"); });
    Ref<TByteStream> s = OpenReadStream(Url(server));
    ASSERT_TRUE(s);
    EXPECT_THROW(s->ReadInt(), TStreamReadError);
    // At its end, a typed read gives zero.
    EXPECT_EQ(s->ReadInt(), 0);
    s->Close();
}

TEST_F(TcpStreamTest, BytesGoBothWays) {
    TestServer server("127.0.0.1", 0, [](int s) {
        const std::string line = test::ReceiveUntil(s, "\n");
        test::SendAll(s, "echo " + line);
    });
    Ref<TByteStream> s = OpenStream(Url(server), 1, 1);
    ASSERT_TRUE(s);
    s->WriteLine("hello");
    EXPECT_EQ(s->ReadLine(), "echo hello");
    EXPECT_EQ(s->ReadLine(), "");
    EXPECT_EQ(s->Eof(), 1);
    s->Close();
}

TEST_F(TcpStreamTest, AReadThatTimesOutEndsLikeAFailedConnection) {
    EXPECT_EQ(NetworkConnectTimeout(), 10000);
    EXPECT_EQ(NetworkReadTimeout(), 30000);
    SetNetworkTimeout(10000, 1000);
    TestServer server("127.0.0.1", 0, [](int s) {
        test::SendAll(s, "ab");
        test::ReceiveUntil(s, "never");  // until the client hangs up
    });
    Ref<TByteStream> s = OpenReadStream(Url(server));
    ASSERT_TRUE(s);
    EXPECT_TRUE(LoadBytes(Ref<Object>(s)).empty());
    EXPECT_EQ(s->Eof(), -1);
    EXPECT_EQ(LastErrorText(), "\"" + Url(server) + "\": timed out after 1000 ms");
    s->Close();
    SetNetworkTimeout(kDefaultConnectTimeoutMs, kDefaultReadTimeoutMs);
}

TEST_F(TcpStreamTest, AConnectionNotMadeInTimeGivesTheNullObject) {
    // A listener that never accepts, with room for one waiting connection:
    // the next connection is never answered.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&at), &size), 0);
    const String url = String("tcp::127.0.0.1:" + std::to_string(ntohs(at.sin_port)));
    SetNetworkTimeout(500, 1000);
    Ref<TByteStream> first = OpenReadStream(url);
    ASSERT_TRUE(first);
    EXPECT_FALSE(OpenReadStream(url));
    EXPECT_EQ(LastErrorText(), url + ": timed out after 500 ms");
    first->Close();
    ::close(listener);
    SetNetworkTimeout(kDefaultConnectTimeoutMs, kDefaultReadTimeoutMs);
}

TEST_F(TcpStreamTest, HostsAndPortsAreReadAsDocumented) {
    std::atomic<int> served{0};
    TestServer server("127.0.0.1", 0, [&](int s) { served += test::SendAll(s, "x"); }, 2);
    const std::string port = std::to_string(server.Port());
    // White space after the colon, and a name looked up as IPv4.
    Ref<TByteStream> a = OpenReadStream(String("tcp::127.0.0.1: " + port));
    ASSERT_TRUE(a);
    EXPECT_EQ(a->ReadByte(), 'x');
    a->Close();
    Ref<TByteStream> b = OpenReadStream(String("tcp::localhost:" + port));
    ASSERT_TRUE(b);
    EXPECT_EQ(b->ReadByte(), 'x');
    b->Close();
    server.Join();
    EXPECT_EQ(served, 2);
}

TEST_F(TcpStreamTest, WithoutAPortTheStreamGoesToPort80) {
    auto server = TestServer::OnPort80([](int s) { test::SendAll(s, "eighty"); });
    ASSERT_TRUE(server);
    EXPECT_EQ(LoadText(String("tcp::" + server->Host())), "eighty");
}

TEST_F(TcpStreamTest, FailuresGiveTheNullObject) {
    // No digits: port 0, which nothing serves.
    EXPECT_FALSE(OpenReadStream("tcp::127.0.0.1:abc"));
    // Names that do not resolve (rejected before any query leaves the machine).
    EXPECT_FALSE(OpenReadStream("tcp::bad host name:80"));
    EXPECT_FALSE(OpenReadStream("tcp::"));
    EXPECT_FALSE(OpenReadStream("tcp:::80"));
    EXPECT_FALSE(TTcpStream::Connect(String(u"127.0.0.1\0x", 11), 80));
    // Refused: a port that was just given up.
    int port;
    {
        TestServer gone("127.0.0.1", 0, [](int) {}, 0);
        port = gone.Port();
    }
    EXPECT_FALSE(OpenReadStream(String("tcp::127.0.0.1:" + std::to_string(port))));
    // Ports outside 0..65535 are not wrapped around.
    TestServer server("127.0.0.1", 0, [](int) {}, 0);
    // Units above 0xFF are refused, not narrowed (U+0131 U+0132 U+0137 would read "127").
    const String narrowed = String(u"tcp::\u0131\u0132\u0137.0.0.1:") + String(std::to_string(server.Port()));
    EXPECT_FALSE(OpenReadStream(narrowed));
    EXPECT_EQ(LastErrorText(), narrowed + ": not a valid host name");
    EXPECT_FALSE(TTcpStream::Connect("127.0.0.1", server.Port() + 65536));
    EXPECT_FALSE(TTcpStream::Connect("127.0.0.1", -1));
    EXPECT_FALSE(TTcpStream::FromSocket(0));
    EXPECT_FALSE(TTcpStream::FromSocket(-3));
}

TEST_F(TcpStreamTest, AClosedStreamTransfersNothing) {
    TestServer server("127.0.0.1", 0, [](int s) { test::ReceiveUntil(s, "never"); });
    Ref<TTcpStream> s = DownCast<TTcpStream>(OpenReadStream(Url(server)));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->Close(), 0);
    EXPECT_EQ(s->Socket(), 0);
    EXPECT_EQ(s->Eof(), 1);
    char buf[4] = {};
    EXPECT_EQ(s->Read(buf, 4), 0);
    EXPECT_EQ(s->Write(buf, 4), 0);
    EXPECT_THROW(s->WriteInt(1), TStreamWriteError);
    EXPECT_EQ(s->Close(), 0);
    // Empty transfers leave an open stream as it was.
    TestServer other("127.0.0.1", 0, [](int s) { test::SendAll(s, "z"); });
    Ref<TTcpStream> t = DownCast<TTcpStream>(OpenReadStream(Url(other)));
    EXPECT_EQ(t->Read(buf, 0), 0);
    EXPECT_EQ(t->Write(buf, -1), 0);
    EXPECT_EQ(t->Eof(), 0);
    EXPECT_EQ(t->ReadByte(), 'z');
    t->Close();
}

TEST_F(TcpStreamTest, WritingToAGonePeerFailsWithoutKillingTheProcess) {
    TestServer server("127.0.0.1", 0, [](int) {});  // closes at once
    Ref<TByteStream> s = OpenWriteStream(Url(server));
    ASSERT_TRUE(s);
    server.Join();
    const std::string block(65536, 'x');
    const auto writeMuch = [&] {
        for (int i = 0; i < 1000; ++i) s->WriteFully(block.data(), static_cast<int32_t>(block.size()));
    };
    EXPECT_THROW(writeMuch(), TStreamWriteError);
    EXPECT_EQ(s->Eof(), -1);
    EXPECT_EQ(s->WriteFailed(), 1);
    s->Close();
}

TEST_F(TcpStreamTest, ADroppedStreamClosesItsSocket) {
    // The server sees the end of the connection only when our side closes.
    std::atomic<bool> sawEnd{false};
    TestServer server("127.0.0.1", 0, [&](int s) {
        char byte;
        sawEnd = ::recv(s, &byte, 1, 0) == 0;
    });
    {
        Ref<TByteStream> s = OpenReadStream(Url(server));
        ASSERT_TRUE(s);
    }
    server.Join();
    EXPECT_TRUE(sawEnd);
}

TEST_F(TcpStreamTest, TheSocketLayerServesToo) {
    int32_t family = 0, length = 0;
    const auto addresses = ResolveHost("localhost", family, length);
    ASSERT_FALSE(addresses.empty());
    EXPECT_EQ(family, 2);
    EXPECT_EQ(length, 4);
    EXPECT_EQ(addresses[0], (ByteArray{127, 0, 0, 1}));
    EXPECT_TRUE(ResolveHost("bad host name", family, length).empty());

    // A listener of our own on some free port.
    const int32_t listener = OpenSocket(SOCKET_FAMILY_INET, SOCKET_TYPE_STREAM, 0);
    ASSERT_GT(listener, 0);
    int32_t port = 0;
    for (int32_t p = 39000 + getpid() % 1000; p < 65000; p += 7) {
        if (BindSocket(listener, 2, p) == 0) {
            port = p;
            break;
        }
    }
    ASSERT_NE(port, 0);
    EXPECT_EQ(BindSocket(listener, 10, port), -1);
    ASSERT_EQ(ListenSocket(listener, 4), 0);
    int32_t waiting[1] = {listener};
    EXPECT_EQ(SelectSockets(1, waiting, 0, nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(waiting[0], 0);

    Ref<TTcpStream> client = TTcpStream::Connect("127.0.0.1", port);
    ASSERT_TRUE(client);
    waiting[0] = listener;
    EXPECT_EQ(SelectSockets(1, waiting, 0, nullptr, 0, nullptr, 2000), 1);
    EXPECT_EQ(waiting[0], listener);
    uint8_t address[16] = {};
    int32_t size = sizeof address;
    const int32_t peer = AcceptSocket(listener, address, &size);
    ASSERT_GT(peer, 0);
    EXPECT_EQ(size, 16);
    EXPECT_EQ(address[0] | address[1] << 8, 2);
    EXPECT_EQ(address[4], 127);
    EXPECT_EQ(address[7], 1);

    EXPECT_EQ(SendBytes(peer, "ping", 4, 0), 4);
    EXPECT_EQ(client->ReadText(4), "ping");
    client->WriteText("pong");
    char got[4];
    EXPECT_EQ(ReceiveBytes(peer, got, 4, 0), 4);
    EXPECT_EQ(std::string(got, 4), "pong");
    int32_t writable[2] = {peer, 0};
    EXPECT_EQ(SelectSockets(0, nullptr, 2, writable, 0, nullptr, 1000), 1);
    EXPECT_EQ(writable[0], peer);
    client->Close();
    EXPECT_EQ(ReceiveBytes(peer, got, 4, 0), 0);

    // A connection on a socket taken over by a stream.
    Ref<TTcpStream> server = TTcpStream::FromSocket(peer);
    EXPECT_EQ(server->Socket(), peer);
    server->Close();
    EXPECT_EQ(CloseSocket(listener), 0);
    const uint8_t loopback[4] = {127, 0, 0, 1};
    EXPECT_EQ(ConnectSocket(listener, loopback, 10, 4, port), -1);
    EXPECT_EQ(ConnectSocket(listener, loopback, 2, 4, 70000), -1);
    EXPECT_EQ(SocketStartup(), 0);
}

TEST_F(TcpStreamTest, ByteOrderFunctions) {
    EXPECT_EQ(HostToNetShort(0x1234), 0x3412);
    EXPECT_EQ(NetToHostShort(0x3412), 0x1234);
    EXPECT_EQ(HostToNetShort(0x12345), 0x4523);  // 16 bits only
    EXPECT_EQ(HostToNetLong(0x01020304), 0x04030201);
    EXPECT_EQ(NetToHostLong(0x04030201), 0x01020304);
}

}  // namespace
}  // namespace korva
