#pragma once

#include "ErrorBox.h"
#include "FileChooser.h"
#include "IdIcmpClient.h"
#include "IdTrivialFTP.h"
#include "OpenDialog.h"
#include "RichEdit.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <string>

class QCloseEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

// The state of a run, carried between the handlers. The probe loop runs while
// StopRequested is false; FirmwareFile is the path last confirmed at Start.
extern bool StopRequested;
extern QString FirmwareFile;

// One pass over the pending window events. Handlers that it dispatches run nested
// inside the caller and return to it.
void ProcessPendingMessages();

// The tool's one window: the router's address, Start and Stop, and the log. Start
// runs the probe loop inside its own handler; the window stays usable because the
// loop passes over the pending events after every probe.
class TForm1 : public QWidget {
    Q_OBJECT

public:
    // Users get the real open dialog and error box; tests answer them instead.
    explicit TForm1(std::unique_ptr<TFileChooser> chooser = std::make_unique<TQtFileChooser>(),
        std::unique_ptr<TErrorBox> errorBox = std::make_unique<TQtErrorBox>());

    // The outer size, border and title bar included.
    static constexpr QSize OuterSize{497, 286};

    TIdIcmpClient ICMP;
    QPushButton* Button1;
    QLineEdit* edtHost;
    TIdTrivialFTP TrivialFTP;
    QPushButton* Button2;
    TOpenDialog OpenFirmware;
    QLabel* Label1;
    QLabel* Label2;
    TRichEdit* lstReplies;
    QLabel* Label3;

    void ICMPReply(TIdIcmpClient& ASender, const TReplyStatus& AReplyStatus);
    // Ends the run and sends FirmwareFile to the router as "firmware.bin". Raises
    // whatever the transfer raises, and then writes none of the closing lines.
    void Upload();
    void TrivialFTPStatus(TIdComponent& axSender, TIdStatus axStatus, const std::string& asStatusText);
    void Button1Click();
    void Button2Click();
    void FormClose();
    void FormCreate();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    template <typename Handler>
    void Dispatch(Handler handler);

    std::unique_ptr<TErrorBox> errorBox_;
    bool shown_ = false;
};
