#include "Unit1.h"

#include "DesktopCentre.h"
#include "ErrorMessage.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

bool StopRequested = false;
QString FirmwareFile;

void ProcessPendingMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

namespace {

// The IP time-to-live with which a router's boot loader answers in rescue mode;
// its normal firmware, like most systems, answers with another.
constexpr int RescueModeTtl = 100;

// A sans-serif face with metrics close to those the layout was drawn for, and with
// Cyrillic for the buttons and the log.
const QString FontFamily = QStringLiteral("Liberation Sans");

// Font heights are character heights in pixels, like the positions at 96 dpi; the
// toolkit scales both together on other screens.
QFont WindowFont(int pixelHeight, bool bold)
{
    QFont font(FontFamily);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

// Until a window manager has framed the window its frame is unknown. A common frame,
// 4-pixel borders under a 30-pixel title bar, leaves the client area that the
// controls were laid out for.
constexpr QMargins AssumedFrame{4, 30, 4, 4};

QLabel* MakeLabel(QWidget* parent, const QString& text, QPoint origin, const QFont& font)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->move(origin);
    label->adjustSize();
    return label;
}

QPushButton* MakeButton(QWidget* parent, const QString& text, QRect geometry)
{
    auto* button = new QPushButton(text, parent);
    button->setGeometry(geometry);
    return button;
}

} // namespace

template <typename Handler>
void TForm1::Dispatch(Handler handler)
{
    // No error may reach the toolkit: it is shown, and the application goes on.
    const auto show = [this](const std::string& message) {
        const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        errorBox_->Show(this, ApplicationTitle(program), ErrorBoxText(message));
    };
    try {
        handler();
    } catch (const Exception& error) {
        show(error.Message());
    } catch (const std::exception& error) {
        show(error.what());
    }
}

