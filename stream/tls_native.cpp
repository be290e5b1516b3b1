// TLS for https URLs: the one file that talks to OpenSSL.
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "korvagl/app/last_error.h"
#include "korvagl/stream/http_stream.h"
#include "korvagl/stream/socket.h"
#include "stream/network.h"

namespace korva {

namespace {

// The client context of the process: TLS 1.2 or newer, peers verified
// against OpenSSL's default paths and the certificates added since. A server
// that closes without a TLS close message ends the body as a TCP close does.
SSL_CTX* Context() {
    static SSL_CTX* const context = [] {
        SSL_CTX* made = SSL_CTX_new(TLS_client_method());
        if (!made) return made;
        SSL_CTX_set_min_proto_version(made, TLS1_2_VERSION);
        SSL_CTX_set_default_verify_paths(made);
        SSL_CTX_set_verify(made, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_options(made, SSL_OP_IGNORE_UNEXPECTED_EOF);
        return made;
    }();
    return context;
}

// A BIO over the socket layer, whose sends never raise SIGPIPE (OpenSSL's
// own socket BIO writes with write()). A time-out shows as a retry, which
// SSL_read and SSL_write report as SSL_ERROR_WANT_READ / WANT_WRITE with
// errno EAGAIN.
int32_t BioSocket(BIO* bio) { return static_cast<int32_t>(reinterpret_cast<intptr_t>(BIO_get_data(bio))); }

int BioRead(BIO* bio, char* buf, int size) {
    BIO_clear_retry_flags(bio);
    const int32_t n = ReceiveBytes(BioSocket(bio), buf, size, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_read(bio);
    return n;
}

int BioWrite(BIO* bio, const char* buf, int size) {
    BIO_clear_retry_flags(bio);
    const int32_t n = SendBytes(BioSocket(bio), buf, size, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_write(bio);
    return n;
}

long BioControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

BIO_METHOD* SocketMethod() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "korvagl socket");
        BIO_meth_set_read(made, BioRead);
        BIO_meth_set_write(made, BioWrite);
        BIO_meth_set_ctrl(made, BioControl);
        return made;
    }();
    return method;
}

String TimedOut() { return "timed out after " + String(std::to_string(NetworkReadTimeout())) + " ms"; }

String OpenSslReason(const char* fallback) {
    const unsigned long code = ERR_peek_last_error();
    const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
    return String(reason ? reason : fallback);
}

// A TCP stream whose bytes go through TLS.
class TTlsStream final : public TTcpStream {
public:
    TTlsStream(int32_t handle, const String& name, SSL* ssl) : TTcpStream(handle, name), ssl(ssl) {}
    ~TTlsStream() override { SSL_free(ssl); }

    int32_t Close() override {
        if (ssl && Socket() != 0 && Eof() >= 0) SSL_shutdown(ssl);  // says goodbye, waits for no answer
        return TTcpStream::Close();
    }

protected:
    // The error queue is emptied first: SSL_get_error reads it.
    int32_t Receive(void* buf, int32_t count) override {
        ERR_clear_error();
        return Transfer(SSL_read(ssl, buf, count), "TLS read failed");
    }
    int32_t Send(const void* buf, int32_t count) override {
        ERR_clear_error();
        return Transfer(SSL_write(ssl, buf, count), "TLS write failed");
    }

private:
    // SSL_read / SSL_write results in the terms of Receive and Send.
    int32_t Transfer(int result, const char* what) {
        if (result > 0) return result;
        const int error = SSL_get_error(ssl, result);
        if (error == SSL_ERROR_ZERO_RETURN) return 0;
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            errno = EAGAIN;
            return -1;
        }
        if (error == SSL_ERROR_SYSCALL && errno != 0) return -1;  // errno says why
        Fail(String(what) + ": " + OpenSslReason("protocol error"));
        ERR_clear_error();
        return -1;
    }

    SSL* ssl;
};

}  // namespace

