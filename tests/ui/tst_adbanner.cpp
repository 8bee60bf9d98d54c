#include "ui/banner/adbanner.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace pfw;

namespace {

// A tiny HTTP server on 127.0.0.1: each path answers with its body after an optional delay, or
// with a body that does not end until the client hangs up (or 64 MiB have gone out).
class LocalServer : public QObject
{
public:
    struct Answer
    {
        int status = 200;
        QByteArray body;
        int delayMs = 0;
    };
    static constexpr qint64 kStreamLimit = qint64(64) << 20;

    LocalServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        });
    }
    QUrl url(const QString &path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    QHash<QString, Answer> answers;
    // Paths that stream without end, with the length announced in the header (-1: none).
    QHash<QString, qint64> endless;
    QStringList requested;
    QStringList userAgents;
    qint64 streamed = 0;
    bool streamStopped = false;
    bool clientHungUp = false;

private:
    void serve(QTcpSocket *socket)
    {
        m_pending[socket] += socket->readAll();
        const QByteArray request = m_pending.value(socket);
        if (!request.contains("\r\n\r\n"))
            return;
        const QString path = QString::fromLatin1(request.split(' ').value(1));
        requested << path;
        for (const QByteArray &line : request.split('\n')) {
            if (line.toLower().startsWith("user-agent:"))
                userAgents << QString::fromLatin1(line.mid(11).trimmed());
        }
        if (endless.contains(path)) {
            QByteArray head = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
            if (endless.value(path) >= 0)
                head += "Content-Length: " + QByteArray::number(endless.value(path)) + "\r\n";
            socket->write(head + "\r\n");
            connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { stream(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this] { clientHungUp = !streamStopped; });
            stream(socket);
            return;
        }
        const Answer answer = answers.value(path, Answer{404, "missing", 0});
        QTimer::singleShot(answer.delayMs, socket, [socket, answer] {
            socket->write("HTTP/1.1 " + QByteArray::number(answer.status) + " X\r\nContent-Length: "
                          + QByteArray::number(answer.body.size()) + "\r\nConnection: close\r\n\r\n" + answer.body);
            socket->disconnectFromHost();
        });
    }

    void stream(QTcpSocket *socket)
    {
        static const QByteArray chunk(64 * 1024, 'x');
        while (!streamStopped && socket->state() == QAbstractSocket::ConnectedState
               && socket->bytesToWrite() < 256 * 1024) {
            if (streamed >= kStreamLimit) {
                streamStopped = true;
                socket->disconnectFromHost();
                return;
            }
            socket->write(chunk);
            streamed += chunk.size();
        }
    }

    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_pending;
};

QByteArray imageBytes(const char *format, int side)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// Memory figures of this process in KiB from /proc, -1 where there are none.
qint64 memoryKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

bool resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1 && memoryKiB("VmHWM:") > 0;
}

} // namespace

class TestAdBanner : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void allowedUrls_data();
    void allowedUrls();
    void withoutNetworkOrCacheABuiltInShows();
    void aDefaultBuildContactsNobody();
    void cacheFreshness_data();
    void cacheFreshness();
    void adsOutsideTheirWindowFallBack();
    void jpegPictureIsCachedAsJpg();
    void latePictureIsDiscarded();
    void unsafeLinksAreNotFollowed();
    void loopbackHttpOnlyWithTheTestSwitch_data();
    void loopbackHttpOnlyWithTheTestSwitch();
    void badCacheFilesCountAsNone_data();
    void badCacheFilesCountAsNone();
    void endlessRepliesAreCut_data();
    void endlessRepliesAreCut();

private:
    void writeCache(const QByteArray &manifest, qint64 fetchedMs);
    std::unique_ptr<AdBanner> banner();
    QString cache() const { return m_dir->filePath(QStringLiteral("ads")); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<LocalServer> m_server;
};

namespace {
const QUrl kMakerPage(QStringLiteral("https://maker.example/pixinsight/"));
} // namespace

