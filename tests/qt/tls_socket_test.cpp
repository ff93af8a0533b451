// The Qt socket inside TLS against a local TLS server with certificates made
// now by openssl: a session whose certificate the trust accepts carries bytes
// both ways; every other one fails as a security error that names its cause,
// and not one byte of the session leaves in clear.
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "client/qt/kit/qt_socket.h"

namespace navlet::qt {
namespace {

bool Spin(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// A CA, an unrelated CA, and two server certificates the first signs: one for
// localhost and 127.0.0.1, one for another name only.
class TTestCertificates {
  public:
    TTestCertificates() {
        const std::string d = dir.path().toStdString();
        const std::string script =
            "cd '" + d +
            "' && for ca in ca other; do "
            "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1 "
            "-subj /CN=test-$ca -keyout $ca.key -out $ca.crt || exit 1; done && "
            "for name in local:IP:127.0.0.1,DNS:localhost elsewhere:DNS:elsewhere.example; do "
            "file=${name%%:*}; san=${name#*:}; "
            "openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj /CN=$file "
            "-keyout $file.key -out $file.csr || exit 1; "
            "printf 'subjectAltName=%s\\n' $san > $file.ext; "
            "openssl x509 -req -in $file.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 1 "
            "-extfile $file.ext -out $file.crt || exit 1; done";
        made = std::system(("(" + script + ") >/dev/null 2>&1").c_str()) == 0;
    }
    QString Path(const char* file) const { return dir.filePath(QString::fromLatin1(file)); }
    TTlsTrust Trusting(const char* caFile) const {
        TTlsTrust trust;
        trust.extraCas = QSslCertificate::fromPath(Path(caFile));
        return trust;
    }
    QSslConfiguration ServerConfig(const char* name) const {
        QFile cert(Path((std::string(name) + ".crt").c_str()));
        QFile key(Path((std::string(name) + ".key").c_str()));
        cert.open(QIODevice::ReadOnly);
        key.open(QIODevice::ReadOnly);
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificate(QSslCertificate(&cert));
        config.setPrivateKey(QSslKey(&key, QSsl::Ec));
        config.setPeerVerifyMode(QSslSocket::VerifyNone);
        return config;
    }

    QTemporaryDir dir;
    bool made = false;
};

// A server that speaks TLS with `config` on every connection, or, without
// one, answers in clear as a server of another protocol would, or, when
// `silent`, takes the connection and says nothing.
class TTestServer : public QTcpServer {
  public:
    std::optional<QSslConfiguration> config;
    bool silent = false;
    std::vector<QSslSocket*> peers;
    QByteArray receivedInClear; // what reached a server without TLS

  protected:
    void incomingConnection(qintptr descriptor) override {
        auto* peer = new QSslSocket(this);
        peer->setSocketDescriptor(descriptor);
        peers.push_back(peer);
        if (silent)
            return;
        if (config) {
            peer->setSslConfiguration(*config);
            peer->startServerEncryption();
            return;
        }
        connect(peer, &QSslSocket::readyRead, this, [this, peer] {
            receivedInClear += peer->readAll();
            peer->write("HTTP/1.0 400 Bad Request\r\n\r\n");
        });
    }
};

class TTlsSocketTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(certs.made) << "openssl could not make the test certificates";
        ASSERT_TRUE(QSslSocket::supportsSsl()) << "Qt has no TLS backend here";
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    }

    // A socket for localhost over TLS, its notifications recorded.
    std::unique_ptr<TQtClientSocket> Socket(TTlsTrust trust, const char* host = "localhost") {
        auto s = std::make_unique<TQtClientSocket>(std::move(trust));
        s->SetEndpoint(host, server.serverPort(), /*useTls=*/true);
        s->OnConnect = [this](TClientSocket&) { events.push_back("connect"); };
        s->OnDisconnect = [this](TClientSocket&) { events.push_back("disconnect"); };
        s->OnError = [this](TClientSocket& socket, TErrorEvent e, int&) {
            events.push_back(e == TErrorEvent::eeSecurity ? "security" : "error");
            fault = socket.SecurityFault();
        };
        return s;
    }
    bool Failed() const {
        return std::find(events.begin(), events.end(), "security") != events.end();
    }

