// Saves a picture of the whole X screen (the one in DISPLAY) as a PNG file.
// Used by the screenshot script and the end-to-end test under xvfb-run.

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: screen_grab OUTPUT.png\n");
        return 2;
    }
    const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(0);
    return picture.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
