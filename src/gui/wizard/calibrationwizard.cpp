#include "wizard/calibrationwizard.h"

#include "calibration/calibrationstore.h"
#include "certificateissuer.h"
#include "certificatewriter.h"
#include "model/codetables.h"
#include "model/fieldcodec.h"
#include "shell/dialog_warning.h"
#include "shell/language.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>

namespace {

enum Column
{
    ColPoint,
    ColNominal,
    ColFoundReference,
    ColFoundReading,
    ColFoundError,
    ColFoundVerdict,
    ColAdjustReference,
    ColAdjustAdc,
    ColLeftReference,
    ColLeftReading,
    ColLeftError,
    ColLeftVerdict,
    Columns
};

// Where each phase shows its results; -1 where it shows nothing.
struct PhaseColumns
{
    CalibrationPhase phase;
    int reference;
    int reading;
    int error;
    int verdict;
    int adc;
};
const PhaseColumns phaseColumns[] = {
    {CalibrationPhase::AsFound, ColFoundReference, ColFoundReading, ColFoundError, ColFoundVerdict,
     -1},
    {CalibrationPhase::Adjust, ColAdjustReference, -1, -1, -1, ColAdjustAdc},
    {CalibrationPhase::AsLeft, ColLeftReference, ColLeftReading, ColLeftError, ColLeftVerdict, -1},
};

const QColor passColour(0, 140, 60);
const QColor failColour(200, 30, 30);

QString number(double value, int digits = 6)
{
    return std::isfinite(value) ? QString::number(value, 'g', digits) : QString();
}

// A setup number as typed: '.' for the decimals, whatever the locale.
bool parseNumber(const QString &text, double *value)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

QString bandFor(const QString &toleranceText)
{
    double tolerance = 0;
    return parseNumber(toleranceText, &tolerance) && tolerance > 0 ? number(tolerance / 4.0)
                                                                   : QString();
}

QLineEdit *lineEdit(QWidget *parent, const char *name, const QString &text = QString())
{
    auto *edit = new QLineEdit(text, parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

QPushButton *button(QWidget *parent, const char *name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

} // namespace

CalibrationWizard::CalibrationWizard(modbusThread *modbusWorker, Hooks windowHooks,
                                     const QString &settingsPath, QWidget *parent)
    : QWidget(parent, Qt::Window), worker(modbusWorker), hooks(std::move(windowHooks)),
      settingsFile(settingsPath), calibration(new CalibrationRun(this))
{
    setObjectName(QStringLiteral("calibrationWizard"));
    setWindowTitle(tr("校准向导"));
    resize(1040, 820);
    clockEpochMs = QDateTime::currentMSecsSinceEpoch();
    clock.start();

    auto *setup = new QGroupBox(tr("设置"), this);
    setupBox = setup;
    auto *grid = new QGridLayout(setup);
    buildSetup(grid);

    table = new QTableWidget(0, Columns, this);
    table->setObjectName(QStringLiteral("tableWidget_wizardPoints"));
    table->setHorizontalHeaderLabels({tr("点"), tr("标称值"), tr("调整前\n参考值"),
                                      tr("调整前\n读数"), tr("调整前\n误差\n值 (%量程)"),
                                      tr("调整前\n结论"), tr("调整\n参考值"), tr("调整\nADC均值"),
                                      tr("调整后\n参考值"), tr("调整后\n读数"),
                                      tr("调整后\n误差\n值 (%量程)"), tr("调整后\n结论")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    promptLabel = new QLabel(this);
    promptLabel->setObjectName(QStringLiteral("label_wizardPrompt"));
    QFont promptFont = promptLabel->font();
    promptFont.setPointSizeF(promptFont.pointSizeF() * 1.5);
    promptFont.setBold(true);
    promptLabel->setFont(promptFont);
    referenceEdit = lineEdit(this, "lineEdit_wizardReference");
    referenceEdit->setToolTip(tr("参考标准器的示值；记录本点之前可以修改"));
    settleBar = new QProgressBar(this);
    settleBar->setObjectName(QStringLiteral("progressBar_wizardSettle"));
    settleBar->setRange(0, 100);
    settleBar->setValue(0);
    statsLabel = new QLabel(this);
    statsLabel->setObjectName(QStringLiteral("label_wizardStats"));
    statsLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    verdictPhaseLabel = new QLabel(this);
    verdictLabel = new QLabel(this);
    verdictLabel->setObjectName(QStringLiteral("label_wizardVerdict"));
    QFont verdictFont = verdictLabel->font();
    verdictFont.setBold(true);
    verdictFont.setPointSizeF(verdictFont.pointSizeF() * 1.5);
    verdictLabel->setFont(verdictFont);
    meterLabel = new QLabel(this);
    meterLabel->setObjectName(QStringLiteral("label_wizardRecord"));
    noteLabel = new QLabel(this);
    noteLabel->setObjectName(QStringLiteral("label_wizardNote"));
    noteLabel->setWordWrap(true);

    startButton = button(this, "pushButton_wizardStart", tr("调整前检查"));
    startButton->setToolTip(tr("开始新的校准：逐点检查仪表调整前的误差"));
    recordButton = button(this, "pushButton_wizardRecord", tr("立即记录"));
    recordButton->setToolTip(tr("不等读数稳定，立即记录本点（标记为手动）"));
    adjustButton = button(this, "pushButton_wizardAdjust", tr("调整"));
    adjustButton->setToolTip(tr("逐点采集ADC，然后写入多点校准数据并工厂保存"));
    asLeftButton = button(this, "pushButton_wizardAsLeft", tr("调整后检查"));
    asLeftButton->setToolTip(tr("用新的校准数据逐点检查误差"));
    finishButton = button(this, "pushButton_wizardFinish", tr("结束校准"));
    finishButton->setToolTip(tr("结束本次校准；已记录的点都已保存"));

    auto *referenceRow = new QHBoxLayout;
    referenceRow->addWidget(new QLabel(tr("参考值"), this));
    referenceRow->addWidget(referenceEdit);
    referenceRow->addWidget(recordButton);
    referenceRow->addSpacing(16);
    referenceRow->addWidget(new QLabel(tr("稳定"), this));
    referenceRow->addWidget(settleBar, 1);
    auto *verdictRow = new QHBoxLayout;
    verdictRow->addWidget(verdictPhaseLabel);
    verdictRow->addWidget(verdictLabel);
    verdictRow->addStretch(1);
    verdictRow->addWidget(meterLabel);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(startButton);
    buttons->addWidget(adjustButton);
    buttons->addWidget(asLeftButton);
    buttons->addStretch(1);
    buttons->addWidget(finishButton);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(setup);
    layout->addWidget(table, 1);
    layout->addWidget(promptLabel);
    layout->addLayout(referenceRow);
    layout->addWidget(statsLabel);
    layout->addLayout(verdictRow);
    layout->addWidget(noteLabel);
    layout->addLayout(buttons);
    layout->addWidget(buildCertificates());

    connect(channelCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] {
        showingRun = false;
        doneText.clear();
        showPagePoints();
        showRun();
    });
    connect(toleranceEdit, &QLineEdit::textEdited, this, [this](const QString &text) {
        // The band follows the tolerance until it is set by hand.
        if (bandEdit->text() == bandFor(previousTolerance))
            bandEdit->setText(bandFor(text));
        previousTolerance = text;
    });
    connect(referenceEdit, &QLineEdit::textChanged, this, [this](const QString &text) {
        double value = qQNaN();
        parseNumber(text, &value);
        calibration->setReference(value);
        showRun();
    });
    connect(startButton, &QPushButton::clicked, this,
            [this] { startPhase(CalibrationPhase::AsFound); });
    connect(adjustButton, &QPushButton::clicked, this,
            [this] { startPhase(CalibrationPhase::Adjust); });
    connect(asLeftButton, &QPushButton::clicked, this,
            [this] { startPhase(CalibrationPhase::AsLeft); });
    connect(recordButton, &QPushButton::clicked, this, [this] {
        if (!calibration->takeNow(now()))
            note = tr("尚无读数或参考值无效，未记录");
        showRun();
    });
    connect(finishButton, &QPushButton::clicked, this, [this] {
        doneText = tr("校准已结束");
        calibration->close();
    });

    connect(calibration, &CalibrationRun::changed, this, &CalibrationWizard::showRun);
    connect(calibration, &CalibrationRun::pointStarted, this,
            [this](int, double nominal) { referenceEdit->setText(number(nominal)); });
    connect(calibration, &CalibrationRun::adjustmentReady, this,
            &CalibrationWizard::onAdjustmentReady);
    connect(calibration, &CalibrationRun::phaseFinished, this, &CalibrationWizard::onPhaseFinished);
    connect(calibration, &CalibrationRun::aborted, this, [this](quint32 other) {
        doneText = tr("校准已中止：检测到另一台仪表 %1").arg(field::formatMeterNumber(other));
        showRun();
        showHistory();
        warn(tr("另一台仪表（%1）应答，校准已中止。已记录的点都已保存。")
                 .arg(field::formatMeterNumber(other)));
    });
    connect(calibration, &CalibrationRun::storeFailed, this, [this](const QString &reason) {
        doneText = tr("校准记录无法写入，校准已停止");
        showRun();
        warn(tr("校准记录无法写入：%1\n%2")
                 .arg(QDir::toNativeSeparators(calibration->storePath()), reason));
    });
    if (worker)
        connect(worker, &modbusThread::sendMessageToMainThread, this,
                &CalibrationWizard::onWorkerMessage);
    if (parent)
        parent->installEventFilter(this);

    loadSettings();
    showChannels();
    showPagePoints();
    showRun();
}

CalibrationWizard::~CalibrationWizard()
{
    // A phase cut off by the window going keeps its points and its end time.
    calibration->disconnect(this);
    calibration->close();
}

void CalibrationWizard::buildSetup(QGridLayout *grid)
{
    QWidget *box = setupBox;
    channelCombo = new QComboBox(box);
    channelCombo->setObjectName(QStringLiteral("comboBox_wizardChannel"));
    toleranceEdit = lineEdit(box, "lineEdit_wizardTolerance", QStringLiteral("0.25"));
    windowEdit = lineEdit(box, "lineEdit_wizardWindow", QStringLiteral("3"));
    bandEdit = lineEdit(box, "lineEdit_wizardBand", bandFor(toleranceEdit->text()));
    standardEdit = lineEdit(box, "lineEdit_wizardStandard");
    serialEdit = lineEdit(box, "lineEdit_wizardStandardSerial");
    certificateEdit = lineEdit(box, "lineEdit_wizardStandardCertificate");
    uncertaintyEdit = lineEdit(box, "lineEdit_wizardStandardUncertainty");
    uncertaintyEdit->setToolTip(tr("扩展不确定度，k = 2，单位与量程相同"));
    uncertaintyUnit = new QLabel(box);
    technicianEdit = lineEdit(box, "lineEdit_wizardTechnician");
    ambientEdit = lineEdit(box, "lineEdit_wizardAmbient");
    ambientEdit->setPlaceholderText(tr("例如 23 ℃，45 %RH"));

    const auto add = [&](int row, int column, const QString &caption, QWidget *field) {
        grid->addWidget(new QLabel(caption, box), row, column);
        grid->addWidget(field, row, column + 1);
    };
    add(0, 0, tr("通道"), channelCombo);
    add(0, 2, tr("允差 (%量程)"), toleranceEdit);
    add(0, 4, tr("稳定窗口 (s)"), windowEdit);
    add(0, 6, tr("稳定带 (%量程)"), bandEdit);
    add(1, 0, tr("标准器"), standardEdit);
    add(1, 2, tr("标准器编号"), serialEdit);
    add(1, 4, tr("标准器证书"), certificateEdit);
    auto *uncertainty = new QHBoxLayout;
    uncertainty->addWidget(uncertaintyEdit);
    uncertainty->addWidget(uncertaintyUnit);
    grid->addWidget(new QLabel(tr("扩展不确定度 (k=2)"), box), 1, 6);
    grid->addLayout(uncertainty, 1, 7);
    add(2, 0, tr("校准员"), technicianEdit);
    add(2, 2, tr("环境条件"), ambientEdit);
}

QWidget *CalibrationWizard::buildCertificates()
{
    auto *box = new QGroupBox(tr("证书"), this);
    issuerNameEdit = lineEdit(box, "lineEdit_wizardIssuerName");
    issuerAddressEdit = lineEdit(box, "lineEdit_wizardIssuerAddress");
    certificateButton = button(box, "pushButton_wizardCertificate", tr("本次校准的证书"));
    certificateButton->setToolTip(tr("把本次校准写成 PDF 证书（调整前或调整后检查完成之后）"));
    historyCertificateButton =
        button(box, "pushButton_wizardHistoryCertificate", tr("所选校准的证书"));
    historyCertificateButton->setToolTip(tr("重新生成所选的以前校准的证书"));
    historyTable = new QTableWidget(0, 6, box);
    historyTable->setObjectName(QStringLiteral("tableWidget_wizardHistory"));
    historyTable->setHorizontalHeaderLabels(
        {tr("证书编号"), tr("通道"), tr("开始时间"), tr("调整前"), tr("调整"), tr("调整后")});
    historyTable->verticalHeader()->hide();
    historyTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    historyTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    historyTable->setSelectionMode(QAbstractItemView::SingleSelection);
    historyTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    historyTable->setToolTip(tr("当前仪表以前的校准；双击重新生成证书"));
    historyTable->setMaximumHeight(140);
    historyErrorLabel = new QLabel(box);
    historyErrorLabel->setObjectName(QStringLiteral("label_wizardHistoryError"));
    historyErrorLabel->setWordWrap(true);
    historyErrorLabel->setStyleSheet(QStringLiteral("color:%1").arg(failColour.name()));
    historyErrorLabel->hide();

    auto *form = new QGridLayout;
    form->addWidget(new QLabel(tr("颁发机构"), box), 0, 0);
    form->addWidget(issuerNameEdit, 0, 1);
    form->addWidget(new QLabel(tr("地址"), box), 1, 0);
    form->addWidget(issuerAddressEdit, 1, 1);
    form->addWidget(certificateButton, 2, 1, Qt::AlignLeft);
    form->addWidget(historyCertificateButton, 3, 1, Qt::AlignLeft);
    form->addWidget(historyErrorLabel, 4, 0, 1, 2);
    form->setRowStretch(5, 1);
    auto *layout = new QHBoxLayout(box);
    layout->addLayout(form, 2);
    layout->addWidget(historyTable, 3);

    connect(certificateButton, &QPushButton::clicked, this, [this] {
        writeCertificate(calibration->record().certificate, calibration->storePath());
    });
    const auto historyCertificate = [this] {
        if (const QTableWidgetItem *item = historyTable->item(historyTable->currentRow(), 0))
            writeCertificate(item->text(), CalibrationStore::defaultPath());
    };
    connect(historyCertificateButton, &QPushButton::clicked, this, historyCertificate);
    connect(historyTable, &QTableWidget::cellDoubleClicked, this, historyCertificate);
    connect(historyTable, &QTableWidget::itemSelectionChanged, this, [this] {
        historyCertificateButton->setEnabled(!historyTable->selectedItems().isEmpty());
    });
    historyCertificateButton->setEnabled(false);
    return box;
}

QString CalibrationWizard::unreadable(const CalibrationStore &store)
{
    return tr("校准记录无法读取：%1\n%2")
        .arg(QDir::toNativeSeparators(store.path()), store.errorString());
}

void CalibrationWizard::showHistory()
{
    historyMeter = hooks.connectedMeter ? hooks.connectedMeter() : std::nullopt;
    QVector<CalibrationRecord> records;
    CalibrationStore store(CalibrationStore::defaultPath());
    CalibrationStore::Filter filter;
    QString failure;
    if (historyMeter && QFileInfo::exists(store.path())) {
        filter.meterNumber = field::formatMeterNumber(*historyMeter);
        if (!store.open(CalibrationStore::Access::ReadOnly) ||
            !store.listCalibrations(filter, &records)) {
            records.clear();
            failure = unreadable(store);
        }
    }
    historyErrorLabel->setText(failure);
    historyErrorLabel->setVisible(!failure.isEmpty());
    const auto verdict = [this](const std::optional<bool> &v, const char *yes, const char *no) {
        return !v ? QStringLiteral("—") : *v ? tr(yes) : tr(no);
    };
    historyTable->setRowCount(records.size());
    for (int i = 0; i < records.size(); ++i) {
        const CalibrationRecord &r = records.at(records.size() - 1 - i);
        const QStringList texts = {
            r.certificate,
            r.channel == CalibrationChannel::Pressure ? tr("压力") : tr("温度"),
            r.startedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")),
            verdict(r.asFoundPass, QT_TR_NOOP("合格"), QT_TR_NOOP("不合格")),
            verdict(r.adjusted, QT_TR_NOOP("已调整"), QT_TR_NOOP("未写入")),
            verdict(r.asLeftPass, QT_TR_NOOP("合格"), QT_TR_NOOP("不合格"))};
        for (int c = 0; c < texts.size(); ++c)
            historyTable->setItem(i, c, new QTableWidgetItem(texts[c]));
    }
}

void CalibrationWizard::writeCertificate(const QString &certificate, const QString &storePath)
{
    CalibrationStore store(storePath);
    CalibrationRecord record;
    // What is kept is what the certificate states, not what the window shows.
    if (!store.open(CalibrationStore::Access::ReadOnly) ||
        !store.loadCalibration(certificate, &record)) {
        warn(unreadable(store));
        return;
    }
    QSettings settings(settingsFile, QSettings::IniFormat);
    const QString folder =
        settings.value(QStringLiteral("calibrationWizard/certificateFolder"), QDir::homePath())
            .toString();
    const QString suggested = QDir(folder).filePath(certificate + QStringLiteral(".pdf"));
    const QString path =
        fileNameProvider
            ? fileNameProvider(suggested)
            : QFileDialog::getSaveFileName(this, tr("保存证书"), suggested, tr("PDF 文件 (*.pdf)"));
    if (path.isEmpty())
        return;
    settings.setValue(QStringLiteral("calibrationWizard/certificateFolder"),
                      QFileInfo(path).absolutePath());
    const CertificateIssuer organisation = issuer();
    QString reason;
    if (!organisation.save(settingsFile, &reason))
        note = tr("颁发机构未能保存：%1").arg(reason);
    if (CertificateWriter::write(record, organisation, language::current(), path, &reason) !=
        CertificateWriter::Result::Written) {
        warn(tr("证书未写入：%1").arg(reason));
        return;
    }
    note = tr("证书已写入：%1").arg(QDir::toNativeSeparators(path));
    showRun();
    if (!fileNameProvider)
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool CalibrationWizard::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Close)
        close();
    return QWidget::eventFilter(watched, event);
}

void CalibrationWizard::closeEvent(QCloseEvent *event)
{
    // Nobody is left to apply the points; between phases the calibration
    // stays open, so as left can follow an adjustment after all.
    const CalibrationRun::State state = calibration->state();
    if (state == CalibrationRun::State::Measuring || state == CalibrationRun::State::Paused) {
        calibration->close();
        doneText = tr("窗口已关闭，校准已结束");
    }
    saveSettings();
    QWidget::closeEvent(event);
}

void CalibrationWizard::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    showChannels();
    showPagePoints();
    showHistory();
    showRun();
}

qint64 CalibrationWizard::now() const
{
    // Wall-clock milliseconds that never go back.
    return clockEpochMs + clock.elapsed();
}

CalibrationChannel CalibrationWizard::selectedChannel() const
{
    return CalibrationChannel(channelCombo->currentData().toInt());
}

void CalibrationWizard::onWorkerMessage(const QString &message)
{
    const qint64 t = now();
    if (hooks.connectedMeter)
        calibration->meterAnswering(hooks.connectedMeter(), t);
    calibration->workerReply(message);
    if (hooks.connectedMeter && hooks.connectedMeter() != historyMeter)
        showHistory();
    if (message == Reply::readMeasuredSucceed) {
        takeSample(t);
        return;
    }
    const bool meterRead = message == Reply::succeed(Cmd::readAll) ||
                           message == Reply::succeed(Cmd::readMeterParam) ||
                           message == Reply::succeed(Cmd::readMeterInfo);
    if (meterRead)
        showChannels();
    if (meterRead || message == Reply::succeed(Cmd::readPressureParam) ||
        message == Reply::succeed(Cmd::readTempParam))
        showPagePoints();
    // Connected or not decides the buttons.
    if (!calibration->isOpen())
        showRun();
}

void CalibrationWizard::takeSample(qint64 tMs)
{
    if (calibration->state() != CalibrationRun::State::Measuring)
        return;
    const bool pressure = calibration->plan().page.channel == CalibrationChannel::Pressure;
    float reading = 0;
    float raw = 0;
    quint16 unit = 0;
    LevelMedium medium{};
    {
        auto m = worker->lockMirror();
        reading = m->float32(pressure ? Reg::pressureValue : Reg::temperatureValue);
        unit = m->at(pressure ? Reg::pressureUnit : Reg::temperatureUnit);
        raw = m->float32(pressure ? Reg::pressureAdc : Reg::temperatureAdc);
        medium = {m->float32(Reg::density), m->float32(Reg::gravity)};
    }
    // The instrument shows its reading in its display unit; the points are in the range's.
    float inRange = 0;
    const bool converted =
        convertUnit(reading, unit, calibration->plan().page.rangeUnit, medium, &inRange);
    const QString unitNote =
        tr("读数的单位 %1 无法换算为量程单位，请检查用户设置").arg(unitName(unit));
    if (!converted)
        note = unitNote;
    else if (note == unitNote)
        note.clear();
    calibration->addSample(tMs, converted ? double(inRange) : qQNaN(), double(raw));
    showStatistics();
}

void CalibrationWizard::showChannels()
{
    quint16 type = 2;
    if (worker)
        type = worker->lockMirror()->at(Reg::meterType);
    QVector<CalibrationChannel> channels;
    // 0 pressure only, 1 temperature only, 2 (or a type unknown here) both.
    if (type != 1)
        channels << CalibrationChannel::Pressure;
    if (type != 0)
        channels << CalibrationChannel::Temperature;
    QVector<CalibrationChannel> listed;
    for (int i = 0; i < channelCombo->count(); ++i)
        listed << CalibrationChannel(channelCombo->itemData(i).toInt());
    if (listed == channels)
        return;
    const QVariant selected =
        channelCombo->count() > 0 ? channelCombo->currentData() : QVariant(rememberedChannel);
    {
        const QSignalBlocker block(channelCombo);
        channelCombo->clear();
        for (CalibrationChannel channel : channels)
            channelCombo->addItem(channel == CalibrationChannel::Pressure ? tr("压力") : tr("温度"),
                                  int(channel));
        const int index = channelCombo->findData(selected);
        channelCombo->setCurrentIndex(index < 0 ? 0 : index);
    }
    if (channelCombo->currentData() != selected) {
        showingRun = false;
        showPagePoints();
    }
}

void CalibrationWizard::showPagePoints()
{
    if (showingRun || !hooks.calibrationPage)
        return;
    const ChannelPage page = hooks.calibrationPage(selectedChannel());
    QVector<double> nominals;
    const PlanError error = nominalPoints(page, &nominals);
    uncertaintyUnit->setText(unitName(page.rangeUnit));
    note = error == PlanError::None ? QString() : tr("校准页的量程、点数或单位无效");
    showTable(nominals, unitName(page.rangeUnit));
    noteLabel->setText(note);
}

bool CalibrationWizard::makePlan(CalibrationPlan *plan)
{
    plan->page = hooks.calibrationPage(selectedChannel());
    switch (nominalPoints(plan->page, &plan->nominals)) {
    case PlanError::None:
        break;
    case PlanError::Range:
        warn(tr("量程无效：请在多点校准页填写量程，上限须大于下限"));
        return false;
    case PlanError::PointCount:
        warn(tr("校准点数无效：须为2到5点"));
        return false;
    case PlanError::Units:
        warn(tr("量程单位无法换算为标准值单位，请检查单位设置！"));
        return false;
    }
    const struct
    {
        QLineEdit *edit;
        double *value;
        double max;
        const char *caption;
    } numbers[] = {
        {toleranceEdit, &plan->tolerancePct, 100.0, QT_TR_NOOP("允差")},
        {windowEdit, &plan->windowSeconds, 600.0, QT_TR_NOOP("稳定窗口")},
        {bandEdit, &plan->bandPct, 100.0, QT_TR_NOOP("稳定带")},
    };
    for (const auto &n : numbers) {
        if (!parseNumber(n.edit->text(), n.value) || *n.value <= 0 || *n.value > n.max) {
            warn(tr("%1无效：须为大于0、不超过%2的数").arg(tr(n.caption)).arg(n.max));
            n.edit->setFocus();
            return false;
        }
    }
    plan->standardUncertainty = qQNaN();
    if (!uncertaintyEdit->text().trimmed().isEmpty() &&
        (!parseNumber(uncertaintyEdit->text(), &plan->standardUncertainty) ||
         plan->standardUncertainty < 0)) {
        warn(tr("扩展不确定度无效：须为不小于0的数，或留空"));
        return false;
    }
    plan->standard = standardEdit->text().trimmed();
    plan->standardSerial = serialEdit->text().trimmed();
    plan->standardCertificate = certificateEdit->text().trimmed();
    plan->technician = technicianEdit->text().trimmed();
    plan->ambient = ambientEdit->text().trimmed();
    plan->meter = hooks.connectedMeter().value_or(0);
    plan->board = QStringLiteral("KV-3PD");
    const bool pressure = plan->page.channel == CalibrationChannel::Pressure;
    auto m = worker->lockMirror();
    plan->meterType = m->at(Reg::meterType);
    plan->firmwareVersion = QString::asprintf("V%.02f", m->at(Reg::firmwareVersion) / 100.0);
    plan->decimals =
        decimalsInUnit(m->at(pressure ? Reg::pressureDecimals : Reg::temperatureDecimals),
                       m->at(pressure ? Reg::pressureUnit : Reg::temperatureUnit),
                       plan->page.rangeUnit, {m->float32(Reg::density), m->float32(Reg::gravity)});
    return true;
}

void CalibrationWizard::startPhase(CalibrationPhase phase)
{
    if (!hooks.connectedMeter || !hooks.connectedMeter()) {
        warn(tr("仪表未连接或仪表编号尚未确认，校准未开始"));
        return;
    }
    // As found begins a new calibration; adjust continues the open one.
    if (phase == CalibrationPhase::AsFound)
        calibration->close();
    if (!calibration->isOpen()) {
        CalibrationPlan plan;
        if (!makePlan(&plan))
            return;
        const QString path = CalibrationStore::defaultPath();
        if (!calibration->open(plan, path)) {
            warn(tr("校准记录文件无法打开或写入，校准未开始：%1\n%2")
                     .arg(QDir::toNativeSeparators(path), calibration->storeError()));
            return;
        }
        saveSettings();
        showingRun = true;
        showHistory();
    }
    doneText.clear();
    note.clear();
    calibration->start(phase, now());
}

void CalibrationWizard::onAdjustmentReady(const QVector<double> &standard,
                                          const QVector<double> &collected)
{
    const ChannelPage &planned = calibration->plan().page;
    // The standard values are in the units the calibration began with; a
    // page changed since would give them another meaning.
    const ChannelPage page = hooks.calibrationPage(planned.channel);
    if (page.rangeLow != planned.rangeLow || page.rangeHigh != planned.rangeHigh ||
        page.rangeUnit != planned.rangeUnit || page.standardUnit != planned.standardUnit) {
        note = tr("多点校准页的量程或单位在校准过程中被修改，校准数据未写入");
        warn(note);
        calibration->writeRefused();
        return;
    }
    if (!hooks.writeCalibration(planned.channel, standard, collected)) {
        note = tr("校准数据未写入：原因见主窗口的状态栏");
        calibration->writeRefused();
    }
}

void CalibrationWizard::onPhaseFinished(CalibrationPhase phase)
{
    const CalibrationRecord &r = calibration->record();
    switch (phase) {
    case CalibrationPhase::AsFound:
        doneText = tr("调整前检查完成");
        break;
    case CalibrationPhase::Adjust:
        doneText = r.adjusted.value_or(false) ? tr("校准数据已写入并保存，请进行调整后检查")
                                              : tr("校准数据写入失败，可重新调整");
        break;
    case CalibrationPhase::AsLeft:
        doneText = tr("调整后检查完成");
        break;
    }
    showHistory();
    showRun();
}

void CalibrationWizard::showRun()
{
    const CalibrationRun::State state = calibration->state();
    const bool between =
        state == CalibrationRun::State::Closed || state == CalibrationRun::State::Ready;
    setupBox->setEnabled(!calibration->isOpen());
    startButton->setEnabled(between);
    adjustButton->setEnabled(between);
    asLeftButton->setEnabled(calibration->canStart(CalibrationPhase::AsLeft));
    recordButton->setEnabled(state == CalibrationRun::State::Measuring);
    finishButton->setEnabled(calibration->isOpen() && state != CalibrationRun::State::Writing);
    const CalibrationRecord &r = calibration->record();
    certificateButton->setEnabled(showingRun && between &&
                                  (r.asFoundPass.has_value() || r.asLeftPass.has_value()));
    referenceEdit->setEnabled(state == CalibrationRun::State::Measuring ||
                              state == CalibrationRun::State::Paused);

    const CalibrationPlan &plan = calibration->plan();
    const QString unit = unitName(plan.page.rangeUnit);
    switch (state) {
    case CalibrationRun::State::Measuring:
        promptLabel->setText(
            tr("请施加 %1 %2").arg(number(plan.nominals.value(calibration->point())), unit));
        break;
    case CalibrationRun::State::Paused:
        promptLabel->setText(tr("仪表未连接，等待恢复"));
        break;
    case CalibrationRun::State::Writing:
        promptLabel->setText(tr("正在写入校准数据并工厂保存…"));
        break;
    default:
        promptLabel->setText(doneText.isEmpty() ? tr("选择通道，然后开始调整前检查") : doneText);
        break;
    }

    if (showingRun) {
        showTable(plan.nominals, unit);
        if (state == CalibrationRun::State::Measuring || state == CalibrationRun::State::Paused)
            table->selectRow(calibration->point());
        else
            table->clearSelection();
    }

    const std::optional<bool> verdict =
        showingRun ? (r.asLeftPass ? r.asLeftPass : r.asFoundPass) : std::nullopt;
    verdictPhaseLabel->setText(!verdict       ? QString()
                               : r.asLeftPass ? tr("调整后结论：")
                                              : tr("调整前结论："));
    verdictLabel->setText(!verdict ? QString() : *verdict ? tr("合格") : tr("不合格"));
    verdictLabel->setStyleSheet(
        !verdict ? QString()
                 : QStringLiteral("color:%1").arg((*verdict ? passColour : failColour).name()));
    meterLabel->setText(showingRun ? tr("仪表 %1    证书编号 %2").arg(r.meterNumber, r.certificate)
                                   : QString());
    if (calibration->isHeldOff())
        noteLabel->setText(tr("读数已稳定，但更接近另一点：请施加本点的值，或按“立即记录”"));
    else if (state == CalibrationRun::State::Measuring && !std::isfinite(calibration->reference()))
        noteLabel->setText(tr("参考值不是数字：本点不会记录"));
    else
        noteLabel->setText(note);
    showStatistics();
}

void CalibrationWizard::showStatistics()
{
    const SettlingStatistics &s = calibration->statistics();
    const bool measuring = calibration->state() == CalibrationRun::State::Measuring;
    settleBar->setValue(measuring ? s.stablePercent() : 0);
    if (!measuring) {
        statsLabel->setText(QString());
        return;
    }
    if (s.count() == 0) {
        statsLabel->setText(tr("等待读数…"));
        return;
    }
    const QString unit = unitName(calibration->plan().page.rangeUnit);
    statsLabel->setText(tr("平均值 %1 %6    标准差 %2    峰峰值 %3    斜率 %4 %6/s    样本数 %5")
                            .arg(number(s.mean()), number(s.standardDeviation(), 3),
                                 number(s.peakToPeak(), 3), number(s.slope(), 3))
                            .arg(s.count())
                            .arg(unit));
}

void CalibrationWizard::showTable(const QVector<double> &nominals, const QString &unit)
{
    table->setRowCount(nominals.size());
    table->horizontalHeaderItem(ColNominal)->setText(tr("标称值\n(%1)").arg(unit));
    const auto set = [this](int row, int column, const QString &text, const QColor &colour = {}) {
        QTableWidgetItem *item = table->item(row, column);
        if (!item) {
            item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            table->setItem(row, column, item);
        }
        item->setText(text);
        item->setForeground(colour.isValid() ? QBrush(colour) : QBrush());
    };
    // Errors in the unit to 0.001 % of the span, as fine as the percentage beside them.
    const double span = showingRun ? calibration->plan().span() : 0.0;
    const int errorDecimals = span > 0 ? qBound(0, int(std::ceil(-std::log10(span * 1e-5))), 9) : 6;
    for (int row = 0; row < nominals.size(); ++row) {
        set(row, ColPoint, QString::number(row + 1));
        set(row, ColNominal, number(nominals[row]));
        for (const PhaseColumns &c : phaseColumns) {
            const CalibrationPoint *p = showingRun ? calibration->result(c.phase, row) : nullptr;
            set(row, c.reference, p ? number(p->reference) : QString());
            if (c.reading >= 0)
                set(row, c.reading,
                    !p ? QString() : number(p->reading) + (p->manual ? tr(" (手动)") : QString()));
            if (c.error >= 0)
                set(row, c.error,
                    p ? QString::asprintf("%+.*f\n(%+.3f%%)", errorDecimals, p->error,
                                          p->errorPctSpan)
                      : QString());
            if (c.verdict >= 0) {
                const bool pass = p && p->pass.value_or(false);
                set(row, c.verdict,
                    !p     ? QString()
                    : pass ? tr("合格")
                           : tr("不合格"),
                    pass ? passColour : failColour);
            }
            if (c.adc >= 0)
                set(row, c.adc, p ? number(p->rawAdc, 7) : QString());
        }
    }
}

void CalibrationWizard::warn(const QString &text)
{
    // Shown once the reply or click that led here is handled: the dialog's
    // own event loop must not run inside it.
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            Dialog_Warning dialog(nullptr, tr("警告"), text);
            dialog.move(x() + (width() - 320) / 2, y() + (height() - 150) / 2);
            dialog.exec();
        },
        Qt::QueuedConnection);
}