    TTestCertificates certs;
    TTestServer server;
    std::vector<std::string> events;
    std::string fault;
};

TEST_F(TTlsSocketTest, ATrustedCertificateCarriesTheSessionBothWays) {
    server.config = certs.ServerConfig("local");
    auto socket = Socket(certs.Trusting("ca.crt"));
    socket->Open();
    ASSERT_TRUE(Spin([&] { return socket->Connected(); })) << fault;
    EXPECT_EQ(events, std::vector<std::string>{"connect"});
    ASSERT_EQ(server.peers.size(), 1u);
    QSslSocket* peer = server.peers[0];
    ASSERT_TRUE(Spin([&] { return peer->isEncrypted(); }));

    const uint8_t hello[] = {1, 2, 3, 4, 5};
    EXPECT_EQ(socket->Send(hello, 5), 5);
    ASSERT_TRUE(Spin([&] { return peer->bytesAvailable() >= 5; }));
    EXPECT_EQ(peer->readAll(), QByteArray("\x01\x02\x03\x04\x05", 5));

    peer->write("reply");
    uint8_t in[16] = {};
    int got = 0;
    ASSERT_TRUE(Spin([&] {
        got += socket->Receive(in + got, int(sizeof in) - got);
        return got >= 5;
    }));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(in), 5), "reply");
    socket->Close();
    EXPECT_EQ(events.back(), "disconnect");
}

TEST_F(TTlsSocketTest, CertificatesItCannotTrustFailWithTheirCause) {
    struct TCase {
        const char* serverCert;
        const char* trustedCa; // nullptr: the system's store only
        const char* host;
        const char* causeHas;
    };
    for (const TCase& c : {TCase{"local", nullptr, "localhost", "issuer"},
                           TCase{"local", "other.crt", "localhost", "issuer"},
                           TCase{"elsewhere", "ca.crt", "localhost", "host name"}}) {
        SCOPED_TRACE(std::string(c.serverCert) + " trusted by " +
                     (c.trustedCa ? c.trustedCa : "the system") + " at " + c.host);
        events.clear();
        fault.clear();
        server.config = certs.ServerConfig(c.serverCert);
        auto socket = Socket(c.trustedCa ? certs.Trusting(c.trustedCa) : TTlsTrust{}, c.host);
        socket->Open();
        ASSERT_TRUE(Spin([&] { return Failed(); }));
        EXPECT_EQ(std::count(events.begin(), events.end(), "connect"), 0);
        EXPECT_NE(fault.find(c.causeHas), std::string::npos) << fault;
        EXPECT_FALSE(socket->Active());
        // Nothing can be sent on a session that never came up.
        const uint8_t secret[] = {'p', 'w'};
        EXPECT_EQ(socket->Send(secret, 2), 0);
    }
}

TEST_F(TTlsSocketTest, AServerWithoutTlsNeverGetsTheSessionInClear) {
    auto socket = Socket(certs.Trusting("ca.crt"));
    socket->Open();
    ASSERT_TRUE(Spin([&] { return Failed(); })) << "events: " << events.size();
    EXPECT_FALSE(fault.empty());
    // All it saw is the start of a handshake: a TLS record of type 22.
    ASSERT_FALSE(server.receivedInClear.isEmpty());
    EXPECT_EQ(uint8_t(server.receivedInClear[0]), 22);
}

TEST_F(TTlsSocketTest, AServerThatNeverAnswersTheHandshakeTimesOut) {
    server.silent = true;
    auto socket = Socket(certs.Trusting("ca.crt"));
    socket->SetHandshakeTimeout(300);
    socket->Open();
    ASSERT_TRUE(Spin([&] { return Failed(); }, 3000));
    EXPECT_NE(fault.find("did not finish the TLS handshake"), std::string::npos) << fault;
    EXPECT_FALSE(socket->Active());
}

TEST_F(TTlsSocketTest, AnUnreadableTestCaFailsEachSessionWithoutConnecting) {
    QFile junk(certs.Path("junk.pem"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a certificate\n");
    junk.close();
    qputenv("NAVLET_TLS_CA", certs.Path("junk.pem").toLocal8Bit());
    TTlsTrust trust = TTlsTrust::FromEnvironment();
    qputenv("NAVLET_TLS_CA", certs.Path("ca.crt").toLocal8Bit());
    const TTlsTrust good = TTlsTrust::FromEnvironment();
    qunsetenv("NAVLET_TLS_CA");
    EXPECT_EQ(good.extraCas.size(), 1);
    EXPECT_TRUE(good.fault.empty());
    EXPECT_TRUE(trust.extraCas.isEmpty());
    EXPECT_NE(trust.fault.find("NAVLET_TLS_CA"), std::string::npos);

    server.config = certs.ServerConfig("local");
    auto socket = Socket(std::move(trust));
    socket->Open();
    EXPECT_TRUE(events.empty()) << "reported from the event loop, not inside Open";
    ASSERT_TRUE(Spin([&] { return Failed(); }));
    EXPECT_NE(fault.find("NAVLET_TLS_CA"), std::string::npos) << fault;
    EXPECT_FALSE(server.hasPendingConnections());
    EXPECT_TRUE(server.peers.empty());
}

} // namespace
} // namespace navlet::qt
