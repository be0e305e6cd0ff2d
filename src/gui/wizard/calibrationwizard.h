#pragma once

// The calibration wizard: as found, adjust and as left of one channel, each
// point taken once the instrument's reading has settled, every result kept in
// the calibration records. A top-level window that follows the window it was
// opened from. It hears the worker's replies and reads the mirror under its
// lock; the window it belongs to answers three questions through Hooks: what
// the channel's calibration page holds, which meter answers, and (for the
// adjustment) writing the calibration the way the page's 写入数据 does.
// What it computes lives in CalibrationRun; this is its view.

#include "calibration/calibrationplan.h"
#include "calibration/calibrationrun.h"

#include <QElapsedTimer>
#include <QPair>
#include <QString>
#include <QVector>
#include <QWidget>

#include <functional>
#include <optional>

class CalibrationStore;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class modbusThread;
struct CertificateIssuer;

class CalibrationWizard : public QWidget
{
    Q_OBJECT

public:
    struct Hooks
    {
        std::function<ChannelPage(CalibrationChannel)> calibrationPage;
        std::function<std::optional<quint32>()> connectedMeter;
        // Fills the channel's page with the points and writes it as the page's
        // own write does; false when the write was not sent.
        std::function<bool(CalibrationChannel, const QVector<double> &standard,
                           const QVector<double> &collected)>
            writeCalibration;
    };

    CalibrationWizard(modbusThread *worker, Hooks hooks, const QString &settingsPath,
                      QWidget *parent = nullptr);
    ~CalibrationWizard() override;

    const CalibrationRun &run() const { return *calibration; }

    // Asks where a certificate is written, given its suggested file name;
    // tests replace it so no dialog is shown. A file chosen in the dialog is
    // opened for viewing once written.
    using FileNameProvider = std::function<QString(const QString &suggested)>;
    void setFileNameProvider(FileNameProvider provider) { fileNameProvider = std::move(provider); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildSetup(QGridLayout *grid);
    QWidget *buildCertificates();
    void onWorkerMessage(const QString &message);
    void takeSample(qint64 tMs);
    void showChannels();
    void showPagePoints();
    bool makePlan(CalibrationPlan *plan);
    void startPhase(CalibrationPhase phase);
    void onAdjustmentReady(const QVector<double> &standard, const QVector<double> &collected);
    void onPhaseFinished(CalibrationPhase phase);
    void showRun();
    void showTable(const QVector<double> &nominals, const QString &unit);
    void showStatistics();
    // The earlier calibrations of the meter answering now, newest first.
    void showHistory();
    // Why the records cannot be read, for a person.
    static QString unreadable(const CalibrationStore &store);
    // Renders the certificate of a calibration kept at storePath into a file
    // the user chooses.
    void writeCertificate(const QString &certificate, const QString &storePath);
    CertificateIssuer issuer() const;
    void warn(const QString &text);
    // The setup fields kept in the settings file, by key.
    QVector<QPair<QLineEdit *, QString>> rememberedFields() const;
    void loadSettings();
    void saveSettings() const;
    CalibrationChannel selectedChannel() const;
    qint64 now() const;

    modbusThread *worker;
    Hooks hooks;
    QString settingsFile;
    CalibrationRun *calibration;
    QElapsedTimer clock;
    qint64 clockEpochMs = 0;
    // The table shows the open (or last) calibration rather than the page.
    bool showingRun = false;
    QString doneText;
    QString note;
    QString previousTolerance;
    int rememberedChannel = 0;
    std::optional<quint32> historyMeter;
    FileNameProvider fileNameProvider;

    QWidget *setupBox;
    QComboBox *channelCombo;
    QLineEdit *toleranceEdit;
    QLineEdit *windowEdit;
    QLineEdit *bandEdit;
    QLineEdit *standardEdit;
    QLineEdit *serialEdit;
    QLineEdit *certificateEdit;
    QLineEdit *uncertaintyEdit;
    QLineEdit *technicianEdit;
    QLineEdit *ambientEdit;
    QLabel *uncertaintyUnit;
    QTableWidget *table;
    QLabel *promptLabel;
    QLineEdit *referenceEdit;
    QProgressBar *settleBar;
    QLabel *statsLabel;
    QLabel *verdictPhaseLabel;
    QLabel *verdictLabel;
    QLabel *meterLabel;
    QLabel *noteLabel;
    QPushButton *startButton;
    QPushButton *recordButton;
    QPushButton *adjustButton;
    QPushButton *asLeftButton;
    QPushButton *finishButton;
    QLineEdit *issuerNameEdit;
    QLineEdit *issuerAddressEdit;
    QTableWidget *historyTable;
    QLabel *historyErrorLabel;
    QPushButton *certificateButton;
    QPushButton *historyCertificateButton;
};
