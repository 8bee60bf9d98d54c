#pragma once

#include "core/fileidentity.h"
#include "core/problemsearch.h"
#include "core/xsdtfile.h"

#include <QDialog>

#include <functional>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QTreeWidget;

namespace pfw {

class DeletionPolicy;
class EditingSession;
class SettingsSchema;

// File > Find a problem setting: the user picks the last state in which PixInsight worked, and
// each round's file puts half of the remaining differences back until one is left. The work is
// ProblemSearch's; this dialog shows where it stands, waits while PixInsight runs and takes
// the answers. Closing it keeps the search for later.
class ProblemSearchDialog final : public QDialog
{
    Q_OBJECT

public:
    struct Context
    {
        QString settingsPath;
        // The open file, which the search starts from, and its fingerprint.
        const XsdtNode *openTree = nullptr;
        QByteArray fingerprint;
        const DeletionPolicy *policy = nullptr;
        const SettingsSchema *schema = nullptr;
        std::function<bool()> isHostRunning;
        // Where the dialog hears that PixInsight started or exited, or that the search moved on
        // from a terminal; without one it looks only when poll() is called.
        const EditingSession *session = nullptr;
    };
    enum Page { ChoosePage, RoundPage, FoundPage };

    explicit ProblemSearchDialog(const Context &context, QWidget *parent = nullptr);

    Page page() const;
    // What the status bar says once the dialog is closed.
    const QString &outcome() const { return m_outcome; }

    // Compares the open file with a backup or another file and lists what would be tested.
    void chooseGoodState(const QString &path);
    void start();
    void answer(ProblemSearchRounds::Answer answer);
    // Puts the file back after asking, and ends the search.
    void cancelSearch();
    void end(ProblemSearch::End how);
    // Follows PixInsight starting and exiting, and a search moved on from a terminal.
    void poll();

    QComboBox *stateBox() const { return m_stateBox; }
    QLabel *summaryLabel() const { return m_summary; }
    QTreeWidget *differenceTree() const { return m_differences; }
    QPushButton *startButton() const { return m_start; }
    QLabel *roundLabel() const { return m_round; }
    QListWidget *roundList() const { return m_roundList; }
    QLabel *statusLabel() const { return m_status; }
    QPushButton *yesButton() const { return m_yes; }
    QPushButton *noButton() const { return m_no; }
    QPushButton *cantTellButton() const { return m_cantTell; }
    QPushButton *cancelSearchButton() const { return m_cancelSearch; }
    QLabel *foundLabel() const { return m_found; }
    QTreeWidget *foundTree() const { return m_foundTree; }
    QPushButton *useGoodButton() const { return m_useGood; }
    QPushButton *putBackButton() const { return m_putBack; }
    QPushButton *keepButton() const { return m_keep; }
    QLabel *noticeLabel() const { return m_notice; }

private:
    QWidget *buildChoosePage();
    QWidget *buildRoundPage();
    QWidget *buildFoundPage();
    void fillStateBox();
    void stateChosen(int index);
    // Shows the page for the search on disk, or the choice when there is none.
    void showSearch();
    void updateRoundButtons();
    void showError(const QString &text);
    void showNotice(const QString &text);
    QString labelOf(const SearchSuspect &suspect) const;

    Context m_context;
    ProblemSearch m_search;
    XsdtFile m_good;
    QString m_goodPath;
    SearchPlan m_plan;
    // The file as it was at the start, for the labels of the suspects.
    XsdtFile m_bad;
    FileIdentity m_stateIdentity;
    bool m_running = false;
    bool m_sawRunning = false;
    QString m_outcome;

    QStackedWidget *m_pages;
    QComboBox *m_stateBox;
    QLabel *m_summary;
    QTreeWidget *m_differences;
    QPushButton *m_start;
    QLabel *m_round;
    QListWidget *m_roundList;
    QLabel *m_status;
    QLabel *m_question;
    QPushButton *m_yes;
    QPushButton *m_no;
    QPushButton *m_cantTell;
    QPushButton *m_cancelSearch;
    QLabel *m_found;
    QTreeWidget *m_foundTree;
    QPushButton *m_useGood;
    QPushButton *m_putBack;
    QPushButton *m_keep;
    QLabel *m_error;
    QLabel *m_notice;
    bool m_damaged = false;
};

} // namespace pfw
