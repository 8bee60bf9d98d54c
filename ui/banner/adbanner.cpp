#include "ui/banner/adbanner.h"

#include "core/atomicfile.h"
#include "core/boundedfile.h"
#include "ui/dialogs/aboutdialog.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QLabel>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPainter>
#include <QRandomGenerator>
#include <QTimer>

namespace pfw {

QUrl AdBanner::defaultManifestUrl()
{
    return QUrl(QStringLiteral(PFW_AD_MANIFEST_URL));
}

QUrl AdBanner::defaultMakerPage()
{
    return QUrl(QStringLiteral(PFW_MAKER_PAGE));
}

namespace {

const QString kManifestFile = QStringLiteral("manifest.xml");
const QString kFetchedFile = QStringLiteral("manifest.fetched");
constexpr qint64 kMaxFetchedBytes = 64;

// A bad cache file (a link, a FIFO, a device, something huge) counts as no cache.
QByteArray readCacheFile(const QString &path, qint64 maxBytes)
{
    return BoundedFile::read(path, maxBytes, BoundedFile::RefuseLinks).bytes;
}

bool writeAtomically(const QString &path, const QByteArray &bytes)
{
    // The rename replaces a link put in the cache's place, never what it points at.
    return AtomicFile::write(path, bytes).ok();
}

double secureUnitRandom()
{
    // 53 random bits make every double in [0, 1) equally likely.
    return double(QRandomGenerator::system()->generate64() >> 11) * (1.0 / 9007199254740992.0);
}

} // namespace

AdBanner::AdBanner(const QString &cacheFolder, QWidget *parent)
    : QWidget(parent)
    , m_cacheFolder(cacheFolder)
    , m_manifestUrl(defaultManifestUrl())
    , m_makerPage(defaultMakerPage())
{
    setFixedHeight(100);
    m_label = new QLabel(tr("Ad:"), this);
    QFont small = m_label->font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    m_label->setFont(small);
    QPalette palette = m_label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    m_label->setPalette(palette);
    m_label->adjustSize();
    m_label->move(10, 6);
    m_strip = new Strip(this);
    setMinimumWidth(2 * m_label->width() + m_strip->width() + 20);
}

bool AdBanner::isAllowedUrl(const QUrl &url, bool loopbackHttp)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == u"https")
        return true;
    return loopbackHttp && url.scheme() == u"http" && QHostAddress(url.host()).isLoopback();
}

void AdBanner::setMakerPage(const QUrl &url)
{
    m_makerPage = url;
}

QList<AdRecord> AdBanner::builtInAds(const QUrl &makerPage)
{
    const QString page = makerPage.isEmpty() ? QString() : makerPage.toString();
    const auto record = [&page](const char *id, const char *click, const QString &alt) {
        AdRecord ad;
        ad.id = QLatin1String(id);
        ad.image = QStringLiteral(":/ads/%1.png").arg(QLatin1String(id));
        ad.click = page.isEmpty() ? QString() : page + QLatin1String(click);
        ad.alt = alt;
        ad.embedded = true;
        return ad;
    };
    return {record("orbitdeck", "orbitdeck",
                   tr("Orbitdeck: plan a night's targets around the Moon, twilight and your horizon.")),
            record("lumen", "lumen", tr("Lumen: gentle, reversible stretches with a live histogram preview.")),
            record("mirelux", "mirelux",
                   tr("Mirelux: tame bright-star halos and reflections without touching the faint stuff."))};
}

void AdBanner::start(bool networkAllowed, int delayMs)
{
    m_networkAllowed = networkAllowed;
    if (delayMs <= 0)
        load();
    else
        QTimer::singleShot(delayMs, this, &AdBanner::load);
}

bool AdBanner::readCache(QByteArray *manifest, qint64 *fetchedMs) const
{
    bool ok = false;
    *fetchedMs = readCacheFile(m_cacheFolder + u'/' + kFetchedFile, kMaxFetchedBytes).trimmed().toLongLong(&ok);
    *manifest = readCacheFile(m_cacheFolder + u'/' + kManifestFile, kMaxManifestBytes);
    return ok && !manifest->isEmpty();
}

void AdBanner::load()
{
    // Without an address, a manifest cached by another build is not used either: its pictures
    // would be fetched.
    if (!isAllowed(m_manifestUrl)) {
        useManifest(QByteArray());
        return;
    }
    QByteArray cached;
    qint64 fetchedMs = 0;
    const bool haveCache = readCache(&cached, &fetchedMs);
    double ttl = 24.0;
    if (haveCache) {
        const AdManifest manifest = AdManifest::parse(cached);
        if (manifest.valid)
            ttl = manifest.ttlHours;
    }
    const double ageHours = double(QDateTime::currentMSecsSinceEpoch() - fetchedMs) / 3600000.0;
    const bool fresh = haveCache && ageHours >= 0 && ageHours < ttl;
    if (!m_networkAllowed || fresh) {
        useManifest(haveCache ? cached : QByteArray());
        return;
    }
    fetchBytes(m_manifestUrl, kMaxManifestBytes, [this, haveCache, cached](const QByteArray &bytes) {
        if (!bytes.isEmpty() && AdManifest::parse(bytes).valid) {
            QDir().mkpath(m_cacheFolder);
            if (writeAtomically(m_cacheFolder + u'/' + kManifestFile, bytes))
                writeAtomically(m_cacheFolder + u'/' + kFetchedFile,
                                QByteArray::number(QDateTime::currentMSecsSinceEpoch()));
            useManifest(bytes);
        } else {
            useManifest(haveCache ? cached : QByteArray());
        }
    });
}

