#pragma once

#include <QDialog>

#include <functional>

class QPlainTextEdit;
class QPushButton;
class QUrl;

namespace pfw {

struct HostEnvironment;
struct XsdtNode;

// The program's name, version and safety promises, and the technical details for a bug report.
class AboutDialog final : public QDialog
{
    Q_OBJECT

public:
    AboutDialog(const QString &openFilePath, const QString &recordedVersion, const HostEnvironment &environment,
                QWidget *parent = nullptr);

    QString details() const;

    static QString version();
    static QString sourceRevision();
    // "1.8.9 [1.8.9-2]" from the root values PixInsight and LastVersion.
    static QString recordedVersion(const XsdtNode &root);

    // Writes the built-in guide to a temporary file and asks the desktop to open it; the opener
    // is a seam for tests.
    static bool openUserGuide(const std::function<bool(const QUrl &)> &opener = {});
    static QString userGuidePath();

private:
    QPlainTextEdit *m_details = nullptr;
    QPushButton *m_copy = nullptr;
};

} // namespace pfw
