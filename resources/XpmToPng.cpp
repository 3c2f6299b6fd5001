#include <QImage>
#include <QString>
#include <cstdio>

// Writes one picture as PNG: desktop environments want the program icon as a file.
int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PICTURE PNG\n", argv[0]);
        return 2;
    }
    const QImage Picture(QString::fromLocal8Bit(argv[1]));
    if (Picture.isNull()) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    if (!Picture.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
        return 1;
    }
    return 0;
}
