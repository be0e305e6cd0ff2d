#include "shell/mainwindow.h"

#include "compare/comparewindow.h"
#include "link/seriallink.h"
#include "model/codetables.h"
#include "monitor/trafficmonitor.h"
#include "shell/dialog_warning.h"
#include "shell/logging.h"
#include "shell/messagewindow.h"
#include "shell/titlebardrag.h"
#include "trend/trendwindow.h"
#include "ui_mainwindow.h"
#include "wizard/calibrationwizard.h"
#include "worker/modbusthread.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QEvent>
#include <QFile>
#include <QIntValidator>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QTimer>

Q_LOGGING_CATEGORY(lcWindow, "kv3pd.window", QtInfoMsg)

namespace {

// Row widgets sit flat inside their table cells.
const char *const rowComboStyle =
    "QComboBox{border-radius:0px;padding:1px 3px 1px 3px;border:0px solid rgb(0, 150, 255);}"
    "QComboBox::drop-down{subcontrol-origin:padding;subcontrol-position:top right;width:15px;"
    "border-left:0px solid rgb(0, 150, 255);border-top-right-radius:3px;"
    "border-bottom-right-radius:3px;}";
const char *const rowLineEditStyle =
    "QLineEdit{border:0px;border-radius:0px;background:rgb(255,255,255);"
    "selection-background-color:rgb(0, 150, 255);}";

} // namespace

MainWindow::MainWindow(QWidget *parent) : MainWindow(variantFromEnvironment(), parent) {}

