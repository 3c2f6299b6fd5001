#include "app/PingForm.h"

#include "app/AddressFit.h"
#include "app/Guarded.h"
#include "app/HelpPage.h"
#include "app/HostGrid.h"
#include "app/HostListStore.h"
#include "app/KeyPreview.h"
#include "app/PingFormBoxes.h"
#include "app/PingTarget.h"
#include "app/WindowFont.h"
#include "controls/ImageList.h"
#include "controls/Label.h"
#include "controls/SimpleImage.h"
#include "controls/TransButton.h"
#include "hosts/HostListDocument.h"
#include "net/IdException.h"
#include "net/IdIcmpClient.h"
#include "net/SysInet.h"
#include "resources/Pictures.h"

#include <QAccessible>
#include <QApplication>
#include <QBitmap>
#include <QPainter>
#include <QWindow>
#include <stdexcept>

namespace {

// What the window's echo requests carry: two blanks, then the client's own fill.
const std::string EchoPayload = "  ";

QColor ToQColor(const TRgb& AColour) {
    return QColor(AColour.R, AColour.G, AColour.B);
}

std::string LocalBytes(const QString& AText) {
    return AText.toLocal8Bit().toStdString();
}

QImage Checked(QImage APicture, const char* AName) {
    if (APicture.isNull()) {
        throw std::runtime_error(std::string("Cannot load the picture ") + AName);
    }
    return APicture;
}

} // namespace

TPingForm::TPingForm(TPingFormServices AServices)
    : TShapedWindow(Qt::WindowStaysOnTopHint), FServices(std::move(AServices)) {
    setObjectName(QStringLiteral("PingForm"));
    // The edit box lays out its text in the application's font before it takes the window's.
    // At 1x the window's font serves the edit box as well: as the application's, it spares
    // loading a second font at every start (the hints and the error box show it too).
    if (qFuzzyCompare(devicePixelRatioF(), 1.0)) {
        QApplication::setFont(WindowFont());
    }
    // Before the controls, so that each is made with it.
    setFont(WindowFont());
    move(7, 7);
    setFixedSize(ClientWidth, UnfoldedHeight);

    IpEdit = new TIpEdit(this);
    IpEdit->setObjectName(QStringLiteral("IpEdit"));
    IpEdit->setGeometry(EditBox);
    IpEdit->setFrame(false);
    IpEdit->setText(QStringLiteral("127.0.0.1"));
    IpEdit->setToolTip(QStringLiteral("Enter dns name or IP Address"));
    IpEdit->setAccessibleName(QStringLiteral("Enter dns name or IP Address"));

    StatusImages = std::make_unique<TImageList>(16, 16);
    const QImage Status = Checked(StatusPictures(), "status");
    StatusImages->Add(Status.convertToFormat(QImage::Format_RGB32),
                      QBitmap::fromImage(Status.createAlphaMask()));
    ReplyImage = new TSimpleImage(this);
    ReplyImage->setObjectName(QStringLiteral("ReplyImage"));
    ReplyImage->setGeometry(110, 14, 16, 16);
    ReplyImage->SetImages(StatusImages.get());
    ReplyImage->SetImageIndex(0);

    EchoClient = std::make_unique<TIdIcmpClient>();
    EchoClient->SetReceiveTimeout(1000);
    EchoClient->OnReply = [this](TIdBaseComponent& ASender, const TReplyStatus& AReplyStatus) {
        EchoClientReply(ASender, AReplyStatus);
    };

    FHostList = std::make_unique<THostListDocument>();
    FHostListStore = std::make_unique<THostListStore>(FHostList->List);

    PingLabel = new TLabel(this);
    PingLabel->setObjectName(QStringLiteral("PingLabel"));
    PingLabel->setGeometry(StatusBox);
    PingLabel->SetBold(true);
    QPalette White = PingLabel->palette();
    White.setColor(QPalette::Window, Qt::white);
    PingLabel->setPalette(White);
    PingLabel->SetFontColour(ToQColor(clBlue));
    PingLabel->setText(QStringLiteral("Not pinged"));

    HelpLabel = new TLabel(this);
    HelpLabel->setObjectName(QStringLiteral("HelpLabel"));
    HelpLabel->setGeometry(HelpBox);
    HelpLabel->setPalette(White);
    HelpLabel->SetFontColour(ToQColor(clBlue));
    HelpLabel->SetUnderline(true);
    HelpLabel->setText(QStringLiteral("Help"));
    HelpLabel->setCursor(Qt::PointingHandCursor);

    SetFonts(WindowFont(), devicePixelRatioF());
    connect(IpEdit, &QLineEdit::textChanged, this, [this] { Guarded([this] { IpEditChange(); }); });
    connect(HelpLabel, &TLabel::Click, this, [this] { Guarded([this] { HelpLabelClick(); }); });
    // The window's keys act on their release, whichever of these controls has the focus.
    FPreview = new TKeyPreview(
        this, [this](int AKey, Qt::KeyboardModifiers AShift) { FormKeyUp(AKey, AShift); });
    FPreview->Watch(IpEdit);
    IpEdit->setFocus();
}

