#include "core/valuetypes.h"

#include "core/failure.h"
#include "core/xmlwellformedness.h"

#include <QCoreApplication>
#include <QLocale>

#include <cmath>
#include <limits>

namespace pfw {

namespace {

struct ValueTypes
{
    Q_DECLARE_TR_FUNCTIONS(ValueTypes)
};

// The smallest magnitude a double may have and still round to infinity as a float: the
// midpoint between FLT_MAX and 2^128. Everything below rounds to a finite float.
constexpr double kFloatOverflowBound = 0x1.ffffffp+127;

bool succeed(QString *normalized, const QString &text)
{
    if (normalized)
        *normalized = text;
    return true;
}

} // namespace

QString typeName(QChar type)
{
    switch (type.unicode()) {
    case u'b':
        return ValueTypes::tr("Boolean");
    case u'i':
        return ValueTypes::tr("Integer");
    case u'u':
        return ValueTypes::tr("Unsigned");
    case u'F':
        return ValueTypes::tr("Real");
    case u'f':
        return ValueTypes::tr("Real (single)");
    case u's':
        return ValueTypes::tr("String");
    case u't':
        return ValueTypes::tr("Time");
    case u'B':
        return ValueTypes::tr("Block");
    default:
        return ValueTypes::tr("Unknown (%1)").arg(type);
    }
}

bool normalizeValue(QChar type, const QString &text, QString *normalized, QString *error)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    switch (type.unicode()) {
    case u'b': {
        const QString lower = trimmed.toLower();
        if (lower == QLatin1String("true") || lower == QLatin1String("1"))
            return succeed(normalized, QStringLiteral("true"));
        if (lower == QLatin1String("false") || lower == QLatin1String("0"))
            return succeed(normalized, QStringLiteral("false"));
        return fail(error, ValueTypes::tr("Expected true or false."));
    }
    case u'i': {
        const qlonglong number = trimmed.toLongLong(&ok);
        if (!ok || number < std::numeric_limits<qint32>::min() || number > std::numeric_limits<qint32>::max())
            return fail(error, ValueTypes::tr("Expected an integer between -2147483648 and 2147483647."));
        return succeed(normalized, QString::number(number));
    }
    case u'u': {
        const qulonglong number = trimmed.toULongLong(&ok);
        if (!ok || trimmed.startsWith(QLatin1Char('-')) || number > std::numeric_limits<quint32>::max())
            return fail(error, ValueTypes::tr("Expected an integer between 0 and 4294967295."));
        return succeed(normalized, QString::number(number));
    }
    case u'F': {
        const double number = trimmed.toDouble(&ok);
        if (!ok || !std::isfinite(number))
            return fail(error, ValueTypes::tr("Expected a real number."));
        return succeed(normalized, QString::number(number, 'g', QLocale::FloatingPointShortest));
    }
    case u'f': {
        const double number = trimmed.toDouble(&ok);
        // Accept what rounds to a finite float, so that the text of FLT_MAX itself (which reads
        // as a double slightly above FLT_MAX) is accepted again.
        if (!ok || !std::isfinite(number) || std::fabs(number) >= kFloatOverflowBound)
            return fail(error, ValueTypes::tr("Expected a real number in single-precision range."));
        const float single = float(number);
        QString shortest;
        for (int precision = 1; precision <= 9; ++precision) {
            shortest = QString::number(double(single), 'g', precision);
            if (float(shortest.toDouble()) == single)
                break;
        }
        return succeed(normalized, shortest);
    }
    case u's':
        // Written raw, such a character makes the whole file one that a strict reader refuses.
        if (const auto bad = XmlWellFormedness::firstForbidden(text))
            return fail(error, XmlWellFormedness::refusal(*bad));
        return succeed(normalized, text);
    default:
        return fail(error, ValueTypes::tr("This value type is protected and cannot be edited."));
    }
}

} // namespace pfw
