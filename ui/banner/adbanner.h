#pragma once

#include "ui/banner/admanifest.h"

#include <QPixmap>
#include <QUrl>
#include <QWidget>

#include <functional>

class QLabel;
class QNetworkAccessManager;

namespace pfw {

// A strip at the bottom of the main window advertising the maker's other PixInsight modules.
// The list comes from a small manifest cached per user; without one, built-in records are used.
// Nothing here ever blocks the window or shows an error.
class AdBanner final : public QWidget
{
    Q_OBJECT

public:
    class Strip;

    // Chosen when the program is built; empty unless a distributor names them. Without a
    // manifest address nothing is ever fetched, without a maker's page nothing is opened.
    static QUrl defaultManifestUrl();
    static QUrl defaultMakerPage();
    static constexpr int kTimeoutMs = 8000;
    // Replies are dropped while they arrive once they pass these sizes.
    static constexpr qint64 kMaxManifestBytes = qint64(256) << 10;
    static constexpr qint64 kMaxPictureBytes = qint64(2) << 20;

    explicit AdBanner(const QString &cacheFolder, QWidget *parent = nullptr);

    void start(bool networkAllowed, int delayMs);
    void load();
    void showAd(const AdRecord &record);

    // Seams for tests: the addresses, today's date and the browser.
    void setManifestUrl(const QUrl &url) { m_manifestUrl = url; }
    void setMakerPage(const QUrl &url);
    void setToday(const QString &today) { m_today = today; }
    void setOpener(const std::function<bool(const QUrl &)> &opener) { m_opener = opener; }

    // Only for tests, which serve the banner from this computer: plain http to a loopback address
    // is accepted too, wherever the address comes from.
    void allowLoopbackHttpForTests(bool allowed) { m_loopbackHttp = allowed; }

    // The built-in advertisements, linked to pages below the maker's page when there is one.
    static QList<AdRecord> builtInAds(const QUrl &makerPage = defaultMakerPage());
    // Only https addresses are fetched or opened; loopback http only when a test allows it.
    static bool isAllowedUrl(const QUrl &url, bool loopbackHttp = false);

    const AdRecord &current() const { return m_current; }
    const QPixmap &picture() const { return m_picture; }
    Strip *strip() const { return m_strip; }
    void click();

signals:
    void adShown(const QString &id);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    bool isAllowed(const QUrl &url) const { return isAllowedUrl(url, m_loopbackHttp); }
    bool hasLink() const;
    void fetchBytes(const QUrl &url, qint64 maxBytes, const std::function<void(const QByteArray &)> &then);
    void useManifest(const QByteArray &bytes);
    bool readCache(QByteArray *manifest, qint64 *fetchedMs) const;
    QString cachedImagePath(const QString &url) const;

    QString m_cacheFolder;
    QUrl m_manifestUrl;
    QUrl m_makerPage;
    QString m_today;
    std::function<bool(const QUrl &)> m_opener;
    bool m_networkAllowed = false;
    bool m_loopbackHttp = false;
    quint64 m_generation = 0;
    AdRecord m_current;
    QPixmap m_picture;
    QLabel *m_label = nullptr;
    Strip *m_strip = nullptr;
    QNetworkAccessManager *m_network = nullptr;
};

class AdBanner::Strip final : public QWidget
{
    Q_OBJECT

public:
    explicit Strip(AdBanner *banner);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    AdBanner *m_banner;
};

} // namespace pfw
