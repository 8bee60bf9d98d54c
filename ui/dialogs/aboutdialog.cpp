#include "ui/dialogs/aboutdialog.h"

#include "core/atomicfile.h"
#include "core/xsdtnode.h"
#include "platform/hostlocations.h"
#include "ui/accesskeys.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSysInfo>
#include <QUrl>
#include <QVBoxLayout>

#ifndef PFW_SOURCE_REVISION
#define PFW_SOURCE_REVISION "unknown"
#endif

namespace pfw {

namespace {

QString firstValueText(const XsdtNode &root, QStringView key)
{
    for (const auto &child : root.children) {
        if (child->key == key)
            return child->kind == XsdtNode::Value ? child->value : QString();
    }
    return QString();
}

} // namespace

QString AboutDialog::version()
{
    return QStringLiteral(PFW_VERSION);
}

QString AboutDialog::sourceRevision()
{
    return QStringLiteral(PFW_SOURCE_REVISION);
}

QString AboutDialog::recordedVersion(const XsdtNode &root)
{
    QString text = firstValueText(root, u"PixInsight");
    const QString last = firstValueText(root, u"LastVersion");
    if (!last.isEmpty())
        text = text.isEmpty() ? last : text + QStringLiteral(" [%1]").arg(last);
    return text;
}

AboutDialog::AboutDialog(const QString &openFilePath, const QString &recordedVersion,
                         const HostEnvironment &environment, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("About Prefwright"));
    setMinimumWidth(640);
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(14);

    auto *header = new QHBoxLayout;
    header->setSpacing(20);
    auto *icon = new QLabel(this);
    icon->setFixedSize(128, 128);
    const qreal ratio = devicePixelRatioF();
    QPixmap picture(QStringLiteral(":/icons/prefw-256.png"));
    if (!picture.isNull()) {
        picture = picture.scaled(QSize(128, 128) * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        picture.setDevicePixelRatio(ratio);
        icon->setPixmap(picture);
    }
    header->addWidget(icon, 0, Qt::AlignTop);

    auto *column = new QVBoxLayout;
    column->setSpacing(6);
    auto *name = new QLabel(tr("Prefwright"), this);
    QFont big = name->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.7);
    name->setFont(big);
    column->addWidget(name);
    column->addWidget(new QLabel(tr("Version %1").arg(version()), this));
    auto *summary = new QLabel(
        tr("A safe editor for PixInsight's settings files. Change preferences with proper controls, search everything, "
           "clean up data left behind by uninstalled modules, and compare settings between PixInsight instances or "
           "backups - without editing XML by hand."),
        this);
    summary->setWordWrap(true);
    summary->setContentsMargins(0, 6, 0, 0);
    column->addWidget(summary);
    auto *promises = new QLabel(
        tr("<b>How it protects your settings</b><ul style=\"margin-top:2px; margin-bottom:0px\"><li>It writes only while "
           "PixInsight is closed: PixInsight keeps its settings in memory and would overwrite the file.</li><li>Every "
           "save makes a timestamped backup, checks the result and replaces the file in one step.</li><li>Entries are "
           "deleted only when they are known to be safe to remove, and it asks first when they hold your saved "
           "configuration.</li></ul>"),
        this);
    promises->setWordWrap(true);
    promises->setTextFormat(Qt::RichText);
    column->addWidget(promises);
    auto *warning = new QLabel(
        tr("<span style=\"color:#e29600\"><b>Warning:</b></span> Not every entry in \"All settings (advanced)\" or the "
           "Health check is meant to be edited. Prefwright flags values that are out of range or unrecognized, and a "
           "backup is only a Restore away. But if you don't know what a setting does, it's better to leave it alone."),
        this);
    warning->setWordWrap(true);
    warning->setTextFormat(Qt::RichText);
    warning->setContentsMargins(0, 6, 0, 0);
    column->addWidget(warning);
    column->addStretch();
    header->addLayout(column, 1);
    layout->addLayout(header);

    layout->addWidget(new QLabel(tr("<b>Technical details</b> (for bug reports)"), this));
    m_details = new QPlainTextEdit(this);
    m_details->setAccessibleName(tr("Technical details"));
    m_details->setReadOnly(true);
    m_details->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSizeF(QApplication::font().pointSizeF() * 0.9);
    m_details->setFont(fixed);
    // Room for all seven lines, even when the folder line wraps.
    m_details->setMinimumHeight(qCeil(QFontMetricsF(fixed).lineSpacing() * 8.5) + 2 * m_details->frameWidth() + 8);
    QStringList folders;
    for (const QString &folder : defaultSettingsFolders(environment))
        folders << QDir::toNativeSeparators(folder);
    const QStringList lines{
        tr("Prefwright %1 (source %2)").arg(version(), sourceRevision()),
        tr("Qt %1").arg(QString::fromLatin1(qVersion())),
        tr("System: %1 (%2)").arg(QSysInfo::prettyProductName(), QSysInfo::currentCpuArchitecture()),
        tr("Open file: %1").arg(openFilePath.isEmpty() ? tr("none") : QDir::toNativeSeparators(openFilePath)),
        tr("PixInsight recorded in the file: %1").arg(recordedVersion.isEmpty() ? tr("unknown") : recordedVersion),
        tr("Settings folders searched: %1").arg(folders.join(QLatin1String("; "))),
        tr("Licence: GNU General Public License, version 3 or later (GPL-3.0-or-later)"),
    };
    m_details->setPlainText(lines.join(u'\n'));
    layout->addWidget(m_details, 1);

    auto *buttons = new QHBoxLayout;
    m_copy = new QPushButton(tr("Copy details"), this);
    auto *ok = new QPushButton(tr("OK"), this);
    setAccessKey(m_copy, u'c');
    setAccessKey(ok, u'o');
    ok->setDefault(true);
    buttons->addWidget(m_copy);
    buttons->addStretch();
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    connect(m_copy, &QPushButton::clicked, this, [this] {
        QApplication::clipboard()->setText(details());
        m_copy->setText(tr("Copied"));
    });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    // Wrapped labels report their height only for a given width; size the dialog by it so the
    // texts are not clipped at first show.
    const int width = std::max(minimumWidth(), 720);
    resize(width, layout->totalHeightForWidth(width));
}

QString AboutDialog::details() const
{
    return m_details->toPlainText();
}

QString AboutDialog::userGuidePath()
{
    return QDir::tempPath() + QLatin1String("/Prefwright-Help.html");
}

bool AboutDialog::openUserGuide(const std::function<bool(const QUrl &)> &opener)
{
    QFile source(QStringLiteral(":/help/help.html"));
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = source.readAll();
    if (!AtomicFile::write(userGuidePath(), bytes).ok())
        return false;
    const QUrl url = QUrl::fromLocalFile(userGuidePath());
    return opener ? opener(url) : QDesktopServices::openUrl(url);
}

} // namespace pfw
