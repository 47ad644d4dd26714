#include "supervision/askonce.h"

#include "contract/contract.h"
#include "supervision/launch.h"

#include <QProcess>
#include <QProcessEnvironment>

namespace dataserver {

namespace {
QProcessEnvironment environmentWith(const QStringList& entries) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : entries)
        environment.insert(entry.section(QLatin1Char('='), 0, 0),
                           entry.section(QLatin1Char('='), 1));
    return environment;
}
} // namespace

OnceAnswer AskOnce(const QString& programFolder, const QString& applicationFolder,
                   const QByteArray& request, const QStringList& environment) {
    QProcess process;
    process.setProcessEnvironment(environmentWith(environment));
    const QString program = DataServerProgram(programFolder);
    process.start(program,
                  {QStringLiteral("message=-"), QuotedArgument("configfolder", applicationFolder)});
    OnceAnswer answer;
    if (!process.waitForStarted(-1)) {
        answer.complaint = QStringLiteral("Unable to start the program ") + program +
                           QStringLiteral(": ") + process.errorString();
        return answer;
    }
    process.write(request);
    process.closeWriteChannel();
    // A statement of the data server ends by its time limit; nothing else waits long.
    process.waitForFinished(-1);
    answer.reply = process.readAllStandardOutput();
    answer.complaint = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    if (process.exitStatus() == QProcess::NormalExit)
        answer.exitCode = process.exitCode();
    else if (answer.complaint.isEmpty())
        answer.complaint = program + QStringLiteral(" ended abnormally.");
    return answer;
}

} // namespace dataserver
