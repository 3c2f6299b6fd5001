#pragma once
// The program's one window: a borderless, always-on-top panel shaped by its picture, where
// the user types a host, pings it once and reads the outcome.
#include "app/IpEdit.h"
#include "app/ShapedWindow.h"
#include "app/StatusDisplay.h"
#include "app/WindowFont.h"

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

class QKeyEvent;
class TIdBaseComponent;
class TIdIcmpClient;
class TImageList;
class TInternetManager;
class THostGrid;
struct THostListDocument;
class TKeyPreview;
class THostListStore;
struct THostListPlace;
class TLabel;
class TSimpleImage;
class TTransButton;

// What the window takes from outside it, given at construction; tests give their own.
struct TPingFormServices {
    // Where the host list is read from at start and stored at the end, and the list it starts
    // from while the user has none of their own.
    std::function<THostListPlace()> HostListPlace;
    // Brings back the window of a copy of the program that already runs; true when there was
    // one, and this copy then ends.
    std::function<bool()> RestorePreviousInstance;
    // Opens the help page at APath without waiting. Nothing is shown when it fails.
    std::function<void(const QString& APath)> OpenHelp;
    // Ends the program once its event loop runs; the running handler finishes first.
    std::function<void()> Terminate;
};

class TPingForm : public TShapedWindow {
    Q_OBJECT

  public:
    static constexpr int ClientWidth = 210;
    static constexpr int FoldedHeight = 60;
    static constexpr int UnfoldedHeight = 240;

    explicit TPingForm(TPingFormServices AServices);
    ~TPingForm() override;

    // The start-up handler, run once by the application after the window was made.
    void FormCreate();
    // The destruction handler: stores the host list. Run once, before the controls go.
    void FormDestroy();

    void PingButtonClick();
    void ListButtonClick();
    void ExitButtonClick();
    void HelpLabelClick();
    void IpEditChange();
    void GridSelectCell(const QString& AAddress);
    void EchoClientReply(TIdBaseComponent& ASender, const TReplyStatus& AReplyStatus);
    // Runs on every key release in any control of the window, before the control's own
    // handling; AShift holds the modifiers still down.
    void FormKeyUp(int AKey, Qt::KeyboardModifiers AShift);

    // The window's font, and the density of the screen that the edit box and the grid draw on.
    void SetFonts(const QFont& AWindowFont, qreal ARatio);

    // The host list grid, made the first time it is wanted: the window unfolding, or a Tab
    // that may move into it. A folded window starts without it, which saves most of the
    // time from the window's creation to its first frame.
    THostGrid* Grid();

    // The window's echo client: the sender its reply handler is handed.
    std::unique_ptr<TIdIcmpClient> EchoClient;

  protected:
    void PaintSolidParts(QPainter& ACanvas) const override;
    bool MovesWindow(QPoint APos) const override;
    void showEvent(QShowEvent* AEvent) override;

  private:
    // The window's parts, named as the controls they hold; each widget bears its field's name
    // as its object name.
    TIpEdit* IpEdit;
    TSimpleImage* ReplyImage;
    std::unique_ptr<TImageList> StatusImages;
    TLabel* PingLabel;
    TLabel* HelpLabel;
    std::unique_ptr<TInternetManager> InternetManager;
    TTransButton* PingButton = nullptr;
    TTransButton* ListButton = nullptr;
    TTransButton* ExitButton = nullptr;

    void CheckPreviousInstance();
    void ShowStatus(const TStatusDisplay& AStatus);
    // The status line as the box holds it at the window's density: an address too long for
    // the box shortened in its middle, the whole one in the tooltip and the description.
    void FitStatus();
    void SetClientHeight(int AHeight);
    TTransButton* MakeButton(int ATop, int AHeight, int ALeft, int AWidth, const QString& AHint,
                             void (TPingForm::*AClick)());

    void ListReset();
    void SetGridTabStop(bool AValue);

    TStatusDisplay FStatus = NotPingedDisplay();
    TPingFormServices FServices;
    std::unique_ptr<THostListDocument> FHostList;
    std::unique_ptr<THostListStore> FHostListStore;
    THostGrid* FGrid = nullptr;
    bool FGridTabStop = true;
    QFont FGridFont;
    TKeyPreview* FPreview = nullptr;
    qreal FFontRatio = 0;
    bool FWatchingScreen = false;
    bool FDestroyed = false;
};
