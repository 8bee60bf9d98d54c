#pragma once

#include <QList>
#include <QString>

namespace pfw {

struct XsdtNode;

// One value that differs between two settings trees, or exists on one side only.
struct DiffEntry
{
    enum Status : int { Different = 0, OnlyHere = 1, OnlyThere = 2 };

    QString path;
    Status status = Different;
    XsdtNode *here = nullptr;
    XsdtNode *there = nullptr;
};

// The values below root not queued for deletion (nor inside a deletion), in document order:
// what diffTrees compares.
QList<XsdtNode *> liveValues(const XsdtNode &root);

// This tree's differences first, in its document order, then the other tree's extra values.
// Values queued for deletion count as absent; current texts are compared, so edits count.
// A path that occurs more than once is paired by order: the n-th occurrence here with the
// n-th there. Compressed blocks are compared by their data, not their description.
QList<DiffEntry> diffTrees(const XsdtNode &here, const XsdtNode &there);

// Both sides are compressed blocks whose data differ: there is no text to show for either.
bool differsInCompressedData(const DiffEntry &entry);
// What to show for one side of an entry: its value, or "different compressed data".
QString diffSideText(const DiffEntry &entry, const XsdtNode *side);

// "Different" (with " (type i / u)" when the types differ), "Only in this file" or "Only in the
// other file".
QString diffStatusText(const DiffEntry &entry);

// Splits a setting path into the folder it is listed under and the rest.
void compareGroup(const QString &path, QString *group, QString *leaf);

} // namespace pfw
