#pragma once

#include "core/searchstate.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QStringList>

namespace pfw {

class DeletionPolicy;
struct XsdtNode;

// What a search between two trees would test, and what it cannot.
struct SearchPlan
{
    Q_DECLARE_TR_FUNCTIONS(SearchPlan)

public:
    QList<SearchSuspect> suspects;
    // Only in the good state: Prefwright cannot add entries.
    QStringList onlyInGood;
    // Protected or locked: never changed by a candidate.
    QStringList leftOut;
    // Statistics, window state and generated lists.
    int hidden = 0;

    static SearchPlan make(const XsdtNode &bad, const XsdtNode &good, const DeletionPolicy *policy);
    // The bad file with the given suspects put back to their good state.
    [[nodiscard]] static bool buildCandidate(const QByteArray &badBytes, const QList<SearchSuspect> &suspects,
                                             const QList<int> &putBack, QByteArray *candidate, QString *error);
};

} // namespace pfw
