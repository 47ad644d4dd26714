#pragma once

#include "tests/support/programfolder.h"

#include <QFile>

// A stand-in for dbsvr at path: a script that never takes its token, optionally writes a
// critical message file first, then sleeps (and ends by itself, should a test leave it).
inline void WriteDataServerStandIn(const QString& path, bool writesMessage) {
    QByteArray script = "#!/bin/sh\n";
    if (writesMessage)
        script += "file=${1#parameterfile=}\n"
                  "msg=$(sed -n 's/^messagefile=\"\\(.*\\)\"\\r*$/\\1/p' \"$file\")\n"
                  "printf '<XML><Type>Critical</Type><Code>1</Code></XML>' > \"$msg\"\n";
    script += "exec sleep 90\n";
    support::WriteFile(path, script);
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
}