void TestAdBanner::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_server = std::make_unique<LocalServer>();
}

void TestAdBanner::writeCache(const QByteArray &manifest, qint64 fetchedMs)
{
    QDir().mkpath(cache());
    QFile bytes(cache() + QLatin1String("/manifest.xml"));
    QVERIFY(bytes.open(QIODevice::WriteOnly));
    bytes.write(manifest);
    QFile fetched(cache() + QLatin1String("/manifest.fetched"));
    QVERIFY(fetched.open(QIODevice::WriteOnly));
    fetched.write(QByteArray::number(fetchedMs));
}

std::unique_ptr<AdBanner> TestAdBanner::banner()
{
    auto result = std::make_unique<AdBanner>(cache());
    result->setManifestUrl(m_server->url(QStringLiteral("/manifest.xml")));
    result->setMakerPage(kMakerPage);
    result->setToday(QStringLiteral("2026-12-08"));
    result->setOpener([](const QUrl &) { return true; });
    result->allowLoopbackHttpForTests(true);
    return result;
}

void TestAdBanner::allowedUrls_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("https") << "https://example.org/a.png" << true;
    QTest::newRow("http loopback") << "http://127.0.0.1:8080/a.png" << false;
    QTest::newRow("http elsewhere") << "http://example.org/a.png" << false;
    QTest::newRow("file") << "file:///etc/passwd" << false;
    QTest::newRow("resource") << "qrc:/ads/lumen.png" << false;
    QTest::newRow("data") << "data:image/png;base64,AAAA" << false;
    QTest::newRow("script") << "javascript:alert(1)" << false;
    QTest::newRow("empty") << "" << false;
}

void TestAdBanner::allowedUrls()
{
    QFETCH(QString, url);
    QFETCH(bool, allowed);
    QCOMPARE(AdBanner::isAllowedUrl(QUrl(url)), allowed);
}

void TestAdBanner::withoutNetworkOrCacheABuiltInShows()
{
    auto ads = banner();
    QSignalSpy shown(ads.get(), &AdBanner::adShown);
    ads->start(false, 0);
    QCOMPARE(shown.size(), 1);
    QVERIFY(ads->current().embedded);
    QVERIFY(!ads->picture().isNull());
    QTest::qWait(50);
    QVERIFY(m_server->requested.isEmpty());
}

// Built without addresses, the banner fetches nothing, not even what an old cache names, and a
// click leads nowhere.
void TestAdBanner::aDefaultBuildContactsNobody()
{
    if (!AdBanner::defaultManifestUrl().isEmpty() || !AdBanner::defaultMakerPage().isEmpty())
        QSKIP("Built with the banner's addresses.");
    const QUrl picture = m_server->url(QStringLiteral("/picture"));
    writeCache("<ads><ad id=\"h\"><image>" + picture.toEncoded() + "</image><alt>H</alt></ad></ads>", 0);
    AdBanner ads(cache());
    ads.allowLoopbackHttpForTests(true);
    QList<QUrl> opened;
    ads.setOpener([&opened](const QUrl &url) {
        opened << url;
        return true;
    });
    QSignalSpy shown(&ads, &AdBanner::adShown);
    ads.start(true, 0);
    QCOMPARE(shown.size(), 1);
    QVERIFY(ads.current().embedded);
    QTest::qWait(100);
    QVERIFY(ads.findChildren<QNetworkAccessManager *>().isEmpty());
    QVERIFY(m_server->requested.isEmpty());
    ads.click();
    QVERIFY(opened.isEmpty());
    QCOMPARE(ads.strip()->cursor().shape(), Qt::ArrowCursor);
}

