#include "core/translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

using namespace pfw;

namespace {

struct Message
{
    QString context;
    QString source;
    bool counted = false;
    QStringList forms;
};

QList<Message> readTs(const QString &path)
{
    QList<Message> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    QXmlStreamReader xml(&file);
    QString context;
    Message current;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"message") {
            if (!current.source.isEmpty())
                messages << current;
            current = Message{
                context, QString(), xml.attributes().value(QLatin1String("numerus")) == QLatin1String("yes"), {}};
        } else if (xml.name() == u"source") {
            current.source = xml.readElementText();
        } else if (xml.name() == u"numerusform") {
            current.forms << xml.readElementText();
        }
    }
    if (!current.source.isEmpty())
        messages << current;
    return messages;
}

QString committedTs()
{
    return QStringLiteral(PFW_SOURCE_DIR "/resources/translations/prefwright_en.ts");
}

} // namespace

// Counted texts are written with their plural; the built-in English forms supply "1 change".
class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void everyCountedTextHasASingular();
    void everyCountedTextInTheSourcesHasItsForms();
};

void TestTranslations::everyCountedTextHasASingular()
{
    QVERIFY(Translations::install());
    const QList<Message> messages = readTs(committedTs());
    QVERIFY(messages.size() > 40);
    for (const Message &message : messages) {
        const QByteArray context = message.context.toUtf8();
        const QByteArray source = message.source.toUtf8();
        const QString one = QCoreApplication::translate(context.constData(), source.constData(), nullptr, 1);
        const QString two = QCoreApplication::translate(context.constData(), source.constData(), nullptr, 2);
        QCOMPARE(message.forms.size(), 2);
        QCOMPARE(one, QString(message.forms.at(0)).replace(QLatin1String("%n"), QLatin1String("1")));
        QCOMPARE(two, QString(message.source).replace(QLatin1String("%n"), QLatin1String("2")));
    }
}

void TestTranslations::everyCountedTextInTheSourcesHasItsForms()
{
    const QString lupdate
        = QStandardPaths::findExecutable(QStringLiteral("lupdate"), {QStringLiteral("/usr/lib/qt6/bin")});
    if (lupdate.isEmpty())
        QSKIP("lupdate is not installed here (Debian: qt6-l10n-tools)");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString extracted = dir.filePath(QStringLiteral("all.ts"));
    QStringList arguments{QStringLiteral("-locations"), QStringLiteral("none"), QStringLiteral("-I"),
                          QStringLiteral(PFW_SOURCE_DIR)};
    for (const char *folder : {"app", "cli", "core", "model", "modules", "platform", "schema", "session", "ui"})
        arguments << QStringLiteral(PFW_SOURCE_DIR "/") + QLatin1String(folder);
    arguments << QStringLiteral("-ts") << extracted;
    QProcess run;
    run.start(lupdate, arguments);
    QVERIFY(run.waitForFinished(120000));
    QCOMPARE(run.exitCode(), 0);

    QSet<QString> provided;
    for (const Message &message : readTs(committedTs())) {
        if (message.forms.size() == 2 && !message.forms.contains(QString()))
            provided.insert(message.context + u'\n' + message.source);
    }
    const QList<Message> found = readTs(extracted);
    QVERIFY(found.size() > 500);
    for (const Message &message : found) {
        // "(s)" is how a text without its forms reads: "1 change(s)".
        QVERIFY2(!message.source.contains(QLatin1String("(s)")) && !message.source.contains(QLatin1String("(es)")),
                 qPrintable(message.source));
        if (message.counted)
            QVERIFY2(provided.contains(message.context + u'\n' + message.source),
                     qPrintable(QStringLiteral("no English forms for %1: %2").arg(message.context, message.source)));
    }
}

QTEST_GUILESS_MAIN(TestTranslations)
#include "tst_translations.moc"