TPingForm::~TPingForm() {
    FormDestroy();
    // Before the list it shows goes with the members; the other children go with QWidget.
    delete FGrid;
    FGrid = nullptr;
}

THostGrid* TPingForm::Grid() {
    if (FGrid != nullptr) {
        return FGrid;
    }
    FGrid = new THostGrid(*FHostList, this);
    FGrid->setGeometry(GridBox);
    // The system's colours, not the window's purple key, which must never show in a cell.
    QPalette System = QApplication::palette();
    System.setResolveMask(~QPalette::ResolveMask(0));
    FGrid->setPalette(System);
    FGrid->setFont(FGridFont);
    FGrid->SetTabStop(FGridTabStop);
    setTabOrder(IpEdit, FGrid);
    connect(FGrid, &THostGrid::SelectCell, this,
            [this](const QString& AAddress) { Guarded([&] { GridSelectCell(AAddress); }); });
    FPreview->Watch(FGrid);
    // The grid stands for a native child window: above every drawn control.
    FGrid->raise();
    FGrid->show();
    return FGrid;
}

void TPingForm::ListReset() {
    FHostList->Editor.Reset();
    if (FGrid != nullptr) {
        FGrid->ListReset();
    }
}

void TPingForm::SetGridTabStop(bool AValue) {
    FGridTabStop = AValue;
    if (FGrid != nullptr) {
        FGrid->SetTabStop(AValue);
    }
}

void TPingForm::SetFonts(const QFont& AWindowFont, qreal ARatio) {
    setFont(AWindowFont);
    FFontRatio = ARatio;
    FGridFont = WidgetFont(AWindowFont, ARatio);
    IpEdit->setFont(FGridFont);
    if (FGrid != nullptr) {
        FGrid->setFont(FGridFont);
    }
    // What fits the status box depends on the font and the density.
    FitStatus();
}

void TPingForm::showEvent(QShowEvent* AEvent) {
    QWidget::showEvent(AEvent);
    // The window's screen is known from now on, and may change as it moves.
    if (!FWatchingScreen && windowHandle() != nullptr) {
        FWatchingScreen = true;
        connect(windowHandle(), &QWindow::screenChanged, this,
                [this] { SetFonts(font(), devicePixelRatioF()); });
    }
    if (devicePixelRatioF() != FFontRatio) {
        SetFonts(font(), devicePixelRatioF());
    }
}

void TPingForm::FormCreate() {
    // No double-buffering switch: Qt paints each widget into the window's back buffer.
    InternetManager = std::make_unique<TInternetManager>();
    SetClientHeight(FoldedHeight);
    SetPicture(Checked(BackgroundPicture(), "background").convertToFormat(QImage::Format_RGB32));
    PingButton = MakeButton(8, 24, 142, 24, QStringLiteral("Send a ping (ctrl + P)"),
                            &TPingForm::PingButtonClick);
    ListButton = MakeButton(8, 24, 164, 24, QStringLiteral("Show list (ctrl + E)"),
                            &TPingForm::ListButtonClick);
    ExitButton =
        MakeButton(4, 14, 190, 14, QStringLiteral("Exit (escape)"), &TPingForm::ExitButtonClick);
    // Named as the fields that hold them, so that a test or a tool finds each by its name.
    PingButton->setObjectName(QStringLiteral("PingButton"));
    ListButton->setObjectName(QStringLiteral("ListButton"));
    ExitButton->setObjectName(QStringLiteral("ExitButton"));
    // The edit box and the grid stand for native child windows, above every drawn control;
    // the grid rises as it is made.
    IpEdit->raise();
    // When a step fails the rest is skipped and the grid keeps its tab stop, so that Tab
    // moves into it even folded: then it must be there.
    struct TGridWhileTabStop {
        TPingForm& Form;
        ~TGridWhileTabStop() {
            if (Form.FGridTabStop) {
                Form.Grid();
            }
        }
    } GridWhileTabStop{*this};
    THostListPlace Place = FServices.HostListPlace();
    try {
        FHostListStore->Load(std::move(Place));
    } catch (...) {
        ListReset();
        throw;
    }
    ListReset();
    CheckPreviousInstance();
    SetGridTabStop(false);
}

TTransButton* TPingForm::MakeButton(int ATop, int AHeight, int ALeft, int AWidth,
                                    const QString& AHint, void (TPingForm::*AClick)()) {
    auto* Button = new TTransButton(this);
    Button->setGeometry(ALeft, ATop, AWidth, AHeight);
    Button->SetShowHint(true);
    Button->SetHint(AHint);
    Button->setAccessibleName(AHint);
    Button->OnClick = [this, AClick](QObject*) { Guarded([&] { (this->*AClick)(); }); };
    Button->show();
    return Button;
}

void TPingForm::CheckPreviousInstance() {
    if (FServices.RestorePreviousInstance()) {
        FServices.Terminate();
    }
}

void TPingForm::FormDestroy() {
    if (FDestroyed) {
        return;
    }
    FDestroyed = true;
    Guarded([this] {
        struct TFreeAfterwards {
            TPingForm& Form;
            ~TFreeAfterwards() {
                Form.DropPicture();
                Form.InternetManager.reset();
            }
        } FreeAfterwards{*this};
        FHostListStore->Save();
    });
}

