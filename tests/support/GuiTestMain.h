#pragma once
// The one main() of every GUI and app test program, and the application object it runs the
// tests under: a plain QApplication (GuiTestApplication.cpp), or the program's own where a
// test program brings its factory instead (vexlo_add_gui_test OWN_APPLICATION).
#include <QApplication>
#include <memory>

// Made once by main, after GoogleTest has taken its own arguments.
std::unique_ptr<QApplication> MakeTestApplication(int& AArgc, char** AArgv);
