// The "http" and "https" opener: HTTP/1.0 GET requests over TCP or TLS,
// the status and header of the response, redirects.
#include "korvagl/stream/http_stream.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "korvagl/app/last_error.h"
#include "korvagl/app/modules.h"
#include "korvagl/stream/tcp_stream.h"
#include "stream/network.h"

namespace korva {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// "HTTP/" version, spaces, a status of 100-999, then the end or a space and
// the reason phrase. Returns the status, or 0 when the line is not a status
// line.
int32_t ParseStatusLine(std::string_view line, std::string& reason) {
    if (line.substr(0, 5) != "HTTP/") return 0;
    size_t at = line.find(' ');
    if (at == std::string_view::npos || at == 5) return 0;
    while (at < line.size() && line[at] == ' ') ++at;
    if (line.size() - at < 3 || line[at] < '1' || line[at] > '9' || !IsDigit(line[at + 1]) || !IsDigit(line[at + 2])) {
        return 0;
    }
    if (line.size() > at + 3 && line[at + 3] != ' ') return 0;
    reason = Trim(line.substr(std::min(line.size(), at + 4)));
    return (line[at] - '0') * 100 + (line[at + 1] - '0') * 10 + (line[at + 2] - '0');
}

// Decimal digits only, at most 18 of them (no overflow); -1 otherwise.
int64_t ParseLength(std::string_view text) {
    if (text.empty() || text.size() > 18) return -1;
    int64_t value = 0;
    for (const char c : text) {
        if (!IsDigit(c)) return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The parts of one of our URLs: "http::host:port/path" or "https::...".
struct Target {
    bool tls = false;
    std::string authority;  // host and port as the URL gives them
    std::string host;
    int32_t port = 0;
    std::string file;  // the path from its "/", query included
};

// Splits `url`; returns the empty string or why it cannot be requested.
std::string ParseTarget(const String& url, Target& target) {
    for (const char16_t unit : url.View()) {
        // Control characters would add lines to the request, and a unit past
        // 0xFF would go out as another byte.
        if (unit < 0x20 || unit > 0xFF) return "characters that cannot go into a request";
    }
    const std::string text = url.ToBytes();
    const size_t colons = text.find("::");
    target.tls = text.substr(0, colons) == "https";
    const std::string path = text.substr(colons + 2);
    const size_t slash = path.find('/');
    target.authority = path.substr(0, slash);
    target.file = slash == std::string::npos ? "/" : path.substr(slash);
    target.host = target.authority;
    target.port = target.tls ? 443 : 80;
    const size_t colon = target.authority.rfind(':');
    if (colon != std::string::npos) {
        target.host = target.authority.substr(0, colon);
        const std::string port = target.authority.substr(colon + 1);
        if (!port.empty()) {
            const int64_t value = port.size() <= 5 ? ParseLength(port) : -1;
            if (value < 1 || value > 65535) return "bad port \"" + port + "\"";
            target.port = static_cast<int32_t>(value);
        }
    }
    return "";
}

bool IsRedirect(int32_t status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

enum class Coding { Plain, Chunked, Unknown };

// How a body in the transfer codings `list` ("chunked", "identity, chunked")
// is read: chunked must come last, and identity changes nothing.
Coding BodyCoding(const String& list) {
    const std::string text = list.ToBytes();
    Coding coding = Coding::Plain;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view name = Trim(std::string_view(text).substr(start, comma - start));
        start = comma + 1;
        if (name.empty()) continue;
        if (coding == Coding::Chunked) return Coding::Unknown;  // something after chunked
        if (SameLetters(name, "chunked")) coding = Coding::Chunked;
        else if (!SameLetters(name, "identity")) return Coding::Unknown;
    }
    return coding;
}

Ref<TByteStream> Failed(const String& url, const String& cause) {
    detail::SetLastErrorText(detail::Quoted(url) + ": " + cause);
    return nullptr;
}

// Connects (and speaks TLS for https), sends the request, reads the header.
// The null object after a failure, whose reason is recorded.
Ref<TTcpStream> Request(const String& url, const Target& target, detail::THttpResponseHead& head) {
    const int32_t socket = detail::ConnectTcp(String(target.host), target.port, detail::Quoted(url));
    if (socket < 0) return nullptr;
    Ref<TTcpStream> stream = target.tls ? detail::StartTls(socket, String(target.host), url)
                                        : TTcpStream::FromSocket(socket);
    if (!stream) return nullptr;
    stream->SetNetworkName(url);
    try {
        stream->WriteLine(String("GET " + target.file + " HTTP/1.0"));
        stream->WriteLine(String("Host: " + target.authority));
        stream->WriteLine("");
    } catch (...) {
        stream->Close();
        throw;
    }
    const String problem = detail::ReadHttpResponseHead(*stream, head);
    if (!problem.IsEmpty() || stream->Eof() < 0) {
        // A read that failed recorded its own reason.
        if (stream->Eof() >= 0) Failed(url, problem);
        stream->Close();
        return nullptr;
    }
    return stream;
}

}  // namespace

namespace {

// Takes one header field into `head`; the empty string or why the response
// cannot be used.
std::string TakeField(std::string_view name, std::string_view value, detail::THttpResponseHead& head) {
    name = Trim(name);
    value = Trim(value);
    if (SameLetters(name, "Content-Length")) {
        const int64_t length = ParseLength(value);
        if (length < 0 || (head.contentLength >= 0 && head.contentLength != length)) {
            return "bad Content-Length \"" + std::string(value) + "\"";
        }
        head.contentLength = length;
    } else if (SameLetters(name, "Location")) {
        head.location = String(std::string(value));
    } else if (SameLetters(name, "Transfer-Encoding") && !value.empty()) {
        // Repeated fields make one list.
        const String coding = String(std::string(value));
        head.transferEncoding = head.transferEncoding.IsEmpty() ? coding : head.transferEncoding + ", " + coding;
    }
    return "";
}

}  // namespace

String detail::ReadHttpResponseHead(TByteStream& stream, THttpResponseHead& head) {
    head = THttpResponseHead();
    int32_t total = 0;
    bool first = true;
    std::string line;
    std::string field;  // the last field line, with its continuation lines
    const auto takeField = [&] {
        const size_t colon = field.find(':');
        const std::string_view text(field);
        std::string problem = colon == std::string::npos ? "" : TakeField(text.substr(0, colon), text.substr(colon + 1), head);
        field.clear();
        return problem;
    };
    while (stream.Eof() == 0) {
        // One line, as ReadLine reads it, within the header's byte budget.
        line.clear();
        uint8_t byte;
        bool ended = false;
        while (stream.Read(&byte, 1) == 1) {
            if (++total > kMaxHttpHeaderBytes) return "the header is longer than " + std::to_string(kMaxHttpHeaderBytes) + " bytes";
            if (byte == 0 || byte == '\n') {
                ended = true;
                break;
            }
            if (byte != '\r') line.push_back(static_cast<char>(byte));
        }
        if (first) {
            std::string reason;
            head.status = ParseStatusLine(line, reason);
            head.reason = String(reason);
            if (head.status == 0) return line.empty() && !ended ? "no response" : "no HTTP status line";
            first = false;
            continue;
        }
        if (!line.empty() && ended && (line[0] == ' ' || line[0] == '\t') && !field.empty()) {
            // An old-style continuation: part of the field above, after a space.
            field += " " + std::string(Trim(line));
            continue;
        }
        // The field above is whole now.
        if (const std::string problem = takeField(); !problem.empty()) return String(problem);
        if (line.empty()) {
            head.complete = ended ? 1 : 0;
            break;
        }
        if (!ended) break;  // a header line cut off by the end: not used
        field = line;
    }
    if (first) return "no response";
    return String(takeField());  // one on the last line before the stream ended
}

String detail::ResolveHttpLocation(const String& from, const String& location) {
    std::string to = location.ToBytes();
    to = std::string(Trim(to.substr(0, to.find('#'))));
    if (to.empty()) return String();
    const std::string base = from.ToBytes();
    const size_t colons = base.find("::");
    if (colons == std::string::npos) return String();
    std::string protocol = base.substr(0, colons);
    const std::string path = base.substr(colons + 2);
    const size_t slash = path.find('/');
    const std::string authority = path.substr(0, slash);
    const std::string file = slash == std::string::npos ? "/" : path.substr(slash);

    // A scheme: letters first, then letters, digits, "+", "-" or ".", then ":".
    const size_t end = to.find_first_of(":/?");
    if (end != std::string::npos && to[end] == ':') {
        std::string scheme;
        for (size_t i = 0; i < end; ++i) scheme.push_back(Lower(to[i]));
        if (scheme != "http" && scheme != "https") return String();
        protocol = scheme;
        to.erase(0, end + 1);
        if (to.compare(0, 2, "//") != 0) return String();
    }
    if (to.compare(0, 2, "//") == 0) {
        const size_t stop = to.find_first_of("/?", 2);
        const std::string host = to.substr(2, stop == std::string::npos ? std::string::npos : stop - 2);
        if (host.empty() || host.find('@') != std::string::npos) return String();
        std::string rest = stop == std::string::npos ? "/" : to.substr(stop);
        if (rest[0] == '?') rest.insert(0, "/");
        return String(protocol + "::" + host + rest);
    }
    if (to[0] == '/') return String(protocol + "::" + authority + to);
    const std::string plain = file.substr(0, file.find('?'));
    if (to[0] == '?') return String(protocol + "::" + authority + plain + to);
    return String(protocol + "::" + authority + plain.substr(0, plain.rfind('/') + 1) + to);
}

Ref<TByteStream> THttpStreamOpener::CreateStream(const String& protocol, const String& path, int32_t, int32_t) {
    if (protocol != "http" && protocol != "https") return nullptr;
    const String asked = protocol + "::" + path;
    String url = asked;
    for (int32_t redirects = 0;; ++redirects) {
        Target target;
        const std::string problem = ParseTarget(url, target);
        if (!problem.empty()) return Failed(url, String(problem));
        detail::THttpResponseHead head;
        Ref<TTcpStream> stream = Request(url, target, head);
        if (!stream) return nullptr;
        if (IsRedirect(head.status) && !head.location.IsEmpty()) {
            stream->Close();
            if (redirects == detail::kMaxHttpRedirects) return Failed(asked, "too many redirects");
            const String next = detail::ResolveHttpLocation(url, head.location);
            if (next.IsEmpty()) return Failed(url, "a redirect to " + detail::Quoted(head.location) + " cannot be followed");
            url = next;
            continue;
        }
        if (head.status < 200 || head.status > 299) {
            stream->Close();
            String text = "HTTP " + String(std::to_string(head.status));
            if (!head.reason.IsEmpty()) text = text + " " + head.reason;
            return Failed(url, text);
        }
        const Coding coding = BodyCoding(head.transferEncoding);
        if (coding == Coding::Unknown) {
            stream->Close();
            return Failed(url, "transfer encoding " + detail::Quoted(head.transferEncoding) + " is not supported");
        }
        // Chunks say where the body ends, whatever a Content-Length claims.
        if (coding == Coding::Chunked) stream->DecodeChunked();
        else if (head.complete && head.contentLength >= 0) stream->EndAfter(head.contentLength);
        return stream;
    }
}

int InitHttpStreams() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitStreams();
    InitTcpStreams();
    detail::NoteModuleStarted("HTTP streams");
    New<THttpStreamOpener>();
    return 0;
}

}  // namespace korva
