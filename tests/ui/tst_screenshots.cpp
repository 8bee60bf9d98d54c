#include "tests/support/testservices.h"
#include "platform/hostservices.h"
#include "ui/widgets/settingrow.h"
#include "ui/mainwindow.h"
#include "ui/views/preferencesview.h"

#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace pfw;

class TestScreenshots : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void everyPictureAndNothingWritten();
    void searchTextFiltersThePages();
    void withoutASecondFileThereIsNoCompare();
    void everyControlHasAName();

private:
    QString settingsFolder() const { return m_dir->filePath(QStringLiteral("home/.PixInsight")); }
    QStringList pictures(const QString &folder) const;
    void render(const QString &searchText);

    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_demo;
    HostServices m_services;
};

void TestScreenshots::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QFile demo(QStringLiteral(PFW_SOURCE_DIR "/examples/core-001-pxi.settings"));
    QVERIFY(demo.open(QIODevice::ReadOnly));
    m_demo = demo.readAll();
}

void TestScreenshots::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir().mkpath(settingsFolder()));
    for (const char *name : {"core-001-pxi.settings", "core-002-pxi.settings"}) {
        QFile file(settingsFolder() + u'/' + QLatin1String(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(m_demo);
    }
    const QString records = m_dir->filePath(QStringLiteral("PixInsight/etc/update/installed.xri"));
    QVERIFY(QDir().mkpath(QFileInfo(records).absolutePath()));
    QFile file(records);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        "<xri><package fileName=\"Orbitdeck.zip\" type=\"module\"/><package fileName=\"core.zip\" type=\"core\"/></xri>");
    file.close();

    m_services = test::servicesIn(m_dir->filePath(QStringLiteral("home")), [] { return false; });
    m_services.environment.variables.insert(QStringLiteral("PIXINSIGHT_DIR"),
                                            m_dir->filePath(QStringLiteral("PixInsight")));
}

QStringList TestScreenshots::pictures(const QString &folder) const
{
    return QDir(folder).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
}

void TestScreenshots::render(const QString &searchText)
{
    MainWindow window(m_services);
    window.renderScreenshots(m_dir->filePath(QStringLiteral("shots")), searchText);
    QCOMPARE(window.tabs()->preferences()->filterEdit()->text(), QString());
}

void TestScreenshots::everyPictureAndNothingWritten()
{
    const QStringList before = QDir(settingsFolder()).entryList(QDir::Files);
    render(QString());
    const QStringList made = pictures(m_dir->filePath(QStringLiteral("shots")));
    for (const char *name : {"prefs-00.png",         "search.png",         "search-font.png",
                             "module-search.png",    "unused-modules.png", "cleanup.png",
                             "cleanup-queued.png",   "compare.png",        "compare-all.png",
                             "health.png",           "review.png",         "review-grouped.png",
                             "reapply.png",          "backups.png",        "problem-search.png",
                             "history.png",          "about.png",          "installed-updates.png",
                             "advanced-changed.png", "advanced.png",       "import.png",
                             "copy-to-instances.png"}) {
        QVERIFY2(made.contains(QLatin1String(name)), name);
        const QImage image(m_dir->filePath(QStringLiteral("shots/")) + QLatin1String(name));
        QVERIFY2(!image.isNull() && image.width() > 100 && image.height() > 100, name);
    }
    QVERIFY(!made.contains(QLatin1String("prefs-12.png")));
    // Nothing was saved: no new file, no backup, the same bytes.
    QCOMPARE(QDir(settingsFolder()).entryList(QDir::Files), before);
    QFile file(settingsFolder() + QLatin1String("/core-001-pxi.settings"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), m_demo);
}

void TestScreenshots::searchTextFiltersThePages()
{
    render(QString());
    const int all = int(pictures(m_dir->filePath(QStringLiteral("shots"))).filter(QStringLiteral("prefs-")).size());
    QDir(m_dir->filePath(QStringLiteral("shots"))).removeRecursively();
    render(QStringLiteral("grid"));
    const int filtered
        = int(pictures(m_dir->filePath(QStringLiteral("shots"))).filter(QStringLiteral("prefs-")).size());
    QVERIFY(filtered > 0);
    QVERIFY2(filtered < all, qPrintable(QStringLiteral("%1 of %2").arg(filtered).arg(all)));
}

void TestScreenshots::withoutASecondFileThereIsNoCompare()
{
    QVERIFY(QFile::remove(settingsFolder() + QLatin1String("/core-002-pxi.settings")));
    render(QString());
    const QStringList made = pictures(m_dir->filePath(QStringLiteral("shots")));
    QVERIFY(made.contains(QLatin1String("health.png")));
    QVERIFY(!made.contains(QLatin1String("compare.png")));
    QVERIFY(!made.contains(QLatin1String("compare-all.png")));
    QVERIFY(!made.contains(QLatin1String("copy-to-instances.png")));
}

// What a screen reader says for each control it can reach: a name, on every tab and in every
// dialog the screenshots show; and for each setting, its label.
void TestScreenshots::everyControlHasAName()
{
    QStringList unnamed;
    QStringList misnamed;
    int editors = 0;
    const auto describe = [](QWidget *widget) {
        QStringList chain;
        for (QWidget *w = widget; w && chain.size() < 4; w = w->parentWidget())
            chain << QString::fromLatin1(w->metaObject()->className())
                    + (w->objectName().isEmpty() ? QString() : u'#' + w->objectName());
        return chain.join(QLatin1String(" < "));
    };
    const auto inspect = [&](QWidget *top, const QString &shot) {
        QList<QWidget *> widgets = top->findChildren<QWidget *>();
        widgets.prepend(top);
        for (QWidget *widget : std::as_const(widgets)) {
            if (!widget->isVisible() || !widget->isEnabled() || widget->focusPolicy() == Qt::NoFocus
                || widget->isWindow())
                continue;
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
            QString name = accessible ? accessible->text(QAccessible::Name).trimmed() : QString();
            // On Linux a combo box is named by its current text; Windows knows only its own name.
            if (qobject_cast<QComboBox *>(widget) && widget->accessibleName().trimmed().isEmpty())
                name.clear();
            if (name.isEmpty()) {
                const QString line = shot + QLatin1String(": ") + describe(widget);
                if (!unnamed.contains(line))
                    unnamed << line;
            }
        }
        for (SettingRow *row : top->findChildren<SettingRow *>()) {
            if (!row->isVisible())
                continue;
            ++editors;
            const QString name = row->editor()->accessibleName();
            if (name != row->labelLine()->text())
                misnamed << shot + QLatin1String(": ") + row->labelLine()->text() + QLatin1String(" named ") + name;
        }
    };
    MainWindow window(m_services);
    window.renderScreenshots(m_dir->filePath(QStringLiteral("shots")), QString(), inspect);
    QVERIFY(editors > 50);
    for (const QString &line : std::as_const(unnamed) + misnamed)
        qWarning("%s", qPrintable(line));
    QCOMPARE(unnamed.size(), 0);
    QCOMPARE(misnamed.size(), 0);
}

QTEST_MAIN(TestScreenshots)
#include "tst_screenshots.moc"