Ref<TTcpStream> detail::StartTls(int32_t handle, const String& host, const String& url) {
    auto fail = [&](const String& cause) {
        detail::SetLastErrorText(detail::Quoted(url) + ": " + cause);
        ERR_clear_error();
        CloseSocket(handle);
        return nullptr;
    };
    SSL_CTX* context = Context();
    BIO* bio = context ? BIO_new(SocketMethod()) : nullptr;
    SSL* ssl = bio ? SSL_new(context) : nullptr;
    if (!ssl) {
        BIO_free(bio);
        return fail("TLS unavailable: " + OpenSslReason("out of memory"));
    }
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(handle)));
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl, bio, bio);  // the SSL owns the BIO from here

    // An address is checked against the certificate's IP addresses, a name
    // against its DNS names (and sent as the server name), never against
    // the subject's common name.
    const std::string name = host.ToBytes();
    X509_VERIFY_PARAM* check = SSL_get0_param(ssl);
    if (X509_VERIFY_PARAM_set1_ip_asc(check, name.c_str()) != 1) {
        X509_VERIFY_PARAM_set_hostflags(check, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS | X509_CHECK_FLAG_NEVER_CHECK_SUBJECT);
        if (SSL_set1_host(ssl, name.c_str()) != 1 || SSL_set_tlsext_host_name(ssl, name.c_str()) != 1) {
            SSL_free(ssl);
            return fail("bad host name");
        }
    }

    SetSocketTimeout(handle, NetworkReadTimeout());
    ERR_clear_error();
    errno = 0;
    const int result = SSL_connect(ssl);
    if (result != 1) {
        const int error = SSL_get_error(ssl, result);
        const long verified = SSL_get_verify_result(ssl);
        String cause;
        if (verified == X509_V_ERR_HOSTNAME_MISMATCH) cause = "host name mismatch";
        else if (verified == X509_V_ERR_IP_ADDRESS_MISMATCH) cause = "IP address mismatch";
        else if (verified != X509_V_OK) cause = "certificate verify failed: " + String(X509_verify_cert_error_string(verified));
        else if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) cause = TimedOut();
        else if (error == SSL_ERROR_SYSCALL && errno != 0) cause = "TLS handshake failed: " + String(std::strerror(errno));
        else cause = "TLS handshake failed: " + OpenSslReason("the connection closed");
        SSL_free(ssl);
        return fail(cause);
    }
    return Ref<TTcpStream>(detail::AdoptNew(new TTlsStream(handle, url, ssl)));
}

namespace {

// Adds the PEM certificates of the open stream `s`, which it closes.
int32_t AddCertificates(const Ref<TByteStream>& s, const String& label) {
    const ByteArray bytes = detail::ReadAllAndClose(s);
    SSL_CTX* context = Context();
    BIO* memory = context ? BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())) : nullptr;
    int32_t added = 0;
    if (memory) {
        X509_STORE* store = SSL_CTX_get_cert_store(context);
        while (X509* certificate = PEM_read_bio_X509(memory, nullptr, nullptr, nullptr)) {
            added += X509_STORE_add_cert(store, certificate) == 1 ? 1 : 0;
            X509_free(certificate);
        }
        BIO_free(memory);
    }
    ERR_clear_error();  // the end of the PEM data reads as an error
    if (added == 0) detail::SetLastErrorText(label + ": no certificate in the data");
    return added;
}

}  // namespace

int32_t AddTrustedCertificates(const String& url) {
    Ref<TByteStream> s = OpenReadStream(url);
    return s ? AddCertificates(s, detail::Quoted(url)) : 0;
}

int32_t AddTrustedCertificates(const Ref<Object>& url) {
    Ref<TByteStream> s = OpenReadStream(url);
    if (!s) return 0;
    return AddCertificates(s, DownCast<TStringObject>(url) ? detail::Quoted(UnboxString(url)) : url->ToString());
}

}  // namespace korva
