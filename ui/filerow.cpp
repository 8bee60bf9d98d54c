#include "ui/filerow.h"

#include "platform/hostlocations.h"
#include "ui/accesskeys.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace pfw {

FileRow::FileRow(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *label = new QLabel(tr("File:"), this);
    layout->addWidget(label);
    m_box = new QComboBox(this);
    // Windows screen readers take a combo box's name from here, not from its current text.
    m_box->setAccessibleName(tr("File"));
    label->setBuddy(m_box);
    m_box->setEditable(false);
    m_box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    layout->addWidget(m_box, 1);
    auto *browse = new QPushButton(tr("Browse..."), this);
    setAccessKey(m_box, u'i');
    setAccessKey(browse, u'b');
    layout->addWidget(browse);
    connect(browse, &QPushButton::clicked, this, &FileRow::browseRequested);
    connect(m_box, &QComboBox::activated, this, [this](int index) {
        const QString path = m_box->itemData(index).toString();
        if (!path.isEmpty() && (m_open.isEmpty() || !isSameFile(path, m_open)))
            emit chosen(path);
    });
}

bool FileRow::isSameFile(const QString &a, const QString &b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    const QString canonical = first.canonicalFilePath();
    return canonical.isEmpty() ? first.absoluteFilePath() == second.absoluteFilePath()
                               : canonical == second.canonicalFilePath();
}

void FileRow::show(const QStringList &found, const QString &open)
{
    m_open = open;
    m_box->setToolTip(open.isEmpty() ? tr("No settings file loaded.") : QDir::toNativeSeparators(open));
    const QSignalBlocker blocker(m_box);
    m_box->clear();
    int current = -1;
    for (const QString &path : found) {
        m_box->addItem(describeSettingsFile(path), path);
        if (!open.isEmpty() && current < 0 && isSameFile(path, open))
            current = m_box->count() - 1;
    }
    if (!open.isEmpty() && current < 0) {
        m_box->addItem(describeSettingsFile(open), open);
        current = m_box->count() - 1;
    }
    if (m_box->count() == 0)
        m_box->addItem(tr("No settings file found - use Browse..."), QString());
    m_box->setCurrentIndex(current);
}

} // namespace pfw
