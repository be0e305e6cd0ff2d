#pragma once

// The frameless main window. Its page logic lives in src/gui/pages/ (one file per
// page) and its serial-port slots in src/gui/shell/linkslots.cpp; all of them
// are methods of this class. The port itself belongs to a SerialLink.

#include "calibration/calibrationplan.h"
#include "model/linkstate.h"
#include "model/messagelog.h"
#include "model/pagestate.h"
#include "model/registermirror.h"

#include <QByteArray>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include <functional>
#include <optional>

class QComboBox;
class QLineEdit;
class QMenu;
class QTimer;
class CompareWindow;
class SerialLink;
class MessageWindow;
class TrafficMonitor;
class TrendWindow;
class CalibrationWizard;
class modbusThread;
struct CalibrationChannelWidgets;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int RegisterRows = 25;

    // The user variant sets an instrument up; the factory variant also reaches
    // the calibration and register-configuration pages.
    enum class Variant
    {
        User,
        Factory,
    };
    // The variant KV3PD_FACTORY asks for ("1": factory), else the user variant.
    explicit MainWindow(QWidget *parent = nullptr);
    explicit MainWindow(Variant variant, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Registers the style sheet and images of the static GUI library.
    static void initResources();
    // Loads an application style sheet; false (and the platform look) when the
    // resource cannot be opened.
    static bool loadStyleSheet(const QString &path = QStringLiteral(":/qss.css"));
    // "Jun 23 2021" / "Jun  3 2021" (the compiler's __DATE__) as yyyy-MM-dd.
    static QString buildDateText(const QString &compilerDate);

    // Asks for a backup file name; tests replace it so no dialog is shown.
    using FileNameProvider = std::function<QString(bool save, const QString &startFolder)>;
    void setFileNameProvider(FileNameProvider provider);
    // Where the last backup folder is remembered.
    void setSettingsPath(const QString &path);

    static Variant variantFromEnvironment();
    // Chooses a port (added to the list when the system does not list it) and
    // types an address into the address box, so that 连接 is all that is left.
    void preselect(const QString &port, int address);
    Variant variant() const { return windowVariant; }

    modbusThread *modbusWorker() const { return worker; }
    SerialLink *serialLink() const { return serialPort; }

    // What the window last applied to its serial line (parity as requested:
    // some lines cannot carry it).
    struct LinkSettings
    {
        QString portName;
        quint32 baudRate;
        quint8 parityIndex;
        quint8 deviceAddress;
        bool portOpen;
        qint32 portBaudRate;
    };
    LinkSettings linkSettings() const;

    void showState(const QString &text);
    void showWarning(const QString &text);
    // Every status text and warning shown, newest last; a click on the status
    // line opens them in a window.
    const MessageLog &messages() const { return messageLog; }
    void showMessages();

    // Display and collect operations of the pages; each holds the mirror lock
    // for its whole run.
    void showMeterInfo();
    void showLiveValues();
    void showUserParam();
    void getUserParam();
    void showMeterParam();
    void getMeterParam();
    void showPressureParam();
    void getPressureParam();
    void showTempParam();
    void getTempParam();
    void showYaliEcjzData();
    void getYaliEcjzData();
    void showWenduEcjzData();
    void getWenduEcjzData();
    void showCustomReg();
    void getCustomReg();
    // Every page from the mirror, in the order a full read shows them.
    void showAllPages();
    // The same without the meter information panel.
    void showEditablePages();

    // What each page holds (read, loaded from a backup, nothing writable).
    const PageStates &pageStates() const { return pages; }
    // The connected meter's number, once it has told it since it last answered.
    std::optional<quint32> connectedMeter() const { return link.meter(); }
    // Why a write cannot be sent, in words for the user.
    static QString refusalText(WriteRefusal refusal);

signals:
    void sendMessageToModbusThread(QString Message);

public slots:
    void readMySerialPort();
    void writeMySerialPort(const QByteArray &frame);
    void receiveMessageFromModbusThread(QString Message);
    void tickTimerSlot();
    void beifenshujuSlot();
    void duqubeifenshujuSlot();

private slots:
    void on_pushButton_monitor_clicked();
    void on_pushButton_trend_clicked();
    void on_pushButton_wizard_clicked();
    void on_pushButton_min_clicked();
    void on_pushButton_close_clicked();
    void on_pushButton_chazhaoduankou_clicked();
    void on_pushButton_lianjie_clicked();
    void on_pushButton_sousuo_clicked();
    void on_pushButton_yibiaoxinxi_clicked();
    void on_pushButton_gongchangjiaozhun_clicked();
    void on_pushButton_duquyibiaocanshu_clicked();
    void on_pushButton_duquyalishuju_clicked();
    void on_pushButton_duquwendushuju_clicked();
    void on_pushButton_xieruyalishuju_clicked();
    void on_pushButton_xieruwendushuju_clicked();
    void on_pushButton_junfenyali_clicked();
    void on_pushButton_junfenwendu_clicked();
    void on_pushButton_FXXXZ_yaliCJ1_clicked();
    void on_pushButton_FXXXZ_yaliCJ2_clicked();
    void on_pushButton_FXXXZ_yaliCJ3_clicked();
    void on_pushButton_FXXXZ_yaliCJ4_clicked();
    void on_pushButton_FXXXZ_yaliCJ5_clicked();
    void on_pushButton_FXXXZ_wenduCJ1_clicked();
    void on_pushButton_FXXXZ_wenduCJ2_clicked();
    void on_pushButton_FXXXZ_wenduCJ3_clicked();
    void on_pushButton_FXXXZ_wenduCJ4_clicked();
    void on_pushButton_FXXXZ_wenduCJ5_clicked();
    void on_lineEdit_fxxxz_wendubiaozhunzhi1_textChanged(const QString &arg1);
    void on_lineEdit_fxxxz_wendubiaozhunzhi2_textChanged(const QString &arg1);
    void on_lineEdit_fxxxz_wendubiaozhunzhi3_textChanged(const QString &arg1);
    void on_lineEdit_fxxxz_wendubiaozhunzhi4_textChanged(const QString &arg1);
    void on_lineEdit_fxxxz_wendubiaozhunzhi5_textChanged(const QString &arg1);
    void on_comboBox_yalidianshu_currentTextChanged(const QString &arg1);
    void on_comboBox_wendudianshu_currentTextChanged(const QString &arg1);
    void on_pushButton_duqushezhi_clicked();
    void on_pushButton_xierushezhi_clicked();
    void on_pushButton_xieruyibiaocanshu_clicked();
    void on_pushButton_duquyibiaoxinxi_clicked();
    void on_pushButton_duquyaliercijiaozhun_clicked();
    void on_pushButton_xieruyaliercijiaozhun_clicked();
    void on_pushButton_duquwenduercijiaozhun_clicked();
    void on_pushButton_xieruwenduercijiaozhun_clicked();
    void on_pushButton_duququanbushuju_clicked();
    void on_pushButton_xieruquanbushuju_clicked();
    void on_pushButton_gongchangbaocun_clicked();
    void on_pushButton_huifuchuchang_clicked();
    void on_pushButton_ecjz_yaliCJ1_clicked();
    void on_pushButton_ecjz_yaliCJ2_clicked();
    void on_pushButton_ecjz_wenduCJ1_clicked();
    void on_pushButton_ecjz_wenduCJ2_clicked();
    void on_pushButton_qingling_clicked();
    void on_pushButton_qingchuqingling_clicked();
    void on_pushButton_yibiaobianhaojiayi_clicked();
    void on_pushButton_customreg_clicked();
    void on_pushButton_gongchangjiaozhun_2_clicked();
    void on_pushButton_duqucustomreg_clicked();
    void on_pushButton_xierucustomreg_clicked();
    void on_comboBox_yibiaoleixing_currentTextChanged(const QString &arg1);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    // Serial link (linkslots.cpp).
    void setUpSerialLink();
    bool openSerialPort();
    void applyParity(int index);
    void applyLineTiming(quint32 rate, int parity);
    bool connectToChosenAddress();
    void reapplyLinkAfterSave();
    void onPortLost();
    void onPortReopened();
    void userTakesOverLink();
    // Sees every reply first; true when it has handled it (replies while the
    // port is lost, a poll whose measured values failed).
    bool replyForLink(const QString &Message);
    void markLiveValuesStale(bool stale);
    QString connectionText(bool withAddress) const;
    QString searchingText() const;
    // The connection part of the status line; a port path too long for it is
    // shortened in the middle, and the tool tip holds the whole line.
    void setConnectionLine(const QString &text);

    // --- calibration, secondary, read/write all and backup pages (helpers may be added here)
    // Multi-point and secondary calibration helpers (pages).
    bool prepareCalibrationWrite(bool pressure);
    bool writeChannelCalibration(bool pressure);
    // The calibration wizard's view of a channel's page, and its adjustment
    // written into the page and sent as the page's own write does.
    ChannelPage calibrationPage(CalibrationChannel channel);
    bool writeWizardCalibration(CalibrationChannel channel, const QVector<double> &standard,
                                const QVector<double> &collected);
    void evenDivisionPressure();
    void evenDivisionTemperature();
    void collectAdcInto(bool pressure, int point);
    void collectEcjzInto(bool pressure, int point);
    void updatePointsInUse(bool pressure, const QString &text);
    void updateResistanceToolTip(int point, const QString &text);
    bool prepareSecondaryWrite(bool pressure);
    void showInvalidPointsRefusal();

    // --- measurement, user settings, meter parameter and register configuration pages
    // (helpers may be added here)
    // The backup file's name, from the dialog or the test's provider.
    QString askBackupFileName(bool save, const QString &startFolder);
    void openCompareWindow();

    // Register configuration rows.
    void showCustomRegRow(QComboBox *combo, QLineEdit *valueEdit, quint16 value);
    quint16 getCustomRegRow(QComboBox *combo, QLineEdit *valueEdit, quint16 current);

    void showUnitLabels();
    void logMessage(MessageLog::Kind kind, const QString &text);

    // Device commands of the pages. Not sent while the instrument does not
    // answer: the user is told instead of the click vanishing.
    bool sendDeviceCommand(const QString &command);
    // Holds the block, lets prepare collect and check it, and sends the write;
    // a refusal (prepare false, or a field that is not a number) sends nothing
    // and leaves the block as it was.
    bool startWrite(const QString &command, const RegisterBlock &block,
                    const std::function<bool()> &prepare);
    // Shows the refusal for the first field a collect could not read.
    bool refuseInvalidField();
    bool refuseInvalidAddress();
    bool collectAllPages();
    bool prepareWriteAll();
    // Write all for another meter's backup: only the pages that are not the
    // meter's own identity and calibration.
    bool prepareCloneAll();
    // True, with the reason shown, when the write may not be sent: the meter
    // is not connected or not identified, or the page's data is not its.
    bool refuseWrite(const QString &command);
    WriteRefusal writeRefusal(const QString &command) const;
    // A reply that tells the meter number, while the meter answering has not.
    struct Identification
    {
        bool identified = false;
        bool quiet = false;      // the window's own read after a connect
        bool firstMeter = false; // the first meter since the user chose a connection
        bool fromReadAll = false;
        quint32 number = 0;
        std::optional<quint32> before; // the other meter that answered before
    };
    Identification identifyMeter(const QString &message);
    void meterIdentified(const Identification &id);
    void requestIdentity();
    void warnIfForeignBackup();
    void followRenumbering(const QString &message);
    void warnDroppedWrites(const QString &argument);
    void trackPageReply(const QString &message);
    void updateWriteButtons();
    void followLinkSettings(const QString &argument);
    void endProgress();
    // The 100 ms tick runs only while a status text or the progress bar has to age.
    void startTicking();
    void closeIdlePort();
    // The value a register row's edit holds for the source code; *valid
    // false when a number does not fit the register.
    quint16 rowValue(int code, const QLineEdit *valueEdit, quint16 current, bool *valid) const;
    void customRowSourceChanged(int row);

    Ui::MainWindow *ui;
    Variant windowVariant = Variant::User;
    qint32 pressX = 0;
    qint32 pressY = 0;
    bool dragging = false;
    modbusThread *worker = nullptr;
    // The window's serial port, kept under its old name; the link owns the QSerialPort.
    SerialLink *serialPort = nullptr;
    QTimer *guiTickTimer = nullptr;
    quint8 stateCountdown = 0;
    quint8 progressHideCountdown = 0;
    QMenu *backupMenu = nullptr;
    QComboBox *regNameCombos[RegisterRows] = {};
    QLineEdit *regAddrEdits[RegisterRows] = {};
    QLineEdit *regDataEdits[RegisterRows] = {};

    quint16 tickCounter = 0;
    bool progressEnded = false;

    PageStates pages;
    ShownValues shown;
    // Caption of the first field the running collect could not read.
    QString invalidField;
    LinkState link;
    // Source code each register row's value is shown for.
    int customRowCodes[RegisterRows] = {};
    bool showingCustomReg = false;
    FileNameProvider fileNameProvider;
    // Opened on demand from the title bar; closed and deleted with the window.
    QPointer<TrafficMonitor> trafficMonitor;
    QPointer<TrendWindow> trendWindow;
    QPointer<CalibrationWizard> calibrationWizard;
    MessageLog messageLog;
    QPointer<MessageWindow> messageWindow;
    QPointer<CompareWindow> compareWindow;
    QString settingsPath = QStringLiteral("./KV-3PD_setting.ini");
};
