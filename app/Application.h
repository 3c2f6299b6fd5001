#pragma once
// The application object: its title, the one main window, and the error box that reports
// every exception a handler lets escape, after which the program goes on.
#include "app/Guarded.h"

#include <QApplication>
#include <QString>
#include <functional>
#include <memory>
#include <string>

class TPingForm;
struct TPingFormServices;

class TApplication : public QApplication {
    Q_OBJECT

  public:
    TApplication(int& AArgc, char** AArgv);
    ~TApplication() override;

    // The title of the program's window, the caption of the error box and the key by which
    // a second copy finds the first.
    QString Title() const { return FTitle; }
    void SetTitle(const QString& AValue);

    // Makes the main window with the services below and runs its start-up handler.
    void CreateForm();
    // What the window takes from outside: the host list beside the executable, the desktop's
    // copy of the program, the browser, and this object's end of the program.
    TPingFormServices FormServices();
    // Looks for another copy's window, by this program's title, through AFind, and brings it
    // back. This copy's own window is untitled meanwhile, so that it cannot be the one found.
    bool RestorePreviousInstance(const std::function<bool(const std::string& ATitle)>& AFind);
    TPingForm* MainForm() const { return FMainForm.get(); }
    // Shows the main window and handles events until it closes or termination was
    // requested; then destroys the window. The exit code.
    int Run();
    // Ends the event loop once it runs; whatever handler is running finishes first.
    void Terminate();
    bool Terminated() const { return FTerminated; }

    // Reports the exception being handled in the error box; call only from a catch block.
    void HandleException();
    // Shows AMessage in the error box; nothing for none (an exception silent by design).
    void ReportError(const std::optional<std::string>& AMessage);
    // Replaces the modal box, for tests: called with the caption and the text.
    std::function<void(const QString& ACaption, const QString& AText)> OnErrorBox;

    bool notify(QObject* AReceiver, QEvent* AEvent) override;

  private:
    void ShowErrorBox(const std::string& AMessage);

    QString FTitle;
    std::unique_ptr<TPingForm> FMainForm;
    bool FTerminated = false;
    ErrorReport::THandler FPreviousReport;
};
