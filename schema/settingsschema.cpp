#include "schema/settingsschema.h"

#include "core/xsdtfile.h"
#include "schema/jsondocument.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace pfw {

namespace {

const QRegularExpression &crossReference()
{
    static const QRegularExpression expression(
        QStringLiteral("\\s*See the (?:pcl::\\w+ namespace|documentation for \\w+|[\\w/]+ global variable)\\.?"));
    return expression;
}

const QRegularExpression &bracketRange()
{
    static const QRegularExpression expression(
        QStringLiteral("\\[\\s*(-?\\d+(?:\\.\\d+)?)\\s*,\\s*(-?\\d+(?:\\.\\d+)?)\\s*\\]"));
    return expression;
}

qint64 truncatedToInt64(double number)
{
    if (std::isnan(number))
        return 0;
    // Clamp first: converting an out-of-range double is undefined.
    if (number >= 9223372036854775807.0)
        return std::numeric_limits<qint64>::max();
    if (number <= -9223372036854775808.0)
        return std::numeric_limits<qint64>::min();
    return qint64(std::trunc(number));
}

bool endsWithAny(const QString &text, std::initializer_list<const char *> suffixes)
{
    for (const char *suffix : suffixes) {
        if (text.endsWith(QLatin1String(suffix)))
            return true;
    }
    return false;
}

} // namespace

void SettingsSchema::clear()
{
    m_documented.clear();
    m_refinements.clear();
    m_pages.clear();
    m_hidden.clear();
}

bool SettingsSchema::load(const QByteArray &globalsBytes, const QByteArray &overlayBytes, QString *error)
{
    clear();
    QJsonObject globals;
    QJsonObject overlay;
    if (!readJsonObject(globalsBytes, QStringLiteral("globals.json"), &globals, error)
        || !readJsonObject(overlayBytes, QStringLiteral("overlay.json"), &overlay, error))
        return false;

    const QJsonObject variables = globals.value(QLatin1String("variables")).toObject();
    for (auto it = variables.constBegin(); it != variables.constEnd(); ++it) {
        const QJsonObject entry = it.value().toObject();
        m_documented.insert(
            it.key(),
            {entry.value(QLatin1String("description")).toString(), entry.value(QLatin1String("readOnly")).toBool()});
    }
    const QJsonObject refinements = overlay.value(QLatin1String("variables")).toObject();
    for (auto it = refinements.constBegin(); it != refinements.constEnd(); ++it)
        m_refinements.insert(it.key(), it.value().toObject());

    for (const QJsonValue &pageValue : overlay.value(QLatin1String("pages")).toArray()) {
        const QJsonObject page = pageValue.toObject();
        PageSpec spec;
        spec.title = page.value(QLatin1String("title")).toString();
        for (const QJsonValue &path : page.value(QLatin1String("paths")).toArray())
            spec.paths.append(path.toString());
        if (!spec.title.isEmpty() && !spec.paths.isEmpty())
            m_pages.append(spec);
    }
    for (const QJsonValue &path : overlay.value(QLatin1String("hide")).toArray())
        m_hidden.insert(path.toString());
    return true;
}

bool SettingsSchema::loadBuiltIn(QString *error)
{
    return load(resourceBytes(QStringLiteral(":/schema/globals.json")),
                resourceBytes(QStringLiteral(":/schema/overlay.json")), error);
}

QString SettingsSchema::variableId(const XsdtNode &node)
{
    QString id = node.path();
    if (id.startsWith(QLatin1String("Global/")))
        id.remove(0, 7);
    if (id.startsWith(QLatin1String("Preferences/")))
        id.remove(0, 12);
    return id;
}

QString SettingsSchema::cleanDescription(const QString &description)
{
    QString cleaned = description;
    cleaned.remove(crossReference());
    return cleaned.trimmed();
}

