// Sign-in, redirects and certificates of the request form, against servers on 127.0.0.1.
#include "TestHttpServer.h"
#include "core/catalog/Strings.h"
#include "core/net/FetchFailure.h"
#include "core/net/HttpClient.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString WithUser(QString url, const char* userInfo)
{
    return url.replace("http://", QStringLiteral("http://%1@").arg(userInfo));
}

QString HintOf(const THttpResult& result)
{
    const QDateTime now = QDateTime::currentDateTime();
    return FailureHintLine(FailureOf(result, now), now);
}

TTestResponse Answer(int status, const std::string& location = {})
{
    TTestResponse r;
    r.Status = status;
    r.Body = status == 200 ? MakeBody(2000) : status == 304 ? "" : "<html>elsewhere</html>";
    r.Headers = {{location.empty() ? "ETag" : "Location", location.empty() ? "\"v1\"" : location}};
    return r;
}

TEST(SignInTest, DigestAndBasicOfferTheAddressCredentials)
{
    for (const bool digest : {true, false}) {
        SCOPED_TRACE(digest ? "Digest" : "Basic");
        TTestHttpServer server([digest](const TTestRequest& request) {
            return SignedIn(request, digest, "admin", "pa:s@1") ? Answer(200)
                                                                : SignInChallenge(digest);
        });
        THttpClient http;
        QByteArray body;
        for (int fetch = 0; fetch < 2; ++fetch) // ':' and '@' percent-encoded in the address
            ASSERT_TRUE(http.Get(WithUser(server.Url(), "admin:pa%3As%401"), body).Ok());
        EXPECT_EQ(body.size(), 2000);
        EXPECT_EQ(server.Requests(), 3); // one challenge: the next fetch signs in at once
        const THttpResult refused = http.Get(WithUser(server.Url(), "admin:wrong"), body);
        EXPECT_EQ(refused.Headers.Status, 401);
        EXPECT_TRUE(body.isEmpty());
        EXPECT_TRUE(HintOf(refused).contains("401 Unauthorized: the webcam wants a user name"));
    }
}

TEST(RedirectTest, FollowedAndAPermanentMoveNamesTheNewAddress)
{
    for (const int status : {301, 308, 302, 307}) {
        SCOPED_TRACE(status);
        TTestHttpServer server([status](const TTestRequest& request) {
            if (request.Target == "/cam.jpg")
                return Answer(status, "/moved/cam.jpg");
            const auto tag = request.Headers.find("if-none-match");
            return Answer(tag != request.Headers.end() && tag->second == "\"v1\"" ? 304 : 200);
        });
        THttpClient http;
        QByteArray body;
        const THttpResult result = http.Get(server.Url(), body);
        ASSERT_TRUE(result.Ok()) << result.Cause().toStdString();
        EXPECT_EQ(body.size(), 2000);
        const bool permanent = status == 301 || status == 308;
        EXPECT_EQ(HintOf(result).contains("moved for good to " + server.Url("/moved/cam.jpg")),
                  permanent);
        // The image's validators, sent again through the redirect, still spare its body.
        http.Validators = THttpValidators::Of(result.Headers);
        EXPECT_EQ(http.Get(server.Url(), body).Outcome, THttpOutcome::NotModified);
    }
}

TEST(RedirectTest, ALoopFailsAndSaysSo)
{
    TTestHttpServer server([](const TTestRequest& request) {
        return Answer(302, request.Target == "/a.jpg" ? "/b.jpg" : "/a.jpg");
    });
    THttpClient http;
    QByteArray body;
    EXPECT_TRUE(HintOf(http.Get(server.Url("/a.jpg"), body)).endsWith(FailRedirectLoop));
    EXPECT_EQ(server.Requests(), 1 + THttpClient::MaxRedirects);
}

TEST(RedirectTest, CredentialsStayWithTheirOwnHostAndPort)
{
    TTestHttpServer elsewhere([](const TTestRequest&) { return SignInChallenge(false); });
    TTestHttpServer own([&](const TTestRequest& request) {
        if (!SignedIn(request, false, "admin", "secret"))
            return SignInChallenge(false);
        return request.Target == "/cam.jpg" ? Answer(301, "/moved.jpg")
                                            : Answer(302, elsewhere.Url().toStdString());
    });
    THttpClient http;
    QByteArray body;
    const QString hint = HintOf(http.Get(WithUser(own.Url(), "admin:secret"), body));
    int signedIn = 0;
    for (const TTestRequest& request : own.Log())
        signedIn += SignedIn(request, false, "admin", "secret");
    EXPECT_EQ(signedIn, 2); // the address, and the move on its own host
    ASSERT_FALSE(elsewhere.Log().empty());
    for (const TTestRequest& request : elsewhere.Log())
        EXPECT_EQ(request.Headers.count("authorization"), 0u);
    // The move on its own host is the address to write down: its user kept, the password not.
    EXPECT_TRUE(hint.startsWith("Last failure at ")) << hint.toStdString();
    EXPECT_TRUE(hint.contains(WithUser(own.Url("/moved.jpg"), "admin:***"))) << hint.toStdString();
}

TEST(CertificateTest, ASelfSignedCertificateIsNamedSo)
{
    if (QStandardPaths::findExecutable("openssl").isEmpty())
        GTEST_SKIP() << "openssl is not installed";
    QTemporaryDir dir;
    QProcess make;
    make.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                           "-nodes", "-keyout", dir.filePath("key"), "-out", dir.filePath("cert"),
                           "-days", "2", "-subj", "/CN=127.0.0.1"});
    ASSERT_TRUE(make.waitForFinished(10000) && make.exitCode() == 0);
    QProcess server; // a TLS listener that tells its port on a line of its own
    server.start("openssl", {"s_server", "-accept", "127.0.0.1:0", "-cert", dir.filePath("cert"),
                             "-key", dir.filePath("key"), "-www"});
    static const QRegularExpression accept(QStringLiteral("ACCEPT 127\\.0\\.0\\.1:(\\d+)\\n"));
    QString output;
    while (!accept.match(output).hasMatch() && server.waitForReadyRead(5000))
        output += QString::fromLatin1(server.readAllStandardOutput());
    const QString port = accept.match(output).captured(1);
    ASSERT_FALSE(port.isEmpty()) << output.toStdString();
    THttpClient http;
    QByteArray body;
    const THttpResult result = http.Get("https://127.0.0.1:" + port + "/cam.jpg", body);
    server.kill();
    server.waitForFinished(5000);
    EXPECT_EQ(result.CertificateError, 18); // X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT
    EXPECT_TRUE(HintOf(result).endsWith(FailCertSelfSigned)) << HintOf(result).toStdString();
}

} // namespace
