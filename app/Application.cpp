#include "app/Application.h"

#include "app/HeldKeys.h"
#include "app/PingForm.h"
#include "app/StatusDisplay.h"
#include "net/IdException.h"
#include "resources/Pictures.h"

#include <QIcon>
#include <QMessageBox>
#include <QMetaObject>
#include <QPixmap>

TApplication::TApplication(int& AArgc, char** AArgv) : QApplication(AArgc, AArgv) {
    // The task bar's button and the window switcher show the program icon.
    setWindowIcon(QIcon(QPixmap::fromImage(ProgramIcon())));
    // Where it cannot be had, the window still skips the releases its toolkit marks as repeats.
    AskForOneReleasePerHeldKey();
}

TApplication::~TApplication() = default;

TApplication* TApplication::Instance() {
    return static_cast<TApplication*>(QCoreApplication::instance());
}

void TApplication::SetTitle(const QString& AValue) {
    FTitle = AValue;
    if (FMainForm) {
        FMainForm->setWindowTitle(AValue);
    }
}

void TApplication::CreateForm() {
    try {
        FMainForm = std::make_unique<TPingForm>();
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
    try {
        throw;
    } catch (const EIdSilentException&) {
        // Silent by design: the operation is over and nothing needs saying.
    } catch (const Exception& E) {
        ShowErrorBox(E.Message());
    } catch (const std::exception& E) {
        ShowErrorBox(E.what());
    } catch (...) {
        ShowErrorBox("Unknown error");
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