void TestAdBanner::cacheFreshness_data()
{
    QTest::addColumn<QString>("ttl");
    QTest::addColumn<double>("ageHours");
    QTest::addColumn<bool>("fetches");
    QTest::newRow("2d, 47 hours old") << "2d" << 47.0 << false;
    QTest::newRow("2d, 49 hours old") << "2d" << 49.0 << true;
    QTest::newRow("90m, 80 minutes old") << "90m" << 80.0 / 60 << false;
    QTest::newRow("90m, 100 minutes old") << "90m" << 100.0 / 60 << true;
    QTest::newRow("-5 means 24 hours, 23 old") << "-5" << 23.0 << false;
    QTest::newRow("-5 means 24 hours, 25 old") << "-5" << 25.0 << true;
    QTest::newRow("fetched in the future") << "2d" << -1.0 << true;
}

void TestAdBanner::cacheFreshness()
{
    QFETCH(QString, ttl);
    QFETCH(double, ageHours);
    QFETCH(bool, fetches);
    const QByteArray cached
        = QStringLiteral("<ads ttl=\"%1\"><ad id=\"cached\"><alt>Cached</alt></ad></ads>").arg(ttl).toUtf8();
    writeCache(cached, QDateTime::currentMSecsSinceEpoch() - qint64(ageHours * 3600000));
    m_server->answers.insert(QStringLiteral("/manifest.xml"),
                             {200, "<ads><ad id=\"fetched\"><alt>Fetched</alt></ad></ads>", 0});
    auto ads = banner();
    QSignalSpy shown(ads.get(), &AdBanner::adShown);
    ads->start(true, 0);
    QVERIFY(shown.size() == 1 || shown.wait(5000));
    QCOMPARE(ads->current().id, fetches ? QStringLiteral("fetched") : QStringLiteral("cached"));
    QCOMPARE(m_server->requested.size(), fetches ? 1 : 0);
    if (fetches) {
        QCOMPARE(m_server->userAgents, QStringList{QStringLiteral("Prefwright/0.1.3")});
        QFile fetched(cache() + QLatin1String("/manifest.fetched"));
        QVERIFY(fetched.open(QIODevice::ReadOnly));
        QVERIFY(qAbs(fetched.readAll().toLongLong() - QDateTime::currentMSecsSinceEpoch()) < 60000);
    }
}

void TestAdBanner::adsOutsideTheirWindowFallBack()
{
    m_server->answers.insert(QStringLiteral("/manifest.xml"),
                             {200,
                              "<ads><ad id=\"old\" end=\"2026-12-07\"><alt>Old</alt></ad>"
                              "<ad id=\"new\" start=\"2026-12-09\"><alt>New</alt></ad></ads>",
                              0});
    auto ads = banner();
    QSignalSpy shown(ads.get(), &AdBanner::adShown);
    ads->start(true, 0);
    QVERIFY(shown.wait(5000));
    QVERIFY(ads->current().embedded);
    // A valid answer is cached even when nothing in it may show today.
    QVERIFY(QFile::exists(cache() + QLatin1String("/manifest.xml")));
}

void TestAdBanner::jpegPictureIsCachedAsJpg()
{
    const QUrl picture = m_server->url(QStringLiteral("/picture"));
    m_server->answers.insert(QStringLiteral("/picture"), {200, imageBytes("JPG", 20), 0});
    m_server->answers.insert(
        QStringLiteral("/manifest.xml"),
        {200, "<ads><ad id=\"j\"><image>" + picture.toEncoded() + "</image><alt>J</alt></ad></ads>", 0});
    auto ads = banner();
    ads->start(true, 0);
    QTRY_VERIFY_WITH_TIMEOUT(!ads->picture().isNull(), 5000);
    QCOMPARE(ads->picture().size(), QSize(20, 20));
    const QString name = AdManifest::imageCacheBaseName(picture.toString()) + QLatin1String(".jpg");
    QVERIFY(QFile::exists(cache() + u'/' + name));

    // The next start finds the picture in the cache and asks the network for nothing.
    m_server->requested.clear();
    auto again = banner();
    again->start(false, 0);
    QCOMPARE(again->current().id, QStringLiteral("j"));
    QCOMPARE(again->picture().size(), QSize(20, 20));
    QVERIFY(m_server->requested.isEmpty());
}

