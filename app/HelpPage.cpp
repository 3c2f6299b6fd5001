#include "app/HelpPage.h"

#include "hosts/HostListFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString HelpPagePath() {
    return HelpPagePathFor(QCoreApplication::applicationFilePath());
}

QString HelpPagePathFor(const QString& AProgram) {
    const QString Beside =
        QString::fromLocal8Bit(WithExtension(AProgram.toLocal8Bit().toStdString(), ".html"));
    const QString Installed =
        QFileInfo(AProgram).dir().filePath(QString::fromUtf8(VEXLO_DATA_FROM_BIN "/vexlo.html"));
    return QFileInfo::exists(Beside) || !QFileInfo::exists(Installed) ? Beside
                                                                      : QDir::cleanPath(Installed);
}
