// Test helper: answers every message of a queue folder by id into another folder.
//   qv_queuepeer INFOLDER OUTFOLDER [REPLY]
// The reply is REPLY when given, otherwise the message itself. Runs until killed.
#include "components/components.h"
#include "components/queue.h"

#include <QCoreApplication>
#include <csignal>
#include <sys/prctl.h>

int main(int argc, char** argv) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive the test
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    components::RegisterComponents();
    const auto in = components::NewQueue();
    const auto out = components::NewQueue();
    in->folder = args.at(1);
    out->folder = args.at(2);
    for (;;) {
        const QString id = in->Poll(QString(), 60000);
        if (id.isEmpty())
            continue;
        out->package = args.size() > 3 ? args.at(3) : in->package;
        out->send(id);
    }
}