void TPingForm::ShowStatus(const TStatusDisplay& AStatus) {
    FStatus = AStatus;
    PingLabel->SetFontColour(ToQColor(AStatus.Colour));
    FitStatus();
    ReplyImage->SetImageIndex(AStatus.ImageIndex);
    QAccessibleEvent Announce(PingLabel, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&Announce);
}

void TPingForm::FitStatus() {
    QString Line = QString::fromLocal8Bit(FStatus.Text);
    QString Whole;
    // Every IPv4 address fits (FixedTexts), and text without colon groups is never cut: only
    // an IPv6 address is ever shortened, and only its line is measured on the way.
    if (FStatus.Address.find(':') != std::string::npos && !PingLabel->Fits(Line, FFontRatio)) {
        const std::string& Text = FStatus.Text;
        const QString Before = QString::fromLocal8Bit(Text.substr(0, FStatus.AddressAt));
        const QString After =
            QString::fromLocal8Bit(Text.substr(FStatus.AddressAt + FStatus.Address.size()));
        const QString Address = QString::fromLocal8Bit(FStatus.Address);
        const QString Shown = FitAddress(
            Address,
            [&](const QString& AShown) {
                return PingLabel->Fits(Before + AShown + After, FFontRatio);
            },
            AddressEllipsis(PingLabel->font(), PingLabel->Bold()));
        if (Shown != Address) {
            Line = Before + Shown + After;
            Whole = Address;
        }
    }
    PingLabel->setText(Line);
    if (PingLabel->toolTip() != Whole) {
        PingLabel->setToolTip(Whole);
        PingLabel->setAccessibleDescription(Whole);
        QAccessibleEvent Described(PingLabel, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&Described);
    }
}

void TPingForm::PingButtonClick() {
    ShowStatus(NotPingedDisplay());
    const std::string Text = LocalBytes(IpEdit->text());
    const std::optional<std::string> Target = PingTarget(Text, *InternetManager, FHostList->List);
    if (!Target) {
        IpEdit->SetBackground(ToQColor(clRed));
        ShowStatus(NameNotFoundDisplay());
        return;
    }
    try {
        EchoClient->SetHost(*Target);
        EchoClient->PingOnce(EchoPayload, 0);
    } catch (const Exception& E) {
        ShowStatus(ErrorDisplay(E.Message()));
    } catch (const std::exception& E) {
        ShowStatus(ErrorDisplay(E.what()));
    }
}

void TPingForm::EchoClientReply(TIdBaseComponent&, const TReplyStatus& AReplyStatus) {
    ShowStatus(ReplyDisplay(AReplyStatus.Kind, EchoClient->Host()));
    IpEdit->selectAll();
}

void TPingForm::IpEditChange() {
    IpEdit->SetBackground(ToQColor(clWhite));
    ShowStatus(NotPingedDisplay());
}

void TPingForm::ListButtonClick() {
    if (height() == FoldedHeight) {
        // Made before the window grows: the shape comes from the grown window's picture.
        THostGrid* View = Grid();
        SetClientHeight(UnfoldedHeight);
        View->setFocus();
        SetGridTabStop(true);
    } else {
        SetClientHeight(FoldedHeight);
        IpEdit->setFocus();
        SetGridTabStop(false);
    }
}

void TPingForm::ExitButtonClick() {
    close();
}

void TPingForm::HelpLabelClick() {
    FServices.OpenHelp(HelpPagePath());
}

void TPingForm::GridSelectCell(const QString& AAddress) {
    if (IpEdit->text() != AAddress) {
        IpEdit->setText(AAddress);
    }
}

void TPingForm::FormKeyUp(int AKey, Qt::KeyboardModifiers AShift) {
    const bool Ctrl = AShift.testFlag(Qt::ControlModifier);
    if (Ctrl && AKey == Qt::Key_E) {
        ListButtonClick();
    }
    // The ping button's hint promises Ctrl+P: it pings.
    if (Ctrl && AKey == Qt::Key_P) {
        PingButtonClick();
    }
    if (AKey == Qt::Key_Escape && IpEdit->hasFocus()) {
        close();
    }
    if (AKey == Qt::Key_Return || AKey == Qt::Key_Enter) {
        PingButtonClick();
    }
}

bool TPingForm::MovesWindow(QPoint APos) const {
    // The background and the status line move the window; every other control takes its
    // own presses.
    QWidget* Child = childAt(APos);
    return Child == nullptr || Child == PingLabel;
}

void TPingForm::SetClientHeight(int AHeight) {
    // The top left corner stays: the window grows and shrinks at its bottom edge.
    setFixedSize(ClientWidth, AHeight);
}

void TPingForm::PaintSolidParts(QPainter& ACanvas) const {
    // The grid stands for a native child window: solid where the picture has none.
    if (FGrid != nullptr && FGrid->geometry().top() < height()) {
        ACanvas.fillRect(FGrid->geometry(), Qt::white);
    }
}
