#include "resources/Pictures.h"

#include <QString>

QImage BackgroundPicture() {
    return QImage(QStringLiteral(":/vexlo/background.xpm"));
}

QImage StatusPictures() {
    return QImage(QStringLiteral(":/vexlo/status.xpm"));
}

QImage ProgramIcon() {
    return QImage(QStringLiteral(":/vexlo/icon.xpm"));
}
