#pragma once
// The application object: its title, the one main window, and the error box that reports
// every exception a handler lets escape, after which the program goes on.
#include <QApplication>
#include <QString>
#include <functional>
#include <memory>

class TPingForm;

class TApplication : public QApplication {
    Q_OBJECT

  public:
    TApplication(int& AArgc, char** AArgv);
    ~TApplication() override;

    static TApplication* Instance();

    // The title of the program's window, the caption of the error box and the key by which
    // a second copy finds the first.
    QString Title() const { return FTitle; }
    void SetTitle(const QString& AValue);

    // Makes the main window and runs its start-up handler.
    void CreateForm();
    TPingForm* MainForm() const { return FMainForm.get(); }
    // Shows the main window and handles events until it closes or termination was
    // requested; then destroys the window. The exit code.
    int Run();
    // Ends the event loop once it runs; whatever handler is running finishes first.
    void Terminate();
    bool Terminated() const { return FTerminated; }

    // Reports the exception being handled in the error box; call only from a catch block.
    void HandleException();
    // Replaces the modal box, for tests: called with the caption and the text.
    std::function<void(const QString& ACaption, const QString& AText)> OnErrorBox;

    bool notify(QObject* AReceiver, QEvent* AEvent) override;

  private:
    void ShowErrorBox(const std::string& AMessage);

    QString FTitle;
    std::unique_ptr<TPingForm> FMainForm;
    bool FTerminated = false;
};

// Runs AHandler and reports whatever it raises in the application's error box. Every
// handler that Qt calls goes through this: exceptions must not cross Qt's event code.
template <class THandler> void Guarded(THandler&& AHandler) {
    try {
        AHandler();
    } catch (...) {
        TApplication::Instance()->HandleException();
    }
}
