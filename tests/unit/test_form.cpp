// Inventory of the two designer forms: every widget other code addresses by name must exist
// with its class, caption, item list, limits and start state, because pages and the instrument
// exchange combo indexes and read widgets by object name. The expected values live in
// form_inventory.txt, one record a line; each data function turns one record kind into rows.
#include "ui_dialog_warning.h"
#include "ui_mainwindow.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QTextStream>
#include <QtTest>

#include <memory>

namespace {

// Fields after the record kind. A record of another kind or length fails the run rather than
// dropping its checks silently.
const QHash<QString, int> fieldCounts{{"widget", 3}, {"layout", 6}, {"size", 3},    {"place", 3},
                                      {"edit", 4},   {"font", 3},   {"enabled", 2}, {"combo", 2},
                                      {"table", 7},  {"cell", 5},   {"prop", 3}};

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

// "x,y,w,h" or "WxH"; "inf" is the unlimited size.
QVector<int> ints(const QString &f)
{
    QVector<int> out;
    for (const QString &p : f.split(QRegularExpression("[,x]")))
        out << (p == "inf" ? QWIDGETSIZE_MAX : p.toInt());
    return out;
}

QSize size(const QString &f)
{
    const QVector<int> v = ints(f);
    return {v.value(0, -1), v.value(1, -1)};
}

QRect rect(const QString &f)
{
    const QVector<int> v = ints(f);
    return f == "-" ? QRect() : QRect(v.value(0), v.value(1), v.value(2), v.value(3));
}

QString caption(const QObject *o)
{
    auto *g = qobject_cast<const QGroupBox *>(o);
    return g ? g->title() : o->property("text").toString();
}

// Spacers show as "~h40x20" (expanding horizontally) or "~v20x185" (expanding vertically).
QStringList itemNames(const QLayout *l)
{
    QStringList out;
    for (int i = 0; i < l->count(); ++i) {
        QLayoutItem *it = l->itemAt(i);
        QObject *o = it->widget() ? static_cast<QObject *>(it->widget()) : it->layout();
        const QSize s = it->sizeHint();
        const char dir = it->expandingDirections() & Qt::Horizontal ? 'h' : 'v';
        out << (o ? o->objectName() : QString("~%1%2x%3").arg(dir).arg(s.width()).arg(s.height()));
    }
    return out;
}

QString stretches(const QLayout *l)
{
    QStringList out;
    if (auto *box = qobject_cast<const QBoxLayout *>(l)) {
        for (int i = 0; i < box->count(); ++i)
            out << QString::number(box->stretch(i));
    }
    return out.join(',');
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

    void layouts_data() { rows("layout"); }
    void layouts()
    {
        FETCH_SUBJECT(QLayout, l);
        if (!text(f[1]).isNull())
            QCOMPARE(QString(l->metaObject()->className()), f[1]);
        QCOMPARE(itemNames(l), list(f[2]));
        if (!text(f[3]).isNull())
            QCOMPARE(l->spacing(), f[3].toInt());
        const QRect m = rect(f[4]); // left, top, right, bottom
        if (!text(f[4]).isNull())   // a zero QRect is null too
            QCOMPARE(l->contentsMargins(), QMargins(m.x(), m.y(), m.width(), m.height()));
        if (!text(f[5]).isNull())
            QCOMPARE(stretches(l), f[5]);
    }

    void sizeLimits_data() { rows("size"); }
    void sizeLimits()
    {
        FETCH_SUBJECT(QWidget, w);
        QCOMPARE(w->minimumSize(), size(f[1]));
        QCOMPARE(w->maximumSize(), size(f[2]));
    }

    void placement_data() { rows("place"); }
    void placement()
    {
        FETCH_SUBJECT(QWidget, w);
        QVERIFY(w->parentWidget());
        QCOMPARE(w->parentWidget()->objectName(), f[1]);
        QCOMPARE(w->geometry(), rect(f[2]));
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

    void fonts_data() { rows("font"); }
    void fonts()
    {
        FETCH_SUBJECT(QWidget, w);
        QCOMPARE(w->font().family(), f[1]);
        QCOMPARE(w->font().pointSize(), f[2].toInt());
        QVERIFY(!w->font().bold());
    }

    void startEnabled_data() { rows("enabled"); }
    void startEnabled()
    {
        FETCH_SUBJECT(QWidget, w);
        // The widget's own flag, whatever its group says.
        QCOMPARE(w->isEnabledTo(w->parentWidget()), f[1] == "1");
    }

    void nothingElseDiffers()
    {
        const auto listed = [this](const char *kind, int field, const char *value) {
            QStringList out;
            for (const Record &r : records.value(kind))
                out << (r.f[field] == value ? r.f[0] : QString());
            out.removeAll(QString());
            out.sort();
            return out;
        };
        QStringList disabled, readOnly;
        for (QWidget *w : window->findChildren<QWidget *>()) {
            if (!w->isEnabledTo(w->parentWidget()))
                disabled << w->objectName();
            if (qobject_cast<QLineEdit *>(w) && static_cast<QLineEdit *>(w)->isReadOnly())
                readOnly << w->objectName();
        }
        disabled.sort();
        readOnly.sort();
        QCOMPARE(disabled, listed("enabled", 1, "0"));
        QCOMPARE(readOnly, listed("edit", 2, "1"));
        // Every combo box of the form has its row in comboItems.
        QCOMPARE(window->findChildren<QComboBox *>().size(), records.value("combo").size());
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

    void tables_data() { rows("table"); }
    void tables()
    {
        FETCH_SUBJECT(QTableWidget, t);
        const int rows = f[1].toInt(), columns = f[2].toInt();
        QCOMPARE(t->rowCount(), rows);
        QCOMPARE(t->columnCount(), columns);
        QVERIFY(t->horizontalHeader()->isHidden());
        QVERIFY(t->verticalHeader()->isHidden());
        QCOMPARE(t->horizontalHeader()->defaultSectionSize(), f[3].toInt());
        QCOMPARE(t->verticalHeader()->defaultSectionSize(), f[4].toInt());
        QCOMPARE(t->columnWidth(columns - 1), f[3].toInt());
        QCOMPARE(t->rowHeight(rows - 1), f[4].toInt());
        QCOMPARE(int(t->horizontalScrollBarPolicy()), named.value(f[5], -1));
        QCOMPARE(int(t->verticalScrollBarPolicy()), named.value(f[5], -1));
        if (f[0] == "tableWidget_customreg")
            QCOMPARE(t->horizontalHeader()->minimumSectionSize(), 150);

        // Only caption cells carry items; the editors go into the others at run time.
        int count = 0;
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c)
                count += t->item(r, c) ? 1 : 0;
        QCOMPARE(count, f[6].toInt());
    }

    void captionCells_data() { rows("cell"); }
    void captionCells()
    {
        FETCH_SUBJECT(QTableWidget, t);
        QTableWidgetItem *item = t->item(f[1].toInt(), f[2].toInt());
        QVERIFY(item);
        QCOMPARE(item->text(), text(f[3]));
        QCOMPARE(item->textAlignment(), int(Qt::AlignCenter));
        QCOMPARE(int(item->flags()), named.value(f[4], -1));
    }

    void properties_data() { rows("prop"); }
    void properties()
    {
        FETCH_SUBJECT(QObject, o);
        const QVariant v =
            f[1] == "parent" ? o->parent()->objectName() : o->property(qPrintable(f[1]));
        QVERIFY2(v.isValid(), "no such property");
        const QSize s = v.toSize();
        const QString shown = v.type() == QVariant::Size
                                  ? QString("%1x%2").arg(s.width()).arg(s.height())
                              : v.type() == QVariant::Bool     ? QString::number(v.toBool())
                              : v.type() >= QVariant::UserType ? QString::number(v.toInt()) // enums
                                                               : v.toString();
        QCOMPARE(shown, f[2]);
    }

    void stackingOrder()
    {
        QCOMPARE(window->centralWidget(), ui.centralWidget);
        QCOMPARE(ui.stackedWidget->indexOf(ui.page_3) - ui.stackedWidget->indexOf(ui.page), 2);
        QCOMPARE(ui.stackedWidget->indexOf(ui.page_2), 1);
        // The later ones lie on top of the status bar's progress bar.
        QCOMPARE(ui.widget_state->children().indexOf(ui.progressBar), 0);
        QVERIFY(ui.widget_state->children().indexOf(ui.label_state) >
                ui.widget_state->children().indexOf(ui.label_connect));
        for (const QString &ch : QStringList{"yali", "wendu"}) {
            const QObjectList siblings = find("label_" + ch + "ADC")->parent()->children();
            const int label = siblings.indexOf(find("label_" + ch + "ADC"));
            QVERIFY(label > siblings.indexOf(find("progressBar_" + ch + "ADCz")));
            QVERIFY(label > siblings.indexOf(find("progressBar_" + ch + "ADCf")));
        }
        QTextCursor start(ui.textEdit_custom50reg->document());
        QCOMPARE(start.charFormat().font().pointSize(), 9);
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