void TestAdBanner::latePictureIsDiscarded()
{
    const QUrl picture = m_server->url(QStringLiteral("/slow"));
    m_server->answers.insert(QStringLiteral("/slow"), {200, imageBytes("PNG", 30), 300});
    auto ads = banner();
    ads->start(true, 0); // no manifest on the server: a built-in first
    QTRY_VERIFY_WITH_TIMEOUT(m_server->requested.contains(QStringLiteral("/manifest.xml")), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!ads->current().id.isEmpty(), 5000);
    AdRecord slow;
    slow.id = QStringLiteral("slow");
    slow.image = picture.toString();
    ads->showAd(slow);
    ads->showAd(AdBanner::builtInAds().at(1));
    QTRY_VERIFY_WITH_TIMEOUT(m_server->requested.contains(QStringLiteral("/slow")), 5000);
    QTest::qWait(600);
    QCOMPARE(ads->current().id, QStringLiteral("lumen"));
    QCOMPARE(ads->picture().size(), QSize(532, 92));
    QVERIFY(QDir(cache()).entryList({QStringLiteral("img_*")}).isEmpty());
}

void TestAdBanner::unsafeLinksAreNotFollowed()
{
    m_server->answers.insert(QStringLiteral("/manifest.xml"),
                             {200,
                              "<ads><ad id=\"u\"><image>file:///etc/hostname</image>"
                              "<click>file:///etc/passwd</click><alt>U</alt></ad></ads>",
                              0});
    auto ads = banner();
    QList<QUrl> opened;
    ads->setOpener([&opened](const QUrl &url) {
        opened << url;
        return true;
    });
    QSignalSpy shown(ads.get(), &AdBanner::adShown);
    ads->start(true, 0);
    QVERIFY(shown.wait(5000));
    QCOMPARE(ads->current().id, QStringLiteral("u"));
    QVERIFY(ads->picture().isNull());
    ads->click();
    QCOMPARE(opened, QList<QUrl>{kMakerPage});
    QCOMPARE(m_server->requested, QStringList{QStringLiteral("/manifest.xml")});
}

void TestAdBanner::loopbackHttpOnlyWithTheTestSwitch_data()
{
    QTest::addColumn<bool>("testSwitch");
    QTest::newRow("normal run") << false;
    QTest::newRow("test switch") << true;
}

// A downloaded manifest that names http addresses on this computer gets neither picture nor link
// in a normal run.
void TestAdBanner::loopbackHttpOnlyWithTheTestSwitch()
{
    QFETCH(bool, testSwitch);
    const QUrl picture = m_server->url(QStringLiteral("/picture"));
    const QUrl page = m_server->url(QStringLiteral("/page"));
    m_server->answers.insert(QStringLiteral("/picture"), {200, imageBytes("PNG", 20), 0});
    writeCache("<ads><ad id=\"h\"><image>" + picture.toEncoded() + "</image><click>" + page.toEncoded()
                   + "</click><alt>H</alt></ad></ads>",
               QDateTime::currentMSecsSinceEpoch());
    AdBanner ads(cache());
    // The cache is fresh: the manifest's own address is not asked.
    ads.setManifestUrl(QUrl(QStringLiteral("https://maker.example/ads/manifest.xml")));
    ads.setMakerPage(kMakerPage);
    ads.setToday(QStringLiteral("2026-12-08"));
    QList<QUrl> opened;
    ads.setOpener([&opened](const QUrl &url) {
        opened << url;
        return true;
    });
    ads.allowLoopbackHttpForTests(testSwitch);
    ads.start(true, 0);
    QCOMPARE(ads.current().id, QStringLiteral("h"));
    if (testSwitch) {
        QTRY_VERIFY_WITH_TIMEOUT(!ads.picture().isNull(), 5000);
    } else {
        QTest::qWait(300);
        QVERIFY(ads.picture().isNull());
        QVERIFY(m_server->requested.isEmpty());
    }
    ads.click();
    QCOMPARE(opened, QList<QUrl>{testSwitch ? page : kMakerPage});
}