void AdBanner::useManifest(const QByteArray &bytes)
{
    const QString today = m_today.isEmpty() ? QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) : m_today;
    const QList<AdRecord> eligible
        = AdManifest::parse(bytes).eligible(today, AboutDialog::version(), builtInAds(m_makerPage));
    showAd(AdManifest::choose(eligible, m_current.id, secureUnitRandom));
}

QString AdBanner::cachedImagePath(const QString &url) const
{
    return m_cacheFolder + u'/' + AdManifest::imageCacheBaseName(url);
}

void AdBanner::showAd(const AdRecord &record)
{
    const quint64 generation = ++m_generation;
    m_current = record;
    m_picture = QPixmap();
    const bool link = hasLink();
    m_strip->setToolTip(!record.alt.isEmpty() ? record.alt
                            : link            ? tr("Click for our other PixInsight modules.")
                                              : QString());
    m_strip->setCursor(link ? Qt::PointingHandCursor : Qt::ArrowCursor);
    if (record.embedded) {
        m_picture.load(record.image);
    } else if (!record.image.isEmpty() && isAllowed(QUrl(record.image))) {
        const QString base = cachedImagePath(record.image);
        for (const char *extension : {".png", ".jpg", ".img"}) {
            const QByteArray bytes = readCacheFile(base + QLatin1String(extension), kMaxPictureBytes);
            if (!bytes.isEmpty() && m_picture.loadFromData(bytes))
                break;
        }
        if (m_picture.isNull() && m_networkAllowed) {
            fetchBytes(QUrl(record.image), kMaxPictureBytes, [this, generation, base](const QByteArray &bytes) {
                QPixmap picture;
                // A reply for an advertisement that is no longer on show is dropped.
                if (generation != m_generation || bytes.isEmpty() || !picture.loadFromData(bytes))
                    return;
                QDir().mkpath(m_cacheFolder);
                writeAtomically(base + AdManifest::imageExtension(bytes), bytes);
                m_picture = picture;
                m_strip->update();
            });
        }
    }
    m_strip->update();
    emit adShown(record.id);
}

void AdBanner::fetchBytes(const QUrl &url, qint64 maxBytes, const std::function<void(const QByteArray &)> &then)
{
    if (!isAllowed(url)) {
        then(QByteArray());
        return;
    }
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    QNetworkRequest request(url);
    request.setTransferTimeout(kTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Prefwright/") + AboutDialog::version());
    QNetworkReply *reply = m_network->get(request);
    // A server that never stops sending must not fill the memory: past the cap, or on a larger
    // announced length, the reply is aborted and ends as a failure. The network thread buffers
    // no more than twice the cap, however long the window is busy.
    reply->setReadBufferSize(2 * maxBytes);
    const auto stopWhenTooLarge = [reply, maxBytes] {
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        if ((announced.isValid() && announced.toLongLong() > maxBytes) || reply->bytesAvailable() > maxBytes)
            reply->abort();
    };
    connect(reply, &QNetworkReply::metaDataChanged, reply, stopWhenTooLarge);
    connect(reply, &QNetworkReply::readyRead, reply, stopWhenTooLarge);
    connect(reply, &QNetworkReply::finished, this, [reply, then] {
        reply->deleteLater();
        const bool ok = reply->error() == QNetworkReply::NoError
            && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
        then(ok ? reply->readAll() : QByteArray());
    });
}

bool AdBanner::hasLink() const
{
    return isAllowed(QUrl(m_current.click)) || isAllowed(m_makerPage);
}

void AdBanner::click()
{
    const QUrl target(m_current.click);
    // A downloaded manifest names its links; only web addresses are followed.
    const QUrl url = isAllowed(target) ? target : m_makerPage;
    if (!isAllowed(url))
        return;
    if (m_opener)
        m_opener(url);
    else
        QDesktopServices::openUrl(url);
}

void AdBanner::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_strip->move(std::max(0, (width() - m_strip->width()) / 2), std::max(0, (height() - m_strip->height()) / 2));
}

AdBanner::Strip::Strip(AdBanner *banner)
    : QWidget(banner)
    , m_banner(banner)
{
    setFixedSize(532, 92);
}

void AdBanner::Strip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect area = rect();
    if (!m_banner->picture().isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(area, m_banner->picture());
        return;
    }
    painter.fillRect(area, QColor(21, 35, 63));
    painter.setPen(QColor(52, 80, 127));
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    painter.setPen(QColor(188, 211, 255));
    const QString alt = m_banner->current().alt;
    painter.drawText(area.adjusted(6, 0, -6, 0), Qt::AlignCenter | Qt::TextWordWrap,
                     !alt.isEmpty() || !m_banner->hasLink() ? alt : tr("Click for our other PixInsight modules"));
}

void AdBanner::Strip::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        m_banner->click();
}

} // namespace pfw