VariableSpec SettingsSchema::spec(const XsdtNode &node) const
{
    VariableSpec spec;
    const QString id = variableId(node);
    spec.label = humanizeKey(node.key);

    switch (node.type.unicode()) {
    case u'F':
    case u'f':
        spec.kind = WidgetKind::Real;
        break;
    case u'b':
        spec.kind = WidgetKind::Bool;
        break;
    case u'i':
        spec.kind = WidgetKind::Int;
        break;
    case u'u':
        spec.kind = WidgetKind::UInt;
        break;
    default:
        spec.kind = WidgetKind::Text;
        break;
    }
    QString stem = node.key;
    while (!stem.isEmpty() && stem.back() >= u'0' && stem.back() <= u'9')
        stem.chop(1);
    if (spec.kind == WidgetKind::UInt && endsWithAny(stem, {"Color", "Foreground", "Background"}))
        spec.kind = WidgetKind::Color;
    else if (spec.kind == WidgetKind::Text && stem.endsWith(QLatin1String("Directory")))
        spec.kind = WidgetKind::Directory;
    else if (spec.kind == WidgetKind::Text && endsWithAny(stem, {"File", "FilePath", "Path"}))
        spec.kind = WidgetKind::File;

    const bool numeric = spec.kind == WidgetKind::Int || spec.kind == WidgetKind::UInt || spec.kind == WidgetKind::Real;
    const auto documented = m_documented.constFind(id);
    if (documented != m_documented.constEnd()) {
        spec.documented = true;
        spec.readOnly = documented->readOnly;
        spec.description = cleanDescription(documented->description);
        const QRegularExpressionMatch range = bracketRange().match(spec.description);
        if (range.hasMatch() && numeric) {
            spec.hasRange = true;
            spec.min = range.captured(1).toDouble();
            spec.max = range.captured(2).toDouble();
        }
    }

    const auto refinement = m_refinements.constFind(id);
    if (refinement != m_refinements.constEnd()) {
        const QJsonObject &object = *refinement;
        if (object.contains(QLatin1String("label")))
            spec.label = object.value(QLatin1String("label")).toString();
        if (object.contains(QLatin1String("description")))
            spec.description = object.value(QLatin1String("description")).toString();
        const bool hasMin = object.contains(QLatin1String("min"));
        const bool hasMax = object.contains(QLatin1String("max"));
        if ((hasMin || hasMax) && !spec.hasRange) {
            spec.hasRange = true;
            spec.min = -std::numeric_limits<double>::max();
            spec.max = std::numeric_limits<double>::max();
        }
        if (hasMin)
            spec.min = object.value(QLatin1String("min")).toDouble();
        if (hasMax)
            spec.max = object.value(QLatin1String("max")).toDouble();
        const QJsonArray choices = object.value(QLatin1String("choices")).toArray();
        if (!choices.isEmpty() && (spec.kind == WidgetKind::Int || spec.kind == WidgetKind::UInt)) {
            spec.kind = WidgetKind::Choice;
            for (const QJsonValue &choice : choices) {
                const QJsonArray pair = choice.toArray();
                spec.choices.append({truncatedToInt64(pair.at(0).toDouble()), pair.at(1).toString()});
            }
        }
    }
    return spec;
}

bool SettingsSchema::isHidden(const XsdtNode &node) const
{
    return !m_hidden.isEmpty() && m_hidden.contains(node.path());
}

QList<PageSpec> SettingsSchema::pages(const XsdtFile &file) const
{
    QList<PageSpec> result;
    QSet<QString> covered;
    for (const PageSpec &page : m_pages) {
        PageSpec kept{page.title, {}};
        for (const QString &path : page.paths) {
            if (file.root.findPath(path)) {
                kept.paths.append(path);
                covered.insert(path);
            }
        }
        if (!kept.paths.isEmpty())
            result.append(kept);
    }
    const XsdtNode *preferences = file.root.findPath(u"Global/Preferences");
    if (!preferences)
        return result;
    for (const auto &child : preferences->children) {
        if (child->kind != XsdtNode::Item || child->key == u"ProcessInterface")
            continue;
        const QString path = child->path();
        if (!covered.contains(path))
            result.append({humanizeKey(child->key), {path}});
    }
    return result;
}

QString SettingsSchema::rangeProblem(const VariableSpec &spec, double number)
{
    if (!spec.hasRange || !(number < spec.min || number > spec.max))
        return QString();
    const auto shortest = [](double value) { return QString::number(value, 'g', QLocale::FloatingPointShortest); };
    return QCoreApplication::translate("SettingsSchema", "%1: %2 is outside the allowed range %3 to %4")
        .arg(spec.label, shortest(number), shortest(spec.min), shortest(spec.max));
}

QString SettingsSchema::humanizeKey(const QString &key)
{
    const qsizetype n = key.size();
    const auto pluralEnding
        = [&key, n](qsizetype at) { return key.at(at) == u's' && (at == n - 1 || key.at(at + 1).isUpper()); };
    QString spaced;
    spaced.reserve(n + 8);
    for (qsizetype p = 0; p < n; ++p) {
        const QChar c = key.at(p);
        if (c == u'_') {
            spaced += u' ';
            continue;
        }
        if (p > 0) {
            const QChar previous = key.at(p - 1);
            bool space = false;
            if (c.isUpper()) {
                space = previous.isLower() || previous.isDigit()
                    || (previous.isUpper() && p + 1 < n && key.at(p + 1).isLower() && !pluralEnding(p + 1));
            } else if (c.isDigit()) {
                space = previous.isLetter();
            }
            if (space)
                spaced += u' ';
        }
        spaced += c;
    }
    QStringList words = spaced.split(u' ', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < words.size(); ++i) {
        QString &word = words[i];
        if (word.size() >= 2 && word.at(0).isUpper() && word.at(1).isUpper())
            continue;
        word = i == 0 ? word.left(1).toUpper() + word.mid(1).toLower() : word.toLower();
    }
    return words.join(u' ');
}

} // namespace pfw
