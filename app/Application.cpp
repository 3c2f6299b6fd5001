#include "app/Application.h"

#include "app/PingForm.h"
#include "app/Shell.h"
#include "app/StatusDisplay.h"
#include "hosts/HostListFile.h"
#include "resources/Pictures.h"

#include <QDesktopServices>
#include <QIcon>
#include <QMessageBox>
#include <QMetaObject>
#include <QPixmap>
#include <QUrl>

TApplication::TApplication(int& AArgc, char** AArgv) : QApplication(AArgc, AArgv) {
    // The task bar's button and the window switcher show the program icon.
    setWindowIcon(QIcon(QPixmap::fromImage(ProgramIcon())));
    // Where it cannot be had, the window still skips the releases its toolkit marks as repeats.
    Shell::AskForOneReleasePerHeldKey();
    FPreviousReport = ErrorReport::Install(
        [this](const std::optional<std::string>& AMessage) { ReportError(AMessage); });
}

TApplication::~TApplication() {
    // The window goes before the report it may still use while it stores the host list.
    FMainForm.reset();
    ErrorReport::Install(std::move(FPreviousReport));
}

void TApplication::SetTitle(const QString& AValue) {
    FTitle = AValue;
    if (FMainForm) {
        FMainForm->setWindowTitle(AValue);
    }
}

TPingFormServices TApplication::FormServices() {
    TPingFormServices Services;
    Services.HostListPlace = [] { return ::HostListPlace(); };
    Services.RestorePreviousInstance = [this] {
        return RestorePreviousInstance(Shell::RestoreWindowOfPreviousInstance);
    };
    // Hands the page to the desktop's browser and returns at once; a failure shows nothing.
    Services.OpenHelp = [](const QString& APath) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(APath));
    };
    Services.Terminate = [this] { Terminate(); };
    return Services;
}

bool TApplication::RestorePreviousInstance(
    const std::function<bool(const std::string& ATitle)>& AFind) {
    const QString Saved = Title();
    // Blank, so that the search cannot find this copy's own window.
    SetTitle(QString());
    struct TPutBack {
        TApplication& App;
        const QString& Saved;
        ~TPutBack() { App.SetTitle(Saved); }
    } PutBack{*this, Saved};
    return AFind(Saved.toLocal8Bit().toStdString());
}

void TApplication::CreateForm() {
    try {
        FMainForm = std::make_unique<TPingForm>(FormServices());
    } catch (...) {
        HandleException();
        return;
    }
    FMainForm->setWindowTitle(FTitle);
    Guarded([this] { FMainForm->FormCreate(); });
}

int TApplication::Run() {
    // Without its window the program has nothing to show; the error box said why.
    int Result = 1;
    if (FMainForm) {
        FMainForm->show();
        // The edit box is to take the keys at once, also where no window manager hands the
        // new window the focus.
        FMainForm->raise();
        FMainForm->activateWindow();
        Result = exec();
        FMainForm->hide();
    }
    // The form's destruction handler stores the host list; its errors are reported and
    // the shutdown goes on.
    FMainForm.reset();
    return Result;
}

void TApplication::Terminate() {
    FTerminated = true;
    // Queued, so that it takes effect once the loop runs even when asked before.
    QMetaObject::invokeMethod(this, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TApplication::HandleException() {
    ReportError(ErrorReport::CurrentMessage());
}

void TApplication::ReportError(const std::optional<std::string>& AMessage) {
    if (AMessage) {
        ShowErrorBox(*AMessage);
    }
}

void TApplication::ShowErrorBox(const std::string& AMessage) {
    const QString Text = QString::fromLocal8Bit(ErrorBoxText(AMessage));
    if (OnErrorBox) {
        OnErrorBox(FTitle, Text);
        return;
    }
    QMessageBox Box(QMessageBox::Critical, FTitle, Text, QMessageBox::Ok, activeWindow());
    Box.exec();
}

bool TApplication::notify(QObject* AReceiver, QEvent* AEvent) {
    try {
        return QApplication::notify(AReceiver, AEvent);
    } catch (...) {
        HandleException();
        return false;
    }
}
