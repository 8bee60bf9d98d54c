#include "core/problemsearchrounds.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QSet>

namespace pfw {

ProblemSearchRounds::ProblemSearchRounds(int suspects)
    : m_suspects(qMax(0, suspects))
{
    m_remaining.reserve(m_suspects);
    for (int i = 0; i < m_suspects; ++i)
        m_remaining.append(i);
}

QList<int> ProblemSearchRounds::testing() const
{
    if (isFinished())
        return {};
    // Half of the rest, taken from a place moved on by one for every "can't tell": each skip
    // tries a half not tried yet.
    const int n = int(m_remaining.size());
    QList<int> half;
    half.reserve(n / 2);
    for (int i = 0; i < n / 2; ++i)
        half.append(m_remaining.at((m_skips + i) % n));
    return half;
}

bool ProblemSearchRounds::isFinished() const
{
    return m_remaining.size() <= 1 || m_skips >= m_remaining.size();
}

int ProblemSearchRounds::expectedRounds(int suspects)
{
    int rounds = 0;
    for (int left = suspects; left > 1; left = (left + 1) / 2)
        ++rounds;
    return rounds;
}

QString ProblemSearchRounds::aboutLaunches(int suspects)
{
    const int rounds = expectedRounds(suspects);
    if (rounds == 0)
        return QCoreApplication::translate("ProblemSearchRounds", "without a launch");
    if (rounds == 1)
        return QCoreApplication::translate("ProblemSearchRounds", "about 1 launch");
    return QCoreApplication::translate("ProblemSearchRounds", "about %n launches", nullptr, rounds);
}

bool ProblemSearchRounds::answer(Answer answer)
{
    if (isFinished())
        return false;
    ++m_rounds;
    if (answer == Answer::Skip) {
        ++m_skips;
        return true;
    }
    const QList<int> tested = testing();
    const QSet<int> put(tested.cbegin(), tested.cend());
    QList<int> kept;
    for (const int suspect : std::as_const(m_remaining)) {
        if (put.contains(suspect) == (answer == Answer::Good))
            kept.append(suspect);
    }
    m_remaining = kept;
    m_skips = 0;
    return true;
}

QJsonObject ProblemSearchRounds::toJson() const
{
    QJsonArray remaining;
    for (const int suspect : m_remaining)
        remaining.append(suspect);
    return {{QStringLiteral("suspects"), m_suspects},
            {QStringLiteral("remaining"), remaining},
            {QStringLiteral("skips"), m_skips},
            {QStringLiteral("rounds"), m_rounds}};
}

bool ProblemSearchRounds::fromJson(const QJsonObject &json, ProblemSearchRounds *search)
{
    const auto whole = [&json](const char *key, int *out) {
        const QJsonValue value = json.value(QLatin1String(key));
        if (!value.isDouble() || value.toDouble() != double(value.toInt(-1)) || value.toInt(-1) < 0)
            return false;
        *out = value.toInt();
        return true;
    };
    ProblemSearchRounds read;
    if (!whole("suspects", &read.m_suspects) || !whole("skips", &read.m_skips) || !whole("rounds", &read.m_rounds)
        || !json.value(QLatin1String("remaining")).isArray())
        return false;
    QSet<int> seen;
    for (const QJsonValue &value : json.value(QLatin1String("remaining")).toArray()) {
        const int suspect = value.toInt(-1);
        if (!value.isDouble() || value.toDouble() != double(suspect) || suspect < 0 || suspect >= read.m_suspects
            || seen.contains(suspect))
            return false;
        seen.insert(suspect);
        read.m_remaining.append(suspect);
    }
    if (read.m_remaining.isEmpty() || read.m_skips > read.m_remaining.size())
        return false;
    *search = read;
    return true;
}

} // namespace pfw
