#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// One request to the application's database without a running web server: the data server
// started in its one-message mode (`dbsvr message=- configfolder=<folder>`), the request on its
// standard input, the reply on its standard output.

namespace dataserver {

struct OnceAnswer {
    int exitCode = -1; // -1: the data server could not be started, or did not end normally
    QByteArray reply;  // what it wrote to standard output
    QString complaint; // what it wrote to standard error, trimmed; or why it did not run
};

// Runs the data server of programFolder on applicationFolder's database with request and
// waits for its end; environment holds NAME=value entries that replace or add to ours.
OnceAnswer AskOnce(const QString& programFolder, const QString& applicationFolder,
                   const QByteArray& request, const QStringList& environment = {});

} // namespace dataserver