MainWindow::MainWindow(Variant variant, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), windowVariant(variant)
{
    ui->setupUi(this);
    // Under the program's 9 pt face the pages ask for a few pixels more than the
    // form's 646; the form's size wins and the layouts give up the difference.
    setMinimumSize(size());

    setWindowFlags(Qt::FramelessWindowHint);
    setAttribute(Qt::WA_MouseTracking);

    // The resources live in a static library; nothing else would pull them in.
    initResources();
    loadStyleSheet();

    // The form is the factory variant; the user variant has its own title and
    // no way to the factory pages.
    if (windowVariant == Variant::User) {
        ui->label_mainTitle->setText(tr("KV-3PD用户调试软件V0.5"));
        ui->pushButton_gongchangjiaozhun->close();
        ui->pushButton_wizard->close();
    }
    setWindowTitle(ui->label_mainTitle->text());

    ui->label_makeDate->setText(buildDateText(QStringLiteral(__DATE__)));
    setWindowTitle(ui->label_mainTitle->text());

    // The form cannot place widgets into table cells; do it here.
    ui->tableWidget_yali_ECJZ->setCellWidget(1, 1, ui->lineEdit_ecjz_yalibiaozhunzhi1);
    ui->tableWidget_yali_ECJZ->setCellWidget(1, 2, ui->lineEdit_ecjz_yalibiaozhunzhi2);
    ui->tableWidget_yali_ECJZ->setCellWidget(2, 1, ui->lineEdit_ecjz_yalicaijizhi1);
    ui->tableWidget_yali_ECJZ->setCellWidget(2, 2, ui->lineEdit_ecjz_yalicaijizhi2);
    ui->tableWidget_yali_ECJZ->setCellWidget(3, 1, ui->pushButton_ecjz_yaliCJ1);
    ui->tableWidget_yali_ECJZ->setCellWidget(3, 2, ui->pushButton_ecjz_yaliCJ2);
    ui->tableWidget_wendu_ECJZ->setCellWidget(1, 1, ui->lineEdit_ecjz_wendubiaozhunzhi1);
    ui->tableWidget_wendu_ECJZ->setCellWidget(1, 2, ui->lineEdit_ecjz_wendubiaozhunzhi2);
    ui->tableWidget_wendu_ECJZ->setCellWidget(2, 1, ui->lineEdit_ecjz_wenducaijizhi1);
    ui->tableWidget_wendu_ECJZ->setCellWidget(2, 2, ui->lineEdit_ecjz_wenducaijizhi2);
    ui->tableWidget_wendu_ECJZ->setCellWidget(3, 1, ui->pushButton_ecjz_wenduCJ1);
    ui->tableWidget_wendu_ECJZ->setCellWidget(3, 2, ui->pushButton_ecjz_wenduCJ2);

    QLineEdit *yaliStd[] = {
        ui->lineEdit_fxxxz_yalibiaozhunzhi1, ui->lineEdit_fxxxz_yalibiaozhunzhi2,
        ui->lineEdit_fxxxz_yalibiaozhunzhi3, ui->lineEdit_fxxxz_yalibiaozhunzhi4,
        ui->lineEdit_fxxxz_yalibiaozhunzhi5};
    QLineEdit *yaliCap[] = {ui->lineEdit_fxxxz_yalicaijizhi1, ui->lineEdit_fxxxz_yalicaijizhi2,
                            ui->lineEdit_fxxxz_yalicaijizhi3, ui->lineEdit_fxxxz_yalicaijizhi4,
                            ui->lineEdit_fxxxz_yalicaijizhi5};
    QPushButton *yaliCj[] = {ui->pushButton_FXXXZ_yaliCJ1, ui->pushButton_FXXXZ_yaliCJ2,
                             ui->pushButton_FXXXZ_yaliCJ3, ui->pushButton_FXXXZ_yaliCJ4,
                             ui->pushButton_FXXXZ_yaliCJ5};
    QLineEdit *wenduStd[] = {
        ui->lineEdit_fxxxz_wendubiaozhunzhi1, ui->lineEdit_fxxxz_wendubiaozhunzhi2,
        ui->lineEdit_fxxxz_wendubiaozhunzhi3, ui->lineEdit_fxxxz_wendubiaozhunzhi4,
        ui->lineEdit_fxxxz_wendubiaozhunzhi5};
    QLineEdit *wenduCap[] = {ui->lineEdit_fxxxz_wenducaijizhi1, ui->lineEdit_fxxxz_wenducaijizhi2,
                             ui->lineEdit_fxxxz_wenducaijizhi3, ui->lineEdit_fxxxz_wenducaijizhi4,
                             ui->lineEdit_fxxxz_wenducaijizhi5};
    QPushButton *wenduCj[] = {ui->pushButton_FXXXZ_wenduCJ1, ui->pushButton_FXXXZ_wenduCJ2,
                              ui->pushButton_FXXXZ_wenduCJ3, ui->pushButton_FXXXZ_wenduCJ4,
                              ui->pushButton_FXXXZ_wenduCJ5};
    for (int k = 0; k < 5; ++k) {
        ui->tableWidget_FXXXZ_yali->setCellWidget(1, k + 1, yaliStd[k]);
        ui->tableWidget_FXXXZ_yali->setCellWidget(2, k + 1, yaliCap[k]);
        ui->tableWidget_FXXXZ_yali->setCellWidget(3, k + 1, yaliCj[k]);
        ui->tableWidget_FXXXZ_wendu->setCellWidget(1, k + 1, wenduStd[k]);
        ui->tableWidget_FXXXZ_wendu->setCellWidget(2, k + 1, wenduCap[k]);
        ui->tableWidget_FXXXZ_wendu->setCellWidget(3, k + 1, wenduCj[k]);
    }

    for (int r = 1; r <= RegisterRows; ++r) {
        QComboBox *combo = new QComboBox;
        QLineEdit *addrEdit = new QLineEdit;
        QLineEdit *dataEdit = new QLineEdit;
        regNameCombos[r - 1] = combo;
        regAddrEdits[r - 1] = addrEdit;
        regDataEdits[r - 1] = dataEdit;
        combo->installEventFilter(this);
        for (const char *caption : registerCaptions)
            combo->addItem(tr(caption));
        ui->tableWidget_customreg->setCellWidget(r, 0, combo);
        ui->tableWidget_customreg->setCellWidget(r, 1, addrEdit);
        ui->tableWidget_customreg->setCellWidget(r, 2, dataEdit);
        combo->setStyleSheet(QLatin1String(rowComboStyle));
        addrEdit->setStyleSheet(QLatin1String(rowLineEditStyle));
        dataEdit->setStyleSheet(QLatin1String(rowLineEditStyle));
        // Every row starts on a quantity of the instrument, which has no value to edit.
        customRowCodes[r - 1] = -1;
        dataEdit->setEnabled(false);
        connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                [this, r] { customRowSourceChanged(r - 1); });
    }

    worker = new modbusThread;
    connect(this, SIGNAL(sendMessageToModbusThread(QString)), worker,
            SLOT(receiveMessageFromMainThread(QString)));
    connect(worker, SIGNAL(sendMessageToMainThread(QString)), this,
            SLOT(receiveMessageFromModbusThread(QString)));
    setUpSerialLink();
    worker->start(QThread::InheritPriority);

    guiTickTimer = new QTimer;
    guiTickTimer->setInterval(100);
    connect(guiTickTimer, SIGNAL(timeout()), this, SLOT(tickTimerSlot()));

    backupMenu = new QMenu;
    QAction *backupAction = new QAction(tr("备份数据到电脑"), backupMenu);
    connect(backupAction, SIGNAL(triggered(bool)), this, SLOT(beifenshujuSlot()));
    QAction *restoreAction = new QAction(tr("读取备份数据"), backupMenu);
    connect(restoreAction, SIGNAL(triggered(bool)), this, SLOT(duqubeifenshujuSlot()));
    backupMenu->addAction(restoreAction);
    backupMenu->addAction(backupAction);
    QAction *compareAction = new QAction(tr("对比备份数据"), backupMenu);
    connect(compareAction, &QAction::triggered, this, &MainWindow::openCompareWindow);
    backupMenu->addAction(compareAction);
    ui->pushButton_mainIcon->setMenu(backupMenu);

    on_pushButton_chazhaoduankou_clicked();

    ui->stackedWidget->setCurrentIndex(0);
    ui->stackedWidget->setEnabled(false);

    ui->comboBox_baud->setCurrentIndex(3);
    // A known address can be typed; a search still fills the list.
    ui->comboBox_addr->setEditable(true);
    ui->comboBox_addr->setInsertPolicy(QComboBox::NoInsert);
    ui->comboBox_addr->setValidator(new QIntValidator(1, 255, ui->comboBox_addr));
    // The status line clears itself after a few seconds; what it said is kept.
    ui->label_state->installEventFilter(this);
    ui->label_state->setCursor(Qt::PointingHandCursor);
    ui->label_state->setToolTip(tr("点击查看最近的消息"));
    // Nothing read yet: no page has anything to write.
    updateWriteButtons();
}

