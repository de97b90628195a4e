// Every quillmark-find command README.md shows ("    $ build/cli/quillmark-find ...") is run
// from the top of the tree with the built program, and must print exactly the lines the
// README shows under it.
#include <QFile>
#include <QProcess>
#include <QtTest>

namespace {

constexpr const char* kShownProgram = "build/cli/quillmark-find";

struct ShownCommand {
    QString command;
    QString output;
};

// The README's indented "$ " lines that run the program, each with the indented lines after
// it up to the next command, blank line or prose.
QList<ShownCommand> shownCommands(int& mentions) {
    QFile readme(QStringLiteral(QUILLMARK_SOURCE_DIR "/README.md"));
    if (!readme.open(QIODevice::ReadOnly)) return {};
    QList<ShownCommand> commands;
    bool inOutput = false;
    mentions = 0;
    for (const QString& line : QString::fromUtf8(readme.readAll()).split('\n')) {
        const bool indented = line.startsWith("    ");
        if (indented && line.contains(kShownProgram)) ++mentions;
        if (indented && line.mid(4).startsWith("$ ")) {
            inOutput = line.contains(kShownProgram);
            if (inOutput) commands.append({line.mid(6), {}});
        } else if (indented && inOutput) {
            commands.last().output += line.mid(4) + '\n';
        } else {
            inOutput = false;
        }
    }
    return commands;
}

}  // namespace

class TestReadmeCommands : public QObject {
    Q_OBJECT

  private slots:
    void everyCommandIsChecked() {
        int mentions = 0;
        const QList<ShownCommand> commands = shownCommands(mentions);
        QVERIFY(commands.size() >= 5);
        // A command written without "$ " would escape the check below.
        QCOMPARE(mentions, int(commands.size()));
    }

    void printsWhatTheReadmeShows_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("output");
        int mentions = 0;
        for (const ShownCommand& shown : shownCommands(mentions))
            QTest::newRow(qPrintable(shown.command)) << shown.command << shown.output;
    }
    void printsWhatTheReadmeShows() {
        QFETCH(QString, command);
        QFETCH(QString, output);
        QProcess shell;
        shell.setWorkingDirectory(QStringLiteral(QUILLMARK_SOURCE_DIR));
        QString line = command;
        line.replace(kShownProgram, QStringLiteral(QUILLMARK_FIND_EXECUTABLE));
        shell.start("/bin/sh", {"-c", line});
        QVERIFY(shell.waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(shell.readAllStandardError()), QString());
        QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()), output);
    }
};

QTEST_GUILESS_MAIN(TestReadmeCommands)
#include "test_readme_commands.moc"
