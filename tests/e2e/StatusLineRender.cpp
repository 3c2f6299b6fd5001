// Draws the status line with the window's own label code, font and size, so that a test can
// compare the screen with it pixel for pixel instead of reading text.
// Usage: e2e_status_line TEXT COLOUR OUT.png [WIDTH [help]]; "help": as the help label draws.
#include "app/WindowFont.h"
#include "controls/Label.h"

#include <QApplication>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <string_view>

int main(int AArgc, char** AArgv) {
    if (AArgc < 4) {
        std::fprintf(stderr, "usage: %s TEXT COLOUR OUT.png [WIDTH [help]]\n", AArgv[0]);
        return 2;
    }
    QApplication Application(AArgc, AArgv);
    TLabel Line(nullptr);
    Line.setFont(WindowFont());
    QPalette White = Line.palette();
    White.setColor(QPalette::Window, Qt::white);
    Line.setPalette(White);
    const bool Help = AArgc > 5 && std::string_view(AArgv[5]) == "help";
    Line.SetBold(!Help);
    Line.SetUnderline(Help);
    Line.SetFontColour(QColor(QString::fromLatin1(AArgv[2])));
    Line.setText(QString::fromLocal8Bit(AArgv[1]));
    Line.resize(AArgc > 4 ? std::atoi(AArgv[4]) : 161, 13);
    const QImage Image = Line.grab().toImage().convertToFormat(QImage::Format_RGB32);
    return Image.save(QString::fromLocal8Bit(AArgv[3]), "PNG") ? 0 : 1;
}