TForm1::TForm1(std::unique_ptr<TFileChooser> chooser, std::unique_ptr<TErrorBox> errorBox)
    : OpenFirmware(std::move(chooser))
    , errorBox_(std::move(errorBox))
{
    setWindowTitle(QStringLiteral("Moxlen Router Firmware Updater - by Tevik"));
    setWindowIcon(QIcon(QStringLiteral(":/moxlen-updater.svg")));
    setFont(WindowFont(11, false));

    Label1 = MakeLabel(this, QStringLiteral("Router default IP:"), {16, 16}, font());
    Label2 = MakeLabel(this, QStringLiteral("www.tevik.example"), {336, 9}, WindowFont(15, true));
    Label3 = MakeLabel(this, QStringLiteral("V 1.0"), {448, 232}, WindowFont(13, true));
    Button1 = MakeButton(this, QStringLiteral("Запустить"), {88, 216, 75, 25});
    edtHost = new QLineEdit(QStringLiteral("192.168.0.1"), this);
    edtHost->setGeometry(104, 8, 121, 21);
    Button2 = MakeButton(this, QStringLiteral("Остановить"), {320, 216, 75, 25});
    lstReplies = new TRichEdit(this);
    lstReplies->setGeometry(8, 40, 473, 161);
    lstReplies->setFont(WindowFont(15, true));

    setTabOrder(Button1, edtHost);
    setTabOrder(edtHost, Button2);
    setTabOrder(Button2, lstReplies);
    Button1->setFocus();

    ICMP.SetReceiveTimeout(300);
    ICMP.OnReply = [this](TIdIcmpClient& sender, const TReplyStatus& status) { ICMPReply(sender, status); };

    TrivialFTP.SetPort(69);
    TrivialFTP.SetReceiveTimeout(4000);
    TrivialFTP.OnStatus = [this](TIdComponent& sender, TIdStatus status, const std::string& text) {
        TrivialFTPStatus(sender, status, text);
    };

    OpenFirmware.Filter = QStringLiteral("*.trx|*.trx|*.bin|*.bin");
    OpenFirmware.FilterIndex = 1;

    connect(Button1, &QPushButton::clicked, this, [this] { Dispatch([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { Dispatch([this] { Button2Click(); }); });

    Dispatch([this] { FormCreate(); });
}

void TForm1::FormCreate()
{
    // A single fixed border and a close box only: the window can be moved, but not
    // resized, minimised or maximised.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(OuterSize.shrunkBy(AssumedFrame));
    // The TFTP client's socket is opened with the window, in the network namespace
    // the window is created in; each transfer closes it and the next opens another.
    TrivialFTP.SetActive(true);
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    // The outer size is what counts; a platform that knows its frame already gets the
    // client area fitted to it.
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    if (!frame.isNull())
        setFixedSize(OuterSize.shrunkBy(frame));
    move(DesktopCentre(screen()->virtualSize(), OuterSize));
}

void TForm1::Button1Click()
{
    Button1->setEnabled(false);
    StopRequested = false;
    ICMP.SetHost(edtHost->text().toStdString());
    ICMP.SetOutgoingTtl(128);
    if (OpenFirmware.Execute(this)) {
        lstReplies->SetSelectionColour(clRed);
        lstReplies->AddLine(QStringLiteral("Отключите питание от роутера и подключите его заново."));
        lstReplies->AddLine(QString());
        lstReplies->ScrollToCaret();
        FirmwareFile = OpenFirmware.FileName;
        // The flag is read before the first probe and after every pass, never between
        // a probe and its pass: a Stop clicked during a probe is dispatched first.
        while (!StopRequested) {
            ICMP.ProbeOnce();
            ProcessPendingMessages();
        }
    } else {
        lstReplies->AddLine(QStringLiteral("Файл не выбран."));
    }
    Button1->setEnabled(true);
}

void TForm1::Button2Click()
{
    Button1->setEnabled(true);
    ProcessPendingMessages();
    StopRequested = true;
}

void TForm1::FormClose() { StopRequested = true; }

void TForm1::ICMPReply(TIdIcmpClient&, const TReplyStatus& AReplyStatus)
{
    // The progress mark: one black ">" for every probe, answered or not.
    lstReplies->SetSelectionColour(clBlack);
    lstReplies->InsertAtCaret(QStringLiteral(">"));
    lstReplies->ScrollToCaret();

    // Only the time-to-live counts: whatever the kind or the sender of the ICMP
    // message, TTL 100 means the rescue mode is up. An unanswered probe reads 0.
    if (AReplyStatus.Ttl == RescueModeTtl)
        Upload();
}

void TForm1::Upload()
{
    // The flag comes first, so that the run ends after this probe whatever happens.
    StopRequested = true;
    lstReplies->AddLine(QStringLiteral("Загрузка прошивки в роутер."));
    lstReplies->ScrollToCaret();
    // The window shows the line before the transfer blocks it.
    ProcessPendingMessages();

    // The address as it reads now: the user may have corrected it during the run.
    TrivialFTP.SetHost(edtHost->text().toStdString());
    TrivialFTP.UploadFile(QFile::encodeName(FirmwareFile).toStdString(), "firmware.bin");

    lstReplies->SetSelectionColour(clBlack);
    lstReplies->AddLine(QStringLiteral("Обновление роутера..."));
    lstReplies->ScrollToCaret();
    lstReplies->SetSelectionColour(clRed);
    lstReplies->AddLine(QStringLiteral("1. Во время обновления не отключайте питание от роутера."));
    lstReplies->AddLine(QStringLiteral("2. После обновления роутер САМ перегрузится - обычно через 2 минуты."));
    lstReplies->ScrollToCaret();
}

void TForm1::TrivialFTPStatus(TIdComponent&, TIdStatus, const std::string& asStatusText)
{
    lstReplies->AddLine(QString::fromStdString(asStatusText));
}

void TForm1::closeEvent(QCloseEvent* event)
{
    Dispatch([this] { FormClose(); });
    // Closing the main window ends the program, but only once the running handler
    // (the probe loop, say) has returned to the event loop; the window stays on
    // screen until then. Leaving the event loop closes no window, so nothing here
    // runs twice.
    event->ignore();
    QCoreApplication::exit(0);
}