void TestAdBanner::badCacheFilesCountAsNone_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("kind");
    QTest::newRow("manifest links to /dev/zero") << "manifest"
                                                 << "zero";
    QTest::newRow("manifest is a FIFO") << "manifest"
                                        << "fifo";
    QTest::newRow("picture is a FIFO") << "picture"
                                       << "fifo";
}

// A link to /dev/zero used to end the program with bad_alloc, a FIFO to hang it at start.
void TestAdBanner::badCacheFilesCountAsNone()
{
#ifndef Q_OS_UNIX
    QSKIP("Needs FIFOs and /dev/zero.");
#else
    QFETCH(QString, file);
    QFETCH(QString, kind);
    const QString image = QStringLiteral("https://brightquill.example/p.png");
    writeCache("<ads><ad id=\"p\"><image>" + image.toUtf8() + "</image><alt>P</alt></ad></ads>",
               QDateTime::currentMSecsSinceEpoch());
    const QString special = cache() + u'/'
        + (file == u"manifest" ? QStringLiteral("manifest.xml")
                               : AdManifest::imageCacheBaseName(image) + QLatin1String(".png"));
    QFile::remove(special);
    if (kind == u"zero")
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), special));
    else
        QCOMPARE(::mkfifo(QFile::encodeName(special).constData(), 0600), 0);
    auto ads = banner();
    ads->start(false, 0);
    if (file == u"manifest") {
        QVERIFY(ads->current().embedded);
    } else {
        QCOMPARE(ads->current().id, QStringLiteral("p"));
        QVERIFY(ads->picture().isNull());
    }
#endif
}

void TestAdBanner::endlessRepliesAreCut_data()
{
    QTest::addColumn<QString>("endless");
    QTest::addColumn<qint64>("announced");
    QTest::newRow("manifest without end") << "/manifest.xml" << qint64(-1);
    QTest::newRow("manifest announcing 1 GiB") << "/manifest.xml" << (qint64(1) << 30);
    QTest::newRow("picture without end") << "/picture" << qint64(-1);
}

// A server that never stops sending must not fill the memory: the reply is dropped past its cap
// and the banner falls back.
void TestAdBanner::endlessRepliesAreCut()
{
    QFETCH(QString, endless);
    QFETCH(qint64, announced);
    const QUrl picture = m_server->url(QStringLiteral("/picture"));
    m_server->answers.insert(
        QStringLiteral("/manifest.xml"),
        {200, "<ads><ad id=\"p\"><image>" + picture.toEncoded() + "</image><alt>P</alt></ad></ads>", 0});
    m_server->endless.insert(endless, announced);
    auto ads = banner();
    const bool measured = resetPeakMemory();
    const qint64 before = memoryKiB("VmRSS:");
    ads->start(true, 0);
    QTRY_VERIFY_WITH_TIMEOUT(m_server->clientHungUp || m_server->streamStopped, 30000);
    const qint64 grown = memoryKiB("VmHWM:") - before;
    QVERIFY2(m_server->clientHungUp, qPrintable(QStringLiteral("%1 bytes sent").arg(m_server->streamed)));
    if (measured)
        QVERIFY2(grown < 8 * 1024, qPrintable(QStringLiteral("peak memory grew by %1 KiB").arg(grown)));
    QTRY_VERIFY_WITH_TIMEOUT(!ads->current().id.isEmpty(), 5000);
    if (endless == u"/picture") {
        QCOMPARE(ads->current().id, QStringLiteral("p"));
        QVERIFY(ads->picture().isNull());
    } else {
        QVERIFY(ads->current().embedded);
    }
}

QTEST_MAIN(TestAdBanner)
#include "tst_adbanner.moc"
