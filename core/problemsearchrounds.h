#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

namespace pfw {

// Halves the differences between a file that shows a problem ("bad") and a state that did not
// ("good"), as git bisect halves commits. Suspects are numbered 0..n-1. Each round's candidate
// is the bad file with the suspects of testing() put back to their good state; whether the
// problem still occurs keeps the half that must hold the culprit. The search holds no file: its
// state is a few numbers, so that it survives the program being closed.
class ProblemSearchRounds final
{
public:
    enum class Answer { Bad, Good, Skip };

    ProblemSearchRounds() = default;
    explicit ProblemSearchRounds(int suspects);

    int suspectCount() const { return m_suspects; }
    const QList<int> &remaining() const { return m_remaining; }
    // The suspects the next candidate puts back; empty once the search is over.
    QList<int> testing() const;
    int rounds() const { return m_rounds; }
    // One suspect left, or every way of halving the rest was answered "can't tell".
    bool isFinished() const;
    // Launches needed for n suspects when no answer is "can't tell".
    static int expectedRounds(int suspects);
    // "about 1 launch", "about 4 launches": the words a user reads for expectedRounds().
    static QString aboutLaunches(int suspects);

    // Bad: the problem occurred with testing() put back, so the culprit is among the others.
    // Good: it did not, so the culprit is among testing(). Skip: another half is tried.
    // False, changing nothing, when the search is over.
    bool answer(Answer answer);

    QJsonObject toJson() const;
    // False, leaving search untouched, for anything that is not a state toJson() wrote.
    static bool fromJson(const QJsonObject &json, ProblemSearchRounds *search);

private:
    int m_suspects = 0;
    QList<int> m_remaining;
    int m_skips = 0;
    int m_rounds = 0;
};

} // namespace pfw