MainWindow::~MainWindow()
{
    // They listen to the link and the worker, which go first.
    delete trafficMonitor;
    delete trendWindow;
    delete calibrationWizard;
    delete messageWindow;
    delete compareWindow;
    // Stop the worker first: it may still be emitting frames for the port.
    worker->stop();
    delete worker;
    serialPort->close();
    delete serialPort;
    delete guiTickTimer;
    delete backupMenu;
    delete ui;
}

MainWindow::Variant MainWindow::variantFromEnvironment()
{
    return qEnvironmentVariable("KV3PD_FACTORY") == QLatin1String("1") ? Variant::Factory
                                                                       : Variant::User;
}

void MainWindow::initResources()
{
    Q_INIT_RESOURCE(resources);
}

bool MainWindow::loadStyleSheet(const QString &path)
{
    QFile file(path);
    if (!file.open(QFile::ReadOnly)) {
        qCWarning(lcWindow) << "QSS文件打开失败" << path;
        return false;
    }
    qCDebug(lcWindow) << "QSS文件加载成功";
    qApp->setStyleSheet(QString::fromLatin1(file.readAll()));
    file.close();
    return true;
}

QString MainWindow::buildDateText(const QString &compilerDate)
{
    QString text = compilerDate;
    text.replace(QStringLiteral("  "), QStringLiteral(" 0"));
    const QDate date = QLocale(QLocale::English).toDate(text, QStringLiteral("MMM dd yyyy"));
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

void MainWindow::on_pushButton_monitor_clicked()
{
    if (!trafficMonitor)
        trafficMonitor = new TrafficMonitor(serialPort, this);
    trafficMonitor->show();
    trafficMonitor->raise();
    trafficMonitor->activateWindow();
}

void MainWindow::on_pushButton_trend_clicked()
{
    if (!trendWindow)
        trendWindow = new TrendWindow(worker, this);
    trendWindow->show();
    trendWindow->raise();
    trendWindow->activateWindow();
}

void MainWindow::openCompareWindow()
{
    if (!compareWindow) {
        compareWindow = new CompareWindow(
            worker, [this] { return link.isUp() && link.isAnswering(); }, this);
        if (fileNameProvider)
            compareWindow->setFileNameProvider([this](CompareWindow::FileRole role) {
                return fileNameProvider(role == CompareWindow::FileRole::Csv, QString());
            });
    }
    compareWindow->show();
    compareWindow->raise();
    compareWindow->activateWindow();
    compareWindow->start();
}

void MainWindow::on_pushButton_wizard_clicked()
{
    if (!calibrationWizard) {
        CalibrationWizard::Hooks hooks;
        hooks.calibrationPage = [this](CalibrationChannel c) { return calibrationPage(c); };
        hooks.connectedMeter = [this] { return connectedMeter(); };
        hooks.writeCalibration = [this](CalibrationChannel c, const QVector<double> &standard,
                                        const QVector<double> &collected) {
            return writeWizardCalibration(c, standard, collected);
        };
        calibrationWizard = new CalibrationWizard(worker, hooks, settingsPath, this);
    }
    calibrationWizard->show();
    calibrationWizard->raise();
    calibrationWizard->activateWindow();
}

void MainWindow::on_pushButton_min_clicked()
{
    showMinimized();
}

void MainWindow::on_pushButton_close_clicked()
{
    close();
}

void MainWindow::on_pushButton_yibiaoxinxi_clicked()
{
    ui->stackedWidget->setCurrentIndex(0);
}

void MainWindow::on_pushButton_gongchangjiaozhun_clicked()
{
    ui->stackedWidget->setCurrentIndex(1);
}

void MainWindow::on_pushButton_customreg_clicked()
{
    ui->stackedWidget->setCurrentIndex(2);
}

void MainWindow::on_pushButton_gongchangjiaozhun_2_clicked()
{
    ui->stackedWidget->setCurrentIndex(1);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->label_state && event->type() == QEvent::MouseButtonRelease) {
        showMessages();
        return true;
    }
    for (QComboBox *combo : regNameCombos) {
        // A wheel turn while scrolling the table must not change a row's source.
        if (watched == combo)
            return event->type() == QEvent::Wheel;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::mousePressEvent(QMouseEvent *event)
{
    titlebar::press(event, ui->widget_title, pressX, pressY, dragging);
}

void MainWindow::mouseReleaseEvent(QMouseEvent *event)
{
    titlebar::release(event, dragging);
}

void MainWindow::mouseMoveEvent(QMouseEvent *event)
{
    titlebar::move(event, this, pressX, pressY, dragging);
}
