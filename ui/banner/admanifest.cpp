#include "ui/banner/admanifest.h"

#include <QCryptographicHash>
#include <QXmlStreamReader>

namespace pfw {

double AdManifest::parseTimeToLive(const QString &text, double fallbackHours)
{
    QString number = text.trimmed();
    double unit = 1.0;
    if (!number.isEmpty()) {
        switch (number.back().toLower().unicode()) {
        case u'd':
            unit = 24.0;
            break;
        case u'h':
            unit = 1.0;
            break;
        case u'm':
            unit = 1.0 / 60.0;
            break;
        case u'w':
            unit = 168.0;
            break;
        default:
            unit = 0.0;
            break;
        }
        if (unit != 0.0)
            number.chop(1);
        else
            unit = 1.0;
    }
    bool ok = false;
    const double value = number.trimmed().toDouble(&ok);
    if (!ok || value < 0 || !qIsFinite(value))
        return fallbackHours;
    return value * unit;
}

AdManifest AdManifest::parse(const QByteArray &bytes)
{
    AdManifest manifest;
    QXmlStreamReader reader(bytes);
    int depth = 0;
    bool inAd = false;
    AdRecord record;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            const QXmlStreamAttributes attributes = reader.attributes();
            const auto attribute
                = [&attributes](const char *name) { return attributes.value(QLatin1String(name)).toString(); };
            if (depth == 1) {
                const QString ttl = attribute("ttl").isEmpty() ? attribute("ttlHours") : attribute("ttl");
                manifest.ttlHours = parseTimeToLive(ttl);
            } else if (depth == 2 && reader.name() == u"ad") {
                inAd = true;
                record = AdRecord();
                record.id = attribute("id");
                record.start = attribute("start");
                record.end = attribute("end");
                record.minVersion = attribute("minVersion");
                record.maxVersion = attribute("maxVersion");
                bool ok = false;
                const double weight = attribute("weight").toDouble(&ok);
                record.weight = ok && weight > 0 && qIsFinite(weight) ? weight : 1.0;
            } else if (depth == 3 && inAd) {
                const QString name = reader.name().toString();
                // readElementText consumes the end tag, so the depth goes back down here.
                if (name == u"image" || name == u"click" || name == u"alt") {
                    const QString text = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
                    --depth;
                    if (name == u"image")
                        record.image = text;
                    else if (name == u"click")
                        record.click = text;
                    else
                        record.alt = text;
                }
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (depth == 2 && inAd) {
                inAd = false;
                if (!record.image.isEmpty() || !record.click.isEmpty() || !record.alt.isEmpty())
                    manifest.records.append(record);
            }
            --depth;
        }
    }
    if (reader.hasError() || bytes.trimmed().isEmpty())
        return AdManifest();
    manifest.valid = true;
    return manifest;
}

int AdManifest::compareVersions(const QString &a, const QString &b)
{
    const QStringList left = a.split(u'.');
    const QStringList right = b.split(u'.');
    for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
        const qlonglong x = left.value(i).toLongLong();
        const qlonglong y = right.value(i).toLongLong();
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

QList<AdRecord> AdManifest::eligible(const QString &today, const QString &version, const QList<AdRecord> &builtIn) const
{
    QList<AdRecord> result;
    if (valid) {
        for (const AdRecord &record : records) {
            if ((record.start.isEmpty() || today >= record.start) && (record.end.isEmpty() || today <= record.end)
                && (record.minVersion.isEmpty() || compareVersions(version, record.minVersion) >= 0)
                && (record.maxVersion.isEmpty() || compareVersions(version, record.maxVersion) <= 0))
                result.append(record);
        }
    }
    return result.isEmpty() ? builtIn : result;
}

AdRecord AdManifest::choose(const QList<AdRecord> &eligible, const QString &currentId,
                            const std::function<double()> &random)
{
    if (eligible.isEmpty())
        return AdRecord();
    QList<AdRecord> candidates;
    double total = 0;
    for (const AdRecord &record : eligible) {
        if (record.id != currentId) {
            candidates.append(record);
            total += record.weight > 0 ? record.weight : 1.0;
        }
    }
    if (candidates.isEmpty())
        return eligible.constFirst();
    double draw = random() * total;
    for (const AdRecord &record : std::as_const(candidates)) {
        draw -= record.weight > 0 ? record.weight : 1.0;
        if (draw <= 0)
            return record;
    }
    return candidates.constLast();
}

QString AdManifest::imageCacheBaseName(const QString &url)
{
    const QByteArray hash = QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QLatin1String("img_") + QString::fromLatin1(hash.left(16));
}

QString AdManifest::imageExtension(const QByteArray &bytes)
{
    if (bytes.startsWith("\x89PNG"))
        return QStringLiteral(".png");
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return QStringLiteral(".jpg");
    return QStringLiteral(".img");
}

} // namespace pfw
