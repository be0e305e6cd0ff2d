// What the program's code relies on in the two designer forms: every widget it addresses by
// name exists with its class and caption, the combo boxes list their items in the order of the
// instrument's codes, and the editors have the limits the pages count on. The expected values live
// in form_inventory.txt, one record a line; each data function turns one record kind into rows.
#include "ui_dialog_warning.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QTextStream>
#include <QtTest>

#include <memory>

namespace {

// Fields after the record kind. A record of another kind or length fails the run rather than
// dropping its checks silently.
const QHash<QString, int> fieldCounts{{"widget", 3}, {"edit", 4}, {"enabled", 2}, {"combo", 2}};

const int editorDefaults = Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsDragEnabled |
                           Qt::ItemIsDropEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled;
const QHash<QString, int> named{{"left", Qt::AlignLeft | Qt::AlignVCenter},
                                {"right", Qt::AlignRight | Qt::AlignVCenter},
                                {"centre", Qt::AlignCenter},
                                {"off", Qt::ScrollBarAlwaysOff},
                                {"asneeded", Qt::ScrollBarAsNeeded},
                                {"locked", Qt::ItemIsEnabled},
                                {"default", editorDefaults}};

struct Record
{
    int line;
    QStringList f;
};

// "-" is a value the row does not check (a null string), "" an empty text.
QString text(const QString &f)
{
    return f == "-" ? QString() : f == "\"\"" ? QString("") : f;
}

QStringList list(const QString &f)
{
    return text(f).isEmpty() ? QStringList() : f.split(',');
}

QString caption(const QObject *o)
{
    auto *g = qobject_cast<const QGroupBox *>(o);
    return g ? g->title() : o->property("text").toString();
}

} // namespace

// Fetches the row's record f and the object its first field names, as a T *.
#define FETCH_SUBJECT(T, var)                                                                      \
    QFETCH(QStringList, f);                                                                        \
    auto *var = qobject_cast<T *>(find(f[0]));                                                     \
    QVERIFY2(var, "missing, not unique or of another class")

class FormTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFile file(QStringLiteral(KV3PD_FORM_INVENTORY));
        QVERIFY2(file.open(QIODevice::ReadOnly | QIODevice::Text), qPrintable(file.errorString()));
        QTextStream in(&file);
        in.setCodec("UTF-8");
        for (int line = 1; !in.atEnd(); ++line) {
            const QString l = in.readLine();
            if (l.trimmed().isEmpty() || l.startsWith('#'))
                continue;
            QStringList f = l.split('\t');
            const QString kind = f.takeFirst();
            QVERIFY2(fieldCounts.value(kind, -1) == f.size(),
                     qPrintable(QString("inventory line %1: bad record").arg(line)));
            records[kind].append({line, f});
        }
        for (const QString &kind : fieldCounts.keys())
            QVERIFY2(records.contains(kind), qPrintable("no inventory records of " + kind));

        window = std::make_unique<QMainWindow>();
        ui.setupUi(window.get());
        dialog = std::make_unique<QDialog>();
        dui.setupUi(dialog.get());
    }

    void widgets_data() { rows("widget"); }
    void widgets()
    {
        FETCH_SUBJECT(QObject, o);
        QCOMPARE(QString(o->metaObject()->className()), f[1]);
        if (!text(f[2]).isNull())
            QCOMPARE(caption(o), text(f[2]));
    }

    void lineEdits_data() { rows("edit"); }
    void lineEdits()
    {
        FETCH_SUBJECT(QLineEdit, e);
        QCOMPARE(e->maxLength(), f[1].toInt());
        QCOMPARE(e->isReadOnly(), f[2] == "1");
        QCOMPARE(int(e->alignment()), named.value(f[3], -1));
        QVERIFY(!e->dragEnabled());
    }

    void startEnabled_data() { rows("enabled"); }
    void startEnabled()
    {
        FETCH_SUBJECT(QWidget, w);
        // The widget's own flag, whatever its group says.
        QCOMPARE(w->isEnabledTo(w->parentWidget()), f[1] == "1");
    }

    void comboItems_data() { rows("combo"); }
    void comboItems()
    {
        FETCH_SUBJECT(QComboBox, c);
        for (int pass = 0; pass < 2; ++pass) { // the items must survive a retranslation
            QStringList actual;
            for (int i = 0; i < c->count(); ++i)
                actual << c->itemText(i);
            QCOMPARE(actual, list(f[1]));
            QCOMPARE(c->currentIndex(), actual.isEmpty() ? -1 : 0);
            ui.retranslateUi(window.get());
        }
    }

private:
    void rows(const QString &kind) const
    {
        QTest::addColumn<QStringList>("f");
        for (const Record &r : records.value(kind))
            QTest::addRow("%s line %d", qPrintable(r.f.first()), r.line) << r.f;
    }

    // Names under "Dialog_Warning/" are the warning dialog's; a name must be unique in its form, or
    // be the form's own.
    QObject *find(const QString &name) const
    {
        const bool inDialog = name.startsWith(dialog->objectName() + '/');
        QObject *form = inDialog ? static_cast<QObject *>(dialog.get()) : window.get();
        if (name.section('/', -1) == form->objectName())
            return form;
        const QList<QObject *> all = form->findChildren<QObject *>(name.section('/', -1));
        return all.size() == 1 ? all.first() : nullptr;
    }

    QHash<QString, QVector<Record>> records;
    std::unique_ptr<QMainWindow> window;
    Ui::MainWindow ui;
    std::unique_ptr<QDialog> dialog;
    Ui::Dialog_Warning dui;
};

QTEST_MAIN(FormTest)
#include "test_form.moc"
