#pragma once

#include <QList>
#include <QString>

#include <functional>

namespace pfw {

struct AdRecord
{
    QString id;
    QString image;
    QString click;
    QString alt;
    QString minVersion;
    QString maxVersion;
    QString start;
    QString end;
    double weight = 1.0;
    bool embedded = false;
};

// The list of advertisements the maker's server offers, and the rules for picking one.
struct AdManifest
{
    bool valid = false;
    double ttlHours = 24.0;
    QList<AdRecord> records;

    static AdManifest parse(const QByteArray &bytes);
    // "2d", "90m", "1w", "12" (hours); anything unusable leaves the default.
    static double parseTimeToLive(const QString &text, double fallbackHours = 24.0);
    // Component-wise numeric comparison of dotted versions: negative, 0 or positive.
    static int compareVersions(const QString &a, const QString &b);

    // The records that may show today in this version; the built-in ones when none may.
    QList<AdRecord> eligible(const QString &today, const QString &version, const QList<AdRecord> &builtIn) const;
    // A weighted choice that avoids the record on show; random() returns a number in [0, 1).
    static AdRecord choose(const QList<AdRecord> &eligible, const QString &currentId,
                           const std::function<double()> &random);

    // Cache file name of a downloaded picture, the extension taken from its first bytes.
    static QString imageCacheBaseName(const QString &url);
    static QString imageExtension(const QByteArray &bytes);
};

} // namespace pfw
