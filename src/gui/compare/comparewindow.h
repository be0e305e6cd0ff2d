#pragma once

// The instrument against a backup, or two backups, field by field, grouped by
// page; the differences can be filtered, exported as CSV and, against the
// instrument, written back field by field. A top-level window that follows
// the window it was opened from; it talks to the worker only through its
// commands, its replies and the mirror lock.

#include "model/backupfile.h"
#include "model/comparison.h"

#include <QBitArray>
#include <QString>
#include <QVector>
#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class modbusThread;

class CompareWindow : public QWidget
{
    Q_OBJECT

public:
    enum class FileRole
    {
        A,   // the first file, when no instrument answers
        B,   // the file the instrument (or the first file) is compared with
        Csv, // where the table is exported
    };
    // Asks for a file name; tests replace it so no dialog is shown.
    using FileNameProvider = std::function<QString(FileRole role)>;
    // Whether an instrument is connected and answering.
    using LinkProbe = std::function<bool()>;

    CompareWindow(modbusThread *worker, LinkProbe instrumentAnswers, QWidget *parent = nullptr);

    void setFileNameProvider(FileNameProvider provider) { fileNameProvider = std::move(provider); }
    // Asks for the file (two of them when no instrument answers) and compares.
    void start();
    const QVector<compare::Row> &rows() const { return compared; }
    // Reading the instrument or writing to it: the buttons wait.
    bool isBusy() const { return step != Step::Idle; }

signals:
    void sendMessageToModbusThread(QString Message);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Step
    {
        Idle,
        Reading,
        Writing,
        Saving,
    };
    // What the instrument's registers are read for.
    enum class Purpose
    {
        Show,    // a new comparison
        Stage,   // its fresh values around the chosen fields, before a write
        Recheck, // after a write
    };

    QString askFile(FileRole role);
    bool load(const QString &path, quint16 *regs);
    // False, with the comparison ended, when no instrument answers.
    bool answering();
    bool send(const QString &command);
    void readInstrument(Purpose purpose);
    void onWorkerMessage(const QString &message);
    void takeSnapshot();
    void showComparison();
    void fillTable();
    void applyFilter();
    void updateButtons();
    void writeChosen();
    void startWrites();
    void writeNext();
    bool stage(const compare::WriteBlock &block, bool again);
    void writeEnded(const QString &failure);
    void finish(const QString &stateText);
    bool exportCsv(const QString &path);
    QVector<const fields::Field *> chosenFields() const;
    bool sameMeter() const;
    QString stateText(compare::State state) const;
    // What the last write did, for the state line.
    QString writtenText() const;

    modbusThread *worker;
    LinkProbe instrumentAnswers;
    FileNameProvider fileNameProvider;
    QLabel *sources;
    QLabel *state;
    QCheckBox *differencesOnly;
    QPushButton *openButton;
    QPushButton *exportButton;
    QPushButton *writeButton;
    QTableWidget *table;

    bool fromInstrument = false;
    QString fileA;
    QString fileB;
    QString lastFolder;
    quint16 imageA[backup::RegisterCount] = {};
    quint16 imageB[backup::RegisterCount] = {};
    QVector<compare::Row> compared;

    Step step = Step::Idle;
    Purpose purpose = Purpose::Show;
    // The write in progress: the fields chosen, which registers come from the
    // file, the blocks and how far they got.
    QVector<const fields::Field *> writing;
    QBitArray fromFile;
    QVector<compare::WriteBlock> plan;
    int planIndex = 0;
    int blocksWritten = 0; // and saved
    int blocksTaken = 0;   // written, saved or not
    QString writeFailure;
};
