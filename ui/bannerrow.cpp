#include "ui/bannerrow.h"

#include "session/editingsession.h"
#include "ui/accesskeys.h"
#include "ui/statusbanner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace pfw {

BannerRow::BannerRow(QWidget *parent)
    : QWidget(parent)
    , m_label(new QLabel(this))
    , m_reload(new QPushButton(tr("Reload"), this))
    , m_showChanges(new QPushButton(tr("Show them"), this))
    , m_dismiss(new QPushButton(tr("Dismiss"), this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_label->setWordWrap(true);
    m_label->setMargin(8);
    m_label->setAutoFillBackground(true);
    m_label->setTextFormat(Qt::RichText);
    m_label->hide();
    setAccessKey(m_reload, u'r');
    m_reload->hide();
    layout->addWidget(m_label, 1);
    layout->addWidget(m_reload);
    layout->addWidget(m_showChanges);
    layout->addWidget(m_dismiss);
    setAccessKey(m_showChanges, u's');
    m_showChanges->hide();
    m_dismiss->hide();
    connect(m_reload, &QPushButton::clicked, this, &BannerRow::reloadRequested);
    connect(m_showChanges, &QPushButton::clicked, this, &BannerRow::showHostChangesRequested);
    connect(m_dismiss, &QPushButton::clicked, this, &BannerRow::dismissHostChangesRequested);
}

void BannerRow::showFor(const EditingSession &session)
{
    StatusBanner::State state;
    state.loaded = session.isLoaded();
    state.running = session.isHostRunning();
    state.runningCheckError = state.running ? session.runningCheckError() : QString();
    state.changedOnDisk = session.isChangedOnDisk();
    state.searchInProgress = session.isSearchInProgress();
    state.unsaved = session.unsavedCount();
    if (state.loaded) {
        const XsdtFile &file = session.document().file();
        state.validUtf8 = file.validUtf8;
        state.invalidUtf8Line = file.invalidUtf8Line;
        state.invalidUtf8Column = file.invalidUtf8Column;
        state.compactLayout = session.document().compactLayout();
        state.hostDamage = session.hostDamageNote();
        if (const HostRunReport *report = session.hostRunReport()) {
            state.hostChanges = report->text();
            state.hostModules = report->modulesText();
        }
    }
    const StatusBanner::Banner banner = StatusBanner::describe(state);
    m_label->setText(banner.text);
    m_label->setVisible(!banner.text.isEmpty());
    m_reload->setVisible(banner.offersReload);
    m_showChanges->setVisible(banner.offersHostChanges);
    m_dismiss->setVisible(banner.offersHostChanges);
    QPalette palette = m_label->palette();
    palette.setColor(QPalette::Window, banner.colour);
    m_label->setPalette(palette);
}

} // namespace pfw
