// qv_grab <window id> <file.png>: saves a picture of an X window (what the screenshot run
// shows of websvr's windows). Exit status 1 when the window cannot be grabbed.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: qv_grab <window id> <file.png>\n");
        return 2;
    }
    const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(
        WId(QByteArray(argv[1]).toULongLong(nullptr, 0)));
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "qv_grab: window %s not grabbed\n", argv[1]);
        return 1;
    }
    return 0;
}
