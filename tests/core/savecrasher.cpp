// Loads a settings file, edits one value and saves, stopping the process dead at the named
// step of the save: the test then checks what a crash leaves on disk.
#include "core/settingsdocument.h"

#include <QFileDevice>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    if (argc != 3)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    const QByteArray point(argv[2]);
    pfw::SettingsDocument document;
    document.setRunningCheck([] { return false; });
    QString error;
    if (!document.load(path, &error))
        return 3;
    pfw::XsdtNode *value = document.file().root.findPath(u"Global/Preferences/Application/AutoSaveSettingsPeriod");
    if (!value)
        return 4;
    value->value = QStringLiteral("45");

    pfw::SettingsDocument::FileOperations operations = pfw::SettingsDocument::defaultFileOperations();
    const auto writeBackup = operations.writeBackup;
    operations.writeBackup = [writeBackup, point](const QByteArray &bytes, const QString &to, QString *error) {
        const bool ok = writeBackup(bytes, to, error);
        if (point == "after-backup")
            std::_Exit(9);
        return ok;
    };
    operations.steps.writeAll = [point](QFileDevice &file, const QByteArray &bytes) {
        if (point == "mid-write") {
            file.write(bytes.left(bytes.size() / 2));
            file.flush();
            std::_Exit(9);
        }
        return file.write(bytes) == bytes.size();
    };
    operations.steps.commit = [point](const std::function<bool()> &rename) {
        const bool ok = rename();
        if (point == "after-commit")
            std::_Exit(9);
        return ok;
    };
    document.setFileOperations(operations);
    QString backup;
    if (!document.save(&error, &backup)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 5;
    }
    return 0;
}
