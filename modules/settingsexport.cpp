#include "modules/settingsexport.h"

#include "core/atomicfile.h"
#include "core/backups.h"
#include "core/fileidentity.h"
#include "core/xsdtfile.h"
#include "core/xsdtnode.h"
#include "core/xsdtwriter.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <utility>

namespace pfw {

namespace {

struct Copier
{
    const QSet<const XsdtNode *> &chosen;
    const QSet<const XsdtNode *> &onTheWay;
    const DeletionPolicy *machineBound;
    SettingsExport::Result *result;
    QList<std::pair<QString, qsizetype>> leftOut;

    // The values below node that were chosen, node itself included.
    qsizetype chosenValues(const XsdtNode &node) const
    {
        if (chosen.contains(&node))
            return node.valueCount();
        qsizetype count = 0;
        for (const auto &child : node.children)
            count += onTheWay.contains(child.get()) || chosen.contains(child.get()) ? chosenValues(*child) : 0;
        return count;
    }

    void noteLeftOut(const QString &title, qsizetype values)
    {
        for (auto &[seen, count] : leftOut) {
            if (seen == title) {
                count += values;
                return;
            }
        }
        leftOut.append({title, values});
    }

    // Copies what of source is to go into target: all of it once chosen, otherwise only the
    // items on the way to a chosen entry.
    void copy(const XsdtNode &source, XsdtNode &target, bool whole)
    {
        for (const auto &child : source.children) {
            if (child->deleted)
                continue;
            const bool take = whole || chosen.contains(child.get());
            if (!take && !onTheWay.contains(child.get()))
                continue;
            if (machineBound) {
                if (const QString title = machineBound->machineBoundGroup(*child); !title.isEmpty()) {
                    noteLeftOut(title, whole ? child->valueCount() : chosenValues(*child));
                    continue;
                }
            }
            XsdtNode *copied = target.appendChild(child->shallowCopy());
            copied->savedValue = copied->value;
            if (child->kind == XsdtNode::Value) {
                ++result->valueCount;
                continue;
            }
            copy(*child, *copied, take);
            // An item emptied by what was left out is written as an empty item.
            if (!copied->children.empty())
                copied->selfClosing = false;
            else if (!child->children.empty())
                copied->selfClosing = true;
        }
    }
};

} // namespace

bool SettingsExport::build(const XsdtFile &file, const QList<const XsdtNode *> &nodes,
                           const DeletionPolicy *machineBound, Result *result, QString *error)
{
    QSet<const XsdtNode *> chosen, onTheWay;
    bool everything = false;
    for (const XsdtNode *node : nodes) {
        if (!node)
            continue;
        if (node->isInsideDeleted()) {
            if (error)
                *error = tr("%1 is queued for deletion, so there is nothing of it to export.").arg(node->path());
            return false;
        }
        if (!node->parent) {
            everything = true;
            continue;
        }
        chosen.insert(node);
        for (const XsdtNode *up = node->parent; up && up->parent; up = up->parent)
            onTheWay.insert(up);
    }
    *result = Result();
    XsdtNode root;
    Copier copier{chosen, onTheWay, machineBound, result, {}};
    copier.copy(file.root, root, everything);
    // Empty items alone, once the machine's own values are left out, carry nothing.
    if (result->valueCount == 0 && (root.children.empty() || !copier.leftOut.isEmpty())) {
        if (error)
            *error = copier.leftOut.isEmpty() ? tr("There is nothing to export.")
                                              : tr("Everything chosen belongs to this computer alone, so nothing "
                                                   "is left to export.");
        return false;
    }
    for (const auto &[title, count] : std::as_const(copier.leftOut))
        result->leftOut << tr("%1 (%n values)", nullptr, int(count)).arg(title);
    const qsizetype size = serializedSize(root) + file.head.size() + file.tail.size();
    result->bytes = writeDocument(file.head, root, file.tail, size);
    return true;
}

QString SettingsExport::defaultFileName(const SettingsSchema *schema, const XsdtFile &file,
                                        const QList<const XsdtNode *> &nodes)
{
    const auto slug = [](QString text) {
        static const QRegularExpression notWord(QStringLiteral("[^a-z0-9]+"));
        text = text.toLower().replace(notWord, QStringLiteral("-"));
        while (text.startsWith(u'-'))
            text.remove(0, 1);
        while (text.endsWith(u'-'))
            text.chop(1);
        return text;
    };
    QString name;
    if (nodes.size() == 1 && nodes.first() && nodes.first()->parent) {
        const XsdtNode *node = nodes.first();
        const QString path = node->path();
        if (schema) {
            for (const PageSpec &page : schema->pages(file)) {
                if (page.paths.contains(path))
                    name = QStringLiteral("preferences-") + slug(page.title);
            }
        }
        if (name.isEmpty()) {
            QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
            if (parts.size() > 1 && parts.first() == u"Global")
                parts.removeFirst();
            // The last three keys say enough; a long path would make a name nobody reads.
            while (parts.size() > 3)
                parts.removeFirst();
            name = slug(parts.join(u'-'));
        }
    }
    if (name.isEmpty())
        name = QStringLiteral("settings");
    return name + QStringLiteral(".xsdt");
}

bool SettingsExport::isSameFile(const QString &out, const QString &source)
{
    // The settings file reached by another name, a link or a hard link, is still the settings file.
    const QString canonicalSource = QFileInfo(source).canonicalFilePath();
    if (QFileInfo(out) == QFileInfo(source)
        || (!canonicalSource.isEmpty() && QFileInfo(out).canonicalFilePath() == canonicalSource))
        return true;
    const FileIdentity a = FileIdentity::of(out), b = FileIdentity::of(source);
    return a.exists && b.exists && a.inode != 0 && a.inode == b.inode && a.device == b.device;
}

bool SettingsExport::writeSnippet(const QString &out, const QString &source, const QByteArray &bytes, QString *error)
{
    const QString shown = QDir::toNativeSeparators(out);
    // A link is written through, as a save does: replacing the link would leave its file as it was.
    const QFileInfo given(out);
    const QString path = given.isSymLink() ? given.canonicalFilePath() : out;
    if (path.isEmpty()) {
        *error = tr("%1 is a link that leads nowhere; name the file to write.").arg(shown);
        return false;
    }
    const QFileInfo target(path);
    if (target.isDir()) {
        *error = tr("%1 is a folder; name the file to write.").arg(shown);
        return false;
    }
    // The write puts a new file in place of whatever has the name: a device or a pipe would be gone.
    if ((target.exists() || given.isSymLink()) && !target.isFile()) {
        *error = tr("%1 is not an ordinary file (a device or a pipe); name the file to write.").arg(shown);
        return false;
    }
    if (isSameFile(path, source)) {
        *error = tr("The snippet cannot replace the file it comes from.");
        return false;
    }
    // A snippet in place of a backup would be restored one day as the whole file.
    if (isBackupOf(source, path)) {
        *error = tr("%1 is a backup of the settings file: the snippet would take its place.").arg(shown);
        return false;
    }
    // Another instance's settings would be lost whole to a snippet of a few values; on Windows and
    // macOS any case of its name, and on Windows trailing dots and spaces, name it too.
    static const QRegularExpression instanceName(QStringLiteral("^core-\\d+-pxi\\.settings[. ]*$"),
                                                 QRegularExpression::CaseInsensitiveOption);
    if (instanceName.match(target.fileName()).hasMatch()) {
        *error = tr("%1 is a PixInsight settings file: the snippet would take the place of everything it holds. "
                    "Import the snippet into it instead.")
                     .arg(shown);
        return false;
    }
    const AtomicFile::Result written = AtomicFile::write(path, bytes);
    if (!written.ok()) {
        *error = tr("%1 could not be written: %2").arg(QDir::toNativeSeparators(out), written.reason);
        return false;
    }
    return true;
}

} // namespace pfw