QVector<QPair<QLineEdit *, QString>> CalibrationWizard::rememberedFields() const
{
    return {{toleranceEdit, QStringLiteral("tolerancePct")},
            {windowEdit, QStringLiteral("windowSeconds")},
            {bandEdit, QStringLiteral("bandPct")},
            {standardEdit, QStringLiteral("standard")},
            {serialEdit, QStringLiteral("standardSerial")},
            {certificateEdit, QStringLiteral("standardCertificate")},
            {uncertaintyEdit, QStringLiteral("standardUncertainty")},
            {technicianEdit, QStringLiteral("technician")},
            {ambientEdit, QStringLiteral("ambient")}};
}

void CalibrationWizard::loadSettings()
{
    QSettings s(settingsFile, QSettings::IniFormat);
    s.beginGroup(QStringLiteral("calibrationWizard"));
    for (const auto &field : rememberedFields())
        field.first->setText(s.value(field.second, field.first->text()).toString());
    previousTolerance = toleranceEdit->text();
    rememberedChannel = s.value(QStringLiteral("channel"), 0).toInt();
    const CertificateIssuer issuer = CertificateIssuer::load(settingsFile);
    issuerNameEdit->setText(issuer.name);
    issuerAddressEdit->setText(issuer.address);
}

void CalibrationWizard::saveSettings() const
{
    {
        QSettings s(settingsFile, QSettings::IniFormat);
        s.beginGroup(QStringLiteral("calibrationWizard"));
        for (const auto &field : rememberedFields())
            s.setValue(field.second, field.first->text());
        s.setValue(QStringLiteral("channel"), int(selectedChannel()));
    }
    // Kept with the setup, not only with a certificate; a failure is said
    // when a certificate is written.
    QString ignored;
    issuer().save(settingsFile, &ignored);
}

CertificateIssuer CalibrationWizard::issuer() const
{
    return {issuerNameEdit->text().trimmed(), issuerAddressEdit->text().trimmed()};
}
