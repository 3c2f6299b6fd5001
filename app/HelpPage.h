#pragma once
// Where the help page that the window's "Help" opens lies.
#include <QString>

// The help page of the running program: see HelpPagePathFor.
QString HelpPagePath();

// The help page of the program at AProgram: the page beside it named after it (the build
// tree, a portable copy), else the installed data folder's page found from the program's
// own folder, so that a moved installation still finds its own. The first when neither
// exists, so that the browser names the missing file.
QString HelpPagePathFor(const QString& AProgram);
