#include <QImage>
#include <QString>
#include <cstdio>
#include <cstdlib>

// Writes one picture as PNG, optionally at another size: desktop environments want the
// program icon as files in the sizes they show. Pixel art keeps its hard edges only when
// each pixel becomes a block of whole pixels, so the size is reached by nearest neighbour.
int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s PICTURE PNG [SIZE]\n", argv[0]);
        return 2;
    }
    QImage Picture(QString::fromLocal8Bit(argv[1]));
    if (Picture.isNull()) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    if (argc == 4) {
        const int Size = std::atoi(argv[3]);
        if (Size <= 0) {
            std::fprintf(stderr, "%s: no size: %s\n", argv[0], argv[3]);
            return 2;
        }
        Picture = Picture.scaled(Size, Size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    }
    if (!Picture.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
        return 1;
    }
    return 0;
}
