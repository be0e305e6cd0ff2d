// Inventory of the two designer forms: every widget other code addresses by name must exist
// with its class, caption, item list, limits and start state, because pages and the instrument
// exchange combo indexes and read widgets by object name.
#include "ui_dialog_warning.h"
#include "ui_mainwindow.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(QMargins)

namespace {

constexpr int Inf = QWIDGETSIZE_MAX;

const QStringList baudList{"1200", "2400", "4800", "9600", "19200", "38400"};
const QStringList parityList{"NONE", "ODD", "EVEN"};
const QStringList pressureUnits{"Pa",  "KPa", "MPa",     "mmH2O", "mH2O", "bar",
                                "psi", "atm", "kgf/cm2", "mm",    "m"};
const QStringList temperatureUnits{"℃", "℉"};
const QStringList decimalsList{"0", "1", "2", "3", "4"};

const int lockedCell = Qt::ItemIsEnabled;
const int defaultCell = Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsDragEnabled |
                        Qt::ItemIsDropEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled;

const QStringList channels{"yali", "wendu"};

QString caption(const QObject *o)
{
    if (auto *g = qobject_cast<const QGroupBox *>(o))
        return g->title();
    return o->property("text").toString();
}

// Spacers show as "~h40x20" (expanding horizontally) or "~v20x185" (expanding vertically).
QStringList itemNames(const QLayout *l)
{
    QStringList out;
    for (int i = 0; i < l->count(); ++i) {
        QLayoutItem *it = l->itemAt(i);
        if (it->widget()) {
            out << it->widget()->objectName();
        } else if (it->layout()) {
            out << it->layout()->objectName();
        } else if (QSpacerItem *s = it->spacerItem()) {
            const bool h = s->sizePolicy().horizontalPolicy() == QSizePolicy::Expanding;
            out << QStringLiteral("~%1%2x%3")
                       .arg(h ? 'h' : 'v')
                       .arg(s->sizeHint().width())
                       .arg(s->sizeHint().height());
        }
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

class FormTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void widgets_data();
    void widgets();
    void layouts_data();
    void layouts();
    void sizeLimits_data();
    void sizeLimits();
    void placement_data();
    void placement();
    void lineEdits_data();
    void lineEdits();
    void fonts_data();
    void fonts();
    void progressBars_data();
    void progressBars();
    void startEnabled_data();
    void startEnabled();
    void nothingElseDiffers();
    void comboItems_data();
    void comboItems();
    void comboItemsSurviveRetranslate_data() { comboItems_data(); }
    void comboItemsSurviveRetranslate();
    void tables_data();
    void tables();
    void captionCells_data();
    void captionCells();
    void startState();

    void dialogWidgets_data();
    void dialogWidgets();
    void dialogWindow();

private:
    QObject *find(const QString &name) const;

    std::unique_ptr<QMainWindow> window;
    Ui::MainWindow ui;
    std::unique_ptr<QDialog> dialog;
    Ui::Dialog_Warning dui;
};

void FormTest::initTestCase()
{
    window = std::make_unique<QMainWindow>();
    ui.setupUi(window.get());
    dialog = std::make_unique<QDialog>();
    dui.setupUi(dialog.get());
}

QObject *FormTest::find(const QString &name) const
{
    const QList<QObject *> all = window->findChildren<QObject *>(name);
    return all.size() == 1 ? all.first() : nullptr;
}

void FormTest::widgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text"); // a null string: no caption to check

    auto row = [](const QString &name, const char *cls, const QString &text = QString()) {
        QTest::addRow("%s", qPrintable(name)) << name << QString(cls) << text;
    };
    row("centralWidget", "QWidget");
    row("widget_title", "QWidget");
    row("pushButton_mainIcon", "QPushButton", "");
    row("label_mainTitle", "QLabel", "KV-3PD工厂调试软件V0.5");
    row("label_makeDate", "QLabel", "TextLabel");
    row("pushButton_min", "QPushButton", "_");
    row("pushButton_close", "QPushButton", "×");
    row("widget_main", "QWidget");
    row("stackedWidget", "QStackedWidget");
    row("widget_state", "QWidget");
    row("progressBar", "QProgressBar");
    row("label_connect", "QLabel", "当前连接：未连接");
    row("label_state", "QLabel", "状态");

    row("groupBox_8", "QGroupBox", "端口设置");
    row("label_11", "QLabel", "端口号：");
    row("label_12", "QLabel", "波特率：");
    row("label_17", "QLabel", "校验位：");
    row("label_13", "QLabel", "地  址：");
    row("comboBox_duankouhao", "QComboBox");
    row("comboBox_baud", "QComboBox");
    row("comboBox_parity", "QComboBox");
    row("comboBox_addr", "QComboBox");
    row("pushButton_chazhaoduankou", "QPushButton", "查找端口");
    row("pushButton_sousuo", "QPushButton", "搜索");
    row("pushButton_lianjie", "QPushButton", "连接");

    row("groupBox", "QGroupBox", "仪表信息");
    row("label_model", "QLabel", "板卡型号：");
    row("label_yibiaobianhao", "QLabel", "仪表编号：");
    row("label_yibiaoleixing", "QLabel", "仪表类型：");
    row("label_yibiaoliangcheng", "QLabel", "仪表量程：");
    row("label_ruanjianbanben", "QLabel", "软件版本：");
    row("pushButton_duquyibiaoxinxi", "QPushButton", "读取");

    row("groupBox_11", "QGroupBox", "测量输出");
    row("label_15", "QLabel", "压力浮点型：");
    row("label_59", "QLabel", "温度浮点型：");
    row("label_16", "QLabel", "压力整型：");
    row("label_60", "QLabel", "温度整型：");
    row("label_61", "QLabel", "电池电压：");
    row("label_62", "QLabel", "电池电量：");
    for (const char *n :
         {"lineEdit_yalizhi", "lineEdit_wenduzhi", "lineEdit_yalizhizhengxing",
          "lineEdit_wenduzhizhengxing", "lineEdit_dianchidianya", "lineEdit_dianchidianliang"})
        row(n, "QLineEdit", "");
    row("label_yalidanwei", "QLabel", "MPa");
    row("label_wendudanwei", "QLabel", "℃");
    row("label_wendudanwei_2", "QLabel", "V");
    row("label_wendudanwei_3", "QLabel", "%");

    row("page", "QWidget");
    row("groupBox_2", "QGroupBox", "用户设置");
    row("label_35", "QLabel", "地    址：");
    row("lineEdit_yonghudizhi", "QLineEdit", "1");
    row("label_36", "QLabel", "波 特 率：");
    row("comboBox_yonghubotelv", "QComboBox");
    row("label_37", "QLabel", "校 验 位：");
    row("comboBox_yonghuparity", "QComboBox");
    row("label_9", "QLabel", "压力单位：");
    row("comboBox_yonghuyalidanwei", "QComboBox");
    row("label_10", "QLabel", "压力小数点：");
    row("comboBox_yonghuyalixiaoshudian", "QComboBox");
    row("label_39", "QLabel", "压力增益值：");
    row("lineEdit_yali_k", "QLineEdit", "0");
    row("label_40", "QLabel", "压力偏移值：");
    row("lineEdit_yalijizhi", "QLineEdit", "0");
    row("label_53", "QLabel", "密度(g/cm3)：");
    row("lineEdit_density", "QLineEdit", "0");
    row("label_41", "QLabel", "采集周期(S)：");
    row("lineEdit_caijizhouqi", "QLineEdit", "");
    row("label_44", "QLabel", "背光时间(S)：");
    row("comboBox_beiguangshijian", "QComboBox");
    row("label_43", "QLabel", "显示切换时间(S)：");
    row("lineEdit_ptswitchtime", "QLineEdit", "");
    row("label_51", "QLabel", "温度单位：");
    row("comboBox_yonghuwendudanwei", "QComboBox");
    row("label_14", "QLabel", "温度小数点：");
    row("comboBox_yonghuwenduxiaoshudian", "QComboBox");
    row("label_52", "QLabel", "ADC 速率：");
    row("comboBox_ADCspeed", "QComboBox");
    row("label_50", "QLabel", "重力加速度：");
    row("lineEdit_g", "QLineEdit", "0");
    row("pushButton_duqushezhi", "QPushButton", "读取");
    row("pushButton_xierushezhi", "QPushButton", "写入");
    row("groupBox_yaliercijiaozhun", "QGroupBox", "压力二次校准");
    row("groupBox_wenduercijiaozhun", "QGroupBox", "温度二次校准");
    for (const QString &ch : channels) {
        row("label_ecjz_" + ch + "_unit", "QLabel", "单位：");
        row("tableWidget_" + ch + "_ECJZ", "QTableWidget");
        for (const QString &kind : QStringList{"biaozhunzhi", "caijizhi"})
            for (int k = 1; k <= 2; ++k)
                row(QString("lineEdit_ecjz_%1%2%3").arg(ch, kind).arg(k), "QLineEdit", "");
        row("pushButton_ecjz_" + ch + "CJ1", "QPushButton", "采集");
        row("pushButton_ecjz_" + ch + "CJ2", "QPushButton", "采集");
        row("pushButton_duqu" + ch + "ercijiaozhun", "QPushButton", "读取");
        row("pushButton_xieru" + ch + "ercijiaozhun", "QPushButton", "写入");
    }
    row("pushButton_qingling", "QPushButton", "清零");
    row("pushButton_qingchuqingling", "QPushButton", "反清零");
    row("pushButton_huifuchuchang", "QPushButton", "恢复出厂");
    row("pushButton_gongchangjiaozhun", "QPushButton", "工厂校准>>");

    row("page_2", "QWidget");
    row("groupBox_5", "QGroupBox", "仪表参数设置");
    row("label_47", "QLabel", "仪表类型：");
    row("comboBox_yibiaoleixing", "QComboBox");
    row("label_38", "QLabel", "仪表编号：");
    row("lineEdit_yibiaobianhao", "QLineEdit", "1911140001");
    row("pushButton_yibiaobianhaojiayi", "QPushButton", "+1");
    row("pushButton_duquyibiaocanshu", "QPushButton", "读取");
    row("pushButton_xieruyibiaocanshu", "QPushButton", "写入");
    row("groupBox_yalijiaozhun", "QGroupBox", "压力校准");
    row("groupBox_wendujiaozhun", "QGroupBox", "温度校准");
    row("label_19", "QLabel", "量      程：");
    row("label_42", "QLabel", "量      程：");
    row("label_48", "QLabel", " ～");
    row("label_70", "QLabel", " ～");
    row("label_46", "QLabel", "ADC增益：");
    row("label_45", "QLabel", "ADC增益：");
    row("label_25", "QLabel", "零点屏蔽(‰)：");
    row("lineEdit_yalilingdianpingbi", "QLineEdit", "");
    row("label_49", "QLabel", "标准值单位：");
    row("label_71", "QLabel", "标准值单位：");
    row("label_5", "QLabel", "校准点数：");
    row("label_7", "QLabel", "校准点数：");
    row("label_65", "QLabel", "ADC值：");
    row("label_66", "QLabel", "ADC值：");
    for (const QString &ch : channels) {
        row("lineEdit_" + ch + "liangchengL", "QLineEdit", "");
        row("lineEdit_" + ch + "liangchengH", "QLineEdit", "");
        row("comboBox_" + ch + "liangchengdanwei", "QComboBox");
        row("pushButton_duqu" + ch + "shuju", "QPushButton", "读取数据");
        row("comboBox_" + ch + "ADCzengyi", "QComboBox");
        row("pushButton_xieru" + ch + "shuju", "QPushButton", "写入数据");
        row("comboBox_" + ch + "biaozhunzhidanwei", "QComboBox");
        row("comboBox_" + ch + "dianshu", "QComboBox");
        row("pushButton_junfen" + ch, "QPushButton", "按量程均分");
        row("progressBar_" + ch + "ADCf", "QProgressBar");
        row("progressBar_" + ch + "ADCz", "QProgressBar");
        row("label_" + ch + "ADC", "QLabel", "0");
        row("tableWidget_FXXXZ_" + ch, "QTableWidget");
        for (int k = 1; k <= 5; ++k) {
            row(QString("lineEdit_fxxxz_%1biaozhunzhi%2").arg(ch).arg(k), "QLineEdit", "");
            row(QString("lineEdit_fxxxz_%1caijizhi%2").arg(ch).arg(k), "QLineEdit", "");
            row(QString("pushButton_FXXXZ_%1CJ%2").arg(ch).arg(k), "QPushButton", "采集");
        }
    }
    row("pushButton_yibiaoxinxi", "QPushButton", "<<仪表信息");
    row("pushButton_duququanbushuju", "QPushButton", "读取全部数据");
    row("pushButton_xieruquanbushuju", "QPushButton", "写入全部数据");
    row("pushButton_gongchangbaocun", "QPushButton", "工厂保存数据");
    row("pushButton_customreg", "QPushButton", "寄存器组态>>");

    row("page_3", "QWidget");
    row("groupBox_6", "QGroupBox", "寄存器组态");
    row("tableWidget_customreg", "QTableWidget");
    row("layoutWidget8", "QWidget");
    row("label", "QLabel", "连续50个寄存器");
    row("label_2", "QLabel", "起始地址：");
    row("lineEdit_canshudizhi_16", "QLineEdit", "");
    row("label_3", "QLabel", "数据：");
    row("textEdit_custom50reg", "QTextEdit");
    row("pushButton_duqucustomreg", "QPushButton", "读取");
    row("pushButton_xierucustomreg", "QPushButton", "写入");
    row("pushButton_gongchangjiaozhun_2", "QPushButton", "<<工厂校准");
}

void FormTest::widgets()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, text);

    QObject *o = find(name);
    QVERIFY2(o, "missing or not unique");
    QCOMPARE(QString(o->metaObject()->className()), className);
    if (!text.isNull())
        QCOMPARE(caption(o), text);
}

void FormTest::layouts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("spacing");
    QTest::addColumn<QString>("stretch"); // empty: no stretch to check
    QTest::addColumn<QMargins>("margins");

    const QMargins zero(0, 0, 0, 0);
    const QMargins eleven(11, 11, 11, 11);
    auto row = [](const char *name, const char *cls, const QStringList &items, int spacing,
                  const QMargins &m, const char *stretch = "") {
        QTest::newRow(name) << QString(name) << QString(cls) << items << spacing << QString(stretch)
                            << m;
    };
    const QString h = QStringLiteral("~h40x20");

    row("verticalLayout_9", "QVBoxLayout", {"widget_title", "widget_main", "widget_state"}, 0,
        zero);
    row("horizontalLayout_5", "QHBoxLayout",
        {"pushButton_mainIcon", "horizontalLayout_2", "verticalLayout_3"}, 0, zero);
    row("horizontalLayout_2", "QHBoxLayout", {"label_mainTitle", "verticalLayout_5", h}, 6, zero);
    row("verticalLayout_5", "QVBoxLayout", {"~v20x18", "label_makeDate", "~v20x40"}, 0, zero,
        "2,0,1");
    row("verticalLayout_3", "QVBoxLayout", {"horizontalLayout_3", "~v20x13"}, 6, zero);
    row("horizontalLayout_3", "QHBoxLayout", {"pushButton_min", "pushButton_close"}, 0, zero);
    row("verticalLayout_10", "QVBoxLayout", {"horizontalLayout_9"}, 6, eleven);
    row("horizontalLayout_9", "QHBoxLayout", {"verticalLayout_12", "stackedWidget"}, 10, zero,
        "0,1");
    row("verticalLayout_12", "QVBoxLayout", {"groupBox_8", "groupBox", "groupBox_11"}, 6, zero);
    row("verticalLayout", "QVBoxLayout",
        {"horizontalLayout", "horizontalLayout_6", "horizontalLayout_22", "horizontalLayout_8"}, 6,
        eleven);
    row("horizontalLayout", "QHBoxLayout",
        {"label_11", "comboBox_duankouhao", h, "pushButton_chazhaoduankou"}, 6, zero);
    row("horizontalLayout_6", "QHBoxLayout", {"label_12", "comboBox_baud", h}, 6, zero);
    row("horizontalLayout_22", "QHBoxLayout",
        {"label_17", "comboBox_parity", h, "pushButton_sousuo"}, 6, zero);
    row("horizontalLayout_8", "QHBoxLayout", {"label_13", "comboBox_addr", h, "pushButton_lianjie"},
        6, zero);
    row("verticalLayout_8", "QVBoxLayout",
        {"label_model", "label_yibiaobianhao", "label_yibiaoleixing", "label_yibiaoliangcheng",
         "label_ruanjianbanben", "pushButton_duquyibiaoxinxi"},
        6, eleven);
    row("verticalLayout_7", "QVBoxLayout",
        {"horizontalLayout_4", "horizontalLayout_7", "horizontalLayout_13", "horizontalLayout_12",
         "horizontalLayout_31", "horizontalLayout_32", "~v20x185"},
        6, eleven);
    row("horizontalLayout_4", "QHBoxLayout", {"label_15", "lineEdit_yalizhi", "label_yalidanwei"},
        6, zero);
    row("horizontalLayout_7", "QHBoxLayout", {"label_59", "lineEdit_wenduzhi", "label_wendudanwei"},
        6, zero);
    row("horizontalLayout_13", "QHBoxLayout", {"label_16", "lineEdit_yalizhizhengxing", h}, 6,
        zero);
    row("horizontalLayout_12", "QHBoxLayout", {"label_60", "lineEdit_wenduzhizhengxing", h}, 6,
        zero);
    row("horizontalLayout_31", "QHBoxLayout",
        {"label_61", "lineEdit_dianchidianya", "label_wendudanwei_2"}, 6, zero);
    row("horizontalLayout_32", "QHBoxLayout",
        {"label_62", "lineEdit_dianchidianliang", "label_wendudanwei_3"}, 6, zero);

    row("verticalLayout_4", "QVBoxLayout",
        {"groupBox_2", "horizontalLayout_11", "horizontalLayout_21"}, 6, zero, "1,1,0");
    const struct
    {
        const char *layout, *label, *field;
    } pairs[] = {
        {"horizontalLayout_17", "label_35", "lineEdit_yonghudizhi"},
        {"horizontalLayout_18", "label_36", "comboBox_yonghubotelv"},
        {"horizontalLayout_23", "label_37", "comboBox_yonghuparity"},
        {"horizontalLayout_20", "label_9", "comboBox_yonghuyalidanwei"},
        {"horizontalLayout_19", "label_10", "comboBox_yonghuyalixiaoshudian"},
        {"horizontalLayout_33", "label_39", "lineEdit_yali_k"},
        {"horizontalLayout_34", "label_40", "lineEdit_yalijizhi"},
        {"horizontalLayout_36", "label_53", "lineEdit_density"},
        {"horizontalLayout_24", "label_41", "lineEdit_caijizhouqi"},
        {"horizontalLayout_25", "label_44", "comboBox_beiguangshijian"},
        {"horizontalLayout_28", "label_43", "lineEdit_ptswitchtime"},
        {"horizontalLayout_27", "label_51", "comboBox_yonghuwendudanwei"},
        {"horizontalLayout_26", "label_14", "comboBox_yonghuwenduxiaoshudian"},
        {"horizontalLayout_30", "label_52", "comboBox_ADCspeed"},
        {"horizontalLayout_35", "label_50", "lineEdit_g"},
    };
    for (const auto &p : pairs)
        row(p.layout, "QHBoxLayout", {p.label, p.field}, 6, zero);
    row("horizontalLayout_11", "QHBoxLayout",
        {"groupBox_yaliercijiaozhun", "groupBox_wenduercijiaozhun"}, 6, zero);
    row("horizontalLayout_21", "QHBoxLayout",
        {h, "pushButton_qingling", "pushButton_qingchuqingling", "pushButton_huifuchuchang",
         "pushButton_gongchangjiaozhun"},
        6, zero);

    row("verticalLayout_2", "QVBoxLayout",
        {"groupBox_5", "groupBox_yalijiaozhun", "groupBox_wendujiaozhun", "horizontalLayout_16"}, 6,
        zero);
    row("horizontalLayout_10", "QHBoxLayout",
        {"horizontalLayout_14", h, "pushButton_duquyibiaocanshu", "pushButton_xieruyibiaocanshu"},
        6, eleven);
    row("horizontalLayout_14", "QHBoxLayout",
        {"label_47", "comboBox_yibiaoleixing", h, "label_38", "lineEdit_yibiaobianhao",
         "pushButton_yibiaobianhaojiayi"},
        6, zero);
    row("horizontalLayout_16", "QHBoxLayout",
        {"pushButton_yibiaoxinxi", h, "pushButton_duququanbushuju", "pushButton_xieruquanbushuju",
         "pushButton_gongchangbaocun", h, "pushButton_customreg"},
        6, zero);

    row("verticalLayout_6", "QVBoxLayout", {"groupBox_6", "horizontalLayout_15"}, 6, zero, "1,0");
    row("horizontalLayout_29", "QHBoxLayout", {"label", "label_2", "lineEdit_canshudizhi_16"}, 6,
        zero);
    row("horizontalLayout_15", "QHBoxLayout", {"pushButton_gongchangjiaozhun_2", h}, 6, zero);
}

void FormTest::layouts()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QStringList, items);
    QFETCH(int, spacing);
    QFETCH(QString, stretch);
    QFETCH(QMargins, margins);

    auto *l = qobject_cast<QLayout *>(find(name));
    QVERIFY2(l, "missing or not a layout");
    QCOMPARE(QString(l->metaObject()->className()), className);
    QCOMPARE(itemNames(l), items);
    QCOMPARE(l->spacing(), spacing);
    QCOMPARE(l->contentsMargins(), margins);
    if (!stretch.isEmpty())
        QCOMPARE(stretches(l), stretch);
}

void FormTest::sizeLimits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QSize>("maximum");

    auto row = [](const QString &name, QSize mn, QSize mx) {
        QTest::addRow("%s", qPrintable(name)) << name << mn << mx;
    };
    auto fixed = [&row](const QString &name, int w, int h) { row(name, {w, h}, {w, h}); };
    const QSize none(0, 0);
    const QSize inf(Inf, Inf);

    row("widget_title", none, {Inf, 50});
    fixed("pushButton_mainIcon", 50, 50);
    row("label_mainTitle", none, {Inf, 50});
    fixed("pushButton_min", 25, 25);
    fixed("pushButton_close", 25, 25);
    row("widget_state", {0, 25}, {Inf, 25});
    row("progressBar", {700, 0}, {800, Inf});

    for (const char *n : {"label_11", "label_12", "label_17", "label_13"})
        row(n, {0, 21}, {41, 21});
    for (const char *n :
         {"comboBox_duankouhao", "comboBox_baud", "comboBox_parity", "comboBox_addr"})
        fixed(n, 71, 21);
    for (const char *n : {"pushButton_chazhaoduankou", "pushButton_sousuo", "pushButton_lianjie"})
        fixed(n, 61, 23);
    row("groupBox", {250, 180}, inf);
    for (const char *n : {"label_model", "label_yibiaobianhao", "label_yibiaoleixing",
                          "label_yibiaoliangcheng", "label_ruanjianbanben"})
        row(n, {0, 15}, inf);
    row("pushButton_duquyibiaoxinxi", {0, 25}, inf);
    for (const char *n : {"label_15", "label_59", "label_16", "label_60", "label_61", "label_62"})
        fixed(n, 71, 21);
    for (const char *n :
         {"lineEdit_yalizhi", "lineEdit_wenduzhi", "lineEdit_yalizhizhengxing",
          "lineEdit_wenduzhizhengxing", "lineEdit_dianchidianya", "lineEdit_dianchidianliang"})
        row(n, none, {100, 51});

    row("groupBox_2", {0, 300}, {Inf, 500});
    row("comboBox_yonghubotelv", {71, 21}, {Inf, 21});
    row("comboBox_yonghuparity", {71, 21}, {Inf, 21});
    row("comboBox_yonghuwendudanwei", {70, 0}, inf);
    row("comboBox_ADCspeed", {70, 0}, inf);
    for (const QString &ch : channels) {
        row("groupBox_" + ch + "ercijiaozhun", {0, 20}, inf);
        row("pushButton_duqu" + ch + "ercijiaozhun", {71, 25}, inf);
        row("pushButton_xieru" + ch + "ercijiaozhun", {71, 25}, inf);
    }
    for (const char *n :
         {"pushButton_qingling", "pushButton_qingchuqingling", "pushButton_huifuchuchang",
          "pushButton_gongchangjiaozhun", "pushButton_yibiaoxinxi", "pushButton_duququanbushuju",
          "pushButton_xieruquanbushuju", "pushButton_gongchangbaocun", "pushButton_customreg",
          "pushButton_gongchangjiaozhun_2"})
        row(n, {90, 26}, {90, Inf});

    row("comboBox_yibiaoleixing", {80, 0}, {80, Inf});
    row("lineEdit_yibiaobianhao", {80, 0}, {80, Inf});
    fixed("pushButton_yibiaobianhaojiayi", 25, 24);
    for (const char *n : {"pushButton_duquyibiaocanshu", "pushButton_xieruyibiaocanshu",
                          "pushButton_duqucustomreg", "pushButton_xierucustomreg"})
        row(n, {50, 25}, {101, Inf});
    row("groupBox_yalijiaozhun", {513, 224}, {513, 254});
    row("groupBox_wendujiaozhun", {513, 223}, {513, 230});
}

void FormTest::sizeLimits()
{
    QFETCH(QString, name);
    QFETCH(QSize, minimum);
    QFETCH(QSize, maximum);

    auto *w = qobject_cast<QWidget *>(find(name));
    QVERIFY(w);
    QCOMPARE(w->minimumSize(), minimum);
    QCOMPARE(w->maximumSize(), maximum);
}

void FormTest::placement_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");

    auto row = [](const QString &name, const QString &parent, const QRect &r) {
        QTest::addRow("%s", qPrintable(name)) << name << parent << r;
    };
    row("progressBar", "widget_state", {1, 0, 793, 24});
    row("label_connect", "widget_state", {10, 0, 250, 25});
    row("label_state", "widget_state", {360, 0, 400, 25});

    const struct
    {
        const char *name;
        int x, y, h;
    } boxes[] = {{"layoutWidget1", 40, 30, 22},   {"layoutWidget2", 40, 60, 23},
                 {"layoutWidget_4", 40, 90, 23},  {"layoutWidget3", 40, 120, 22},
                 {"layoutWidget", 40, 150, 22},   {"layoutWidget_5", 40, 180, 22},
                 {"layoutWidget_6", 40, 210, 22}, {"layoutWidget_8", 40, 240, 22},
                 {"layoutWidget4", 280, 30, 22},  {"layoutWidget5", 280, 60, 22},
                 {"layoutWidget_2", 280, 90, 22}, {"layoutWidget7", 280, 120, 22},
                 {"layoutWidget6", 280, 150, 22}, {"layoutWidget_3", 280, 180, 22},
                 {"layoutWidget_7", 280, 210, 22}};
    for (const auto &b : boxes)
        row(b.name, "groupBox_2", {b.x, b.y, 191, b.h});
    row("pushButton_duqushezhi", "groupBox_2", {290, 250, 71, 25});
    row("pushButton_xierushezhi", "groupBox_2", {390, 250, 71, 25});

    for (const QString &ch : channels) {
        const QString g = "groupBox_" + ch + "ercijiaozhun";
        const int x1 = ch == "yali" ? 100 : 90;
        row("label_ecjz_" + ch + "_unit", g, {13, 20, 61, 21});
        row("tableWidget_" + ch + "_ECJZ", g, {13, 40, 227, 102});
        row("lineEdit_ecjz_" + ch + "biaozhunzhi1", g, {x1, 70, 61, 20});
        row("lineEdit_ecjz_" + ch + "biaozhunzhi2", g, {170, 70, 61, 20});
        row("lineEdit_ecjz_" + ch + "caijizhi1", g, {x1, 90, 61, 20});
        row("lineEdit_ecjz_" + ch + "caijizhi2", g, {170, 90, 61, 20});
        row("pushButton_ecjz_" + ch + "CJ1", g, {x1, 110, 62, 25});
        row("pushButton_ecjz_" + ch + "CJ2", g, {170, 110, 62, 25});
        row("pushButton_duqu" + ch + "ercijiaozhun", g, {89, 170, 71, 25});
        row("pushButton_xieru" + ch + "ercijiaozhun", g, {169, 170, 71, 25});
    }

    for (const QString &ch : channels) {
        const bool p = ch == "yali";
        const QString g = "groupBox_" + ch + "jiaozhun";
        row(p ? "label_19" : "label_42", g, {10, 20, 71, 21});
        row("lineEdit_" + ch + "liangchengL", g, {80, 20, 101, 21});
        row(p ? "label_48" : "label_70", g, {180, 20, 16, 21});
        row("lineEdit_" + ch + "liangchengH", g, {200, 20, 101, 21});
        row("comboBox_" + ch + "liangchengdanwei", g, {310, 20, 71, 21});
        row("pushButton_duqu" + ch + "shuju", g, {420, 18, 84, 26});
        row(p ? "label_46" : "label_45", g, {20, 50, p ? 51 : 61, 21});
        row("comboBox_" + ch + "ADCzengyi", g, {80, 50, 101, 21});
        row("pushButton_xieru" + ch + "shuju", g, {420, 48, 84, 26});
        row(p ? "label_49" : "label_71", g, {10, 80, 71, 21});
        row("comboBox_" + ch + "biaozhunzhidanwei", g, {80, 80, 71, 21});
        row(p ? "label_5" : "label_7", g, p ? QRect(160, 81, 54, 20) : QRect(160, 80, 54, 21));
        row("comboBox_" + ch + "dianshu", g, {220, 80, 61, 21});
        row("pushButton_junfen" + ch, g, {290, 79, 81, 23});
        row(p ? "label_65" : "label_66", g, {380, 80, 41, 21});
        row("progressBar_" + ch + "ADCf", g, {420, 80, 43, 23});
        row("progressBar_" + ch + "ADCz", g, {462, 80, 42, 23});
        row("label_" + ch + "ADC", g, {420, 80, 84, 21});
        row("tableWidget_FXXXZ_" + ch, g, {10, 110, 494, 102});
    }
    row("label_25", "groupBox_yalijiaozhun", {200, 50, 81, 21});
    row("lineEdit_yalilingdianpingbi", "groupBox_yalijiaozhun", {280, 50, 101, 21});

    row("tableWidget_customreg", "groupBox_6", {30, 30, 452, 354});
    row("layoutWidget8", "groupBox_6", {30, 390, 291, 22});
    row("label_3", "groupBox_6", {30, 420, 31, 16});
    row("textEdit_custom50reg", "groupBox_6", {60, 420, 421, 41});
    row("pushButton_duqucustomreg", "groupBox_6", {310, 470, 71, 25});
    row("pushButton_xierucustomreg", "groupBox_6", {410, 470, 71, 25});
}

void FormTest::placement()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);

    auto *w = qobject_cast<QWidget *>(find(name));
    QVERIFY(w);
    QVERIFY(w->parentWidget());
    QCOMPARE(w->parentWidget()->objectName(), parent);
    QCOMPARE(w->geometry(), geometry);
}

void FormTest::lineEdits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("maxLength");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<int>("alignment");

    const int unlimited = 32767;
    const int plain = Qt::AlignLeft | Qt::AlignVCenter;
    const int centred = Qt::AlignCenter;
    auto row = [](const QString &name, int len, bool ro, int align) {
        QTest::addRow("%s", qPrintable(name)) << name << len << ro << align;
    };

    for (const char *n :
         {"lineEdit_yalizhi", "lineEdit_wenduzhi", "lineEdit_yalizhizhengxing",
          "lineEdit_wenduzhizhengxing", "lineEdit_dianchidianya", "lineEdit_dianchidianliang"})
        row(n, unlimited, true, Qt::AlignRight | Qt::AlignVCenter);
    for (const char *n : {"lineEdit_yonghudizhi", "lineEdit_yali_k", "lineEdit_yalijizhi",
                          "lineEdit_density", "lineEdit_g"})
        row(n, unlimited, false, plain);
    row("lineEdit_caijizhouqi", 10, false, plain);
    row("lineEdit_ptswitchtime", 10, false, plain);
    for (const QString &ch : channels) {
        for (const QString &kind : QStringList{"biaozhunzhi", "caijizhi"}) {
            for (int k = 1; k <= 2; ++k)
                row(QString("lineEdit_ecjz_%1%2%3").arg(ch, kind).arg(k), 10, false, centred);
            for (int k = 1; k <= 5; ++k)
                row(QString("lineEdit_fxxxz_%1%2%3").arg(ch, kind).arg(k), 12, false, centred);
        }
        row("lineEdit_" + ch + "liangchengL", 15, false, plain);
        row("lineEdit_" + ch + "liangchengH", 15, false, plain);
    }
    row("lineEdit_yalilingdianpingbi", 15, false, plain);
    row("lineEdit_yibiaobianhao", 10, false, plain);
    row("lineEdit_canshudizhi_16", 5, false, plain);
}

void FormTest::lineEdits()
{
    QFETCH(QString, name);
    QFETCH(int, maxLength);
    QFETCH(bool, readOnly);
    QFETCH(int, alignment);

    auto *e = qobject_cast<QLineEdit *>(find(name));
    QVERIFY(e);
    QCOMPARE(e->maxLength(), maxLength);
    QCOMPARE(e->isReadOnly(), readOnly);
    QCOMPARE(int(e->alignment()), alignment);
    QVERIFY(!e->dragEnabled());
}

void FormTest::fonts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("pointSize");

    auto row = [](const QString &name, const QString &family, int size) {
        QTest::addRow("%s", qPrintable(name)) << name << family << size;
    };
    row("label_mainTitle", "微软雅黑", 16);
    for (const char *n :
         {"lineEdit_yalizhi", "lineEdit_wenduzhi", "lineEdit_yalizhizhengxing",
          "lineEdit_wenduzhizhengxing", "lineEdit_dianchidianya", "lineEdit_dianchidianliang"})
        row(n, "微软雅黑", 12);
    row("textEdit_custom50reg", "SimSun", 9);
}

void FormTest::fonts()
{
    QFETCH(QString, name);
    QFETCH(QString, family);
    QFETCH(int, pointSize);

    auto *w = qobject_cast<QWidget *>(find(name));
    QVERIFY(w);
    QCOMPARE(w->font().family(), family);
    QCOMPARE(w->font().pointSize(), pointSize);
    QVERIFY(!w->font().bold());
}

void FormTest::progressBars_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("rightToLeft");

    QTest::newRow("progressBar") << QString("progressBar") << false;
    for (const QString &ch : channels) {
        QTest::addRow("%s f", qPrintable(ch)) << "progressBar_" + ch + "ADCf" << true;
        QTest::addRow("%s z", qPrintable(ch)) << "progressBar_" + ch + "ADCz" << false;
    }
}

void FormTest::progressBars()
{
    QFETCH(QString, name);
    QFETCH(bool, rightToLeft);

    auto *bar = qobject_cast<QProgressBar *>(find(name));
    QVERIFY(bar);
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->value(), 0);
    QVERIFY(!bar->isTextVisible());
    QCOMPARE(bar->layoutDirection() == Qt::RightToLeft, rightToLeft);
}

void FormTest::startEnabled_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("enabled");

    auto row = [](const QString &name, bool on) {
        QTest::addRow("%s", qPrintable(name)) << name << on;
    };
    row("groupBox_yaliercijiaozhun", true);
    row("groupBox_wenduercijiaozhun", false);
    row("groupBox_yalijiaozhun", true);
    row("groupBox_wendujiaozhun", false);
    for (const QString &ch : channels) {
        for (int k = 1; k <= 5; ++k) {
            row(QString("lineEdit_fxxxz_%1biaozhunzhi%2").arg(ch).arg(k), k < 3);
            row(QString("lineEdit_fxxxz_%1caijizhi%2").arg(ch).arg(k), k < 3);
            row(QString("pushButton_FXXXZ_%1CJ%2").arg(ch).arg(k), k < 3);
        }
    }
}

void FormTest::startEnabled()
{
    QFETCH(QString, name);
    QFETCH(bool, enabled);

    auto *w = qobject_cast<QWidget *>(find(name));
    QVERIFY(w);
    // The widget's own flag, whatever its group says.
    QCOMPARE(w->isEnabledTo(w->parentWidget()), enabled);
}

void FormTest::nothingElseDiffers()
{
    QStringList disabled;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (!w->isEnabledTo(w->parentWidget()))
            disabled << w->objectName();
    }
    QStringList expected{"groupBox_wenduercijiaozhun", "groupBox_wendujiaozhun"};
    for (const QString &ch : channels) {
        for (int k = 3; k <= 5; ++k) {
            expected << QString("lineEdit_fxxxz_%1biaozhunzhi%2").arg(ch).arg(k)
                     << QString("lineEdit_fxxxz_%1caijizhi%2").arg(ch).arg(k)
                     << QString("pushButton_FXXXZ_%1CJ%2").arg(ch).arg(k);
        }
    }
    disabled.sort();
    expected.sort();
    QCOMPARE(disabled, expected);

    QStringList readOnly;
    for (QLineEdit *e : window->findChildren<QLineEdit *>()) {
        if (e->isReadOnly())
            readOnly << e->objectName();
    }
    readOnly.sort();
    QCOMPARE(readOnly, QStringList({"lineEdit_dianchidianliang", "lineEdit_dianchidianya",
                                    "lineEdit_wenduzhi", "lineEdit_wenduzhizhengxing",
                                    "lineEdit_yalizhi", "lineEdit_yalizhizhengxing"}));

    // Every combo box of the form has its row in comboItems.
    QCOMPARE(window->findChildren<QComboBox *>().size(), 21);
}

void FormTest::comboItems_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("items");

    auto row = [](const QString &name, const QStringList &items) {
        QTest::addRow("%s", qPrintable(name)) << name << items;
    };
    row("comboBox_duankouhao", {});
    row("comboBox_addr", {});
    row("comboBox_baud", baudList);
    row("comboBox_yonghubotelv", baudList);
    row("comboBox_parity", parityList);
    row("comboBox_yonghuparity", parityList);
    row("comboBox_yonghuyalidanwei", pressureUnits);
    row("comboBox_yaliliangchengdanwei", pressureUnits);
    row("comboBox_yalibiaozhunzhidanwei", pressureUnits);
    row("comboBox_yonghuwendudanwei", temperatureUnits);
    row("comboBox_wenduliangchengdanwei", temperatureUnits);
    row("comboBox_wendubiaozhunzhidanwei", {"℃"});
    row("comboBox_yonghuyalixiaoshudian", decimalsList);
    row("comboBox_yonghuwenduxiaoshudian", decimalsList);
    row("comboBox_beiguangshijian", {"关闭", "15", "30", "60", "常亮"});
    row("comboBox_ADCspeed", {"10", "40"});
    row("comboBox_yaliADCzengyi", {"1", "2", "64", "128"});
    row("comboBox_wenduADCzengyi", {"1", "2", "64", "128"});
    row("comboBox_yalidianshu", {"2", "3", "4", "5"});
    row("comboBox_wendudianshu", {"2", "3", "4", "5"});
    row("comboBox_yibiaoleixing", {"单独压力", "单独温度", "温压一体"});
}

void FormTest::comboItems()
{
    QFETCH(QString, name);
    QFETCH(QStringList, items);

    auto *c = qobject_cast<QComboBox *>(find(name));
    QVERIFY(c);
    QStringList actual;
    for (int i = 0; i < c->count(); ++i)
        actual << c->itemText(i);
    QCOMPARE(actual, items);
    QCOMPARE(c->currentIndex(), items.isEmpty() ? -1 : 0);
}

void FormTest::comboItemsSurviveRetranslate()
{
    ui.retranslateUi(window.get());
    comboItems();
}

void FormTest::tables_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("columnWidth");
    QTest::addColumn<int>("rowHeight");
    QTest::addColumn<int>("scrollBars");
    QTest::addColumn<int>("items");

    for (const QString &ch : channels) {
        QTest::addRow("%s ECJZ", qPrintable(ch)) << "tableWidget_" + ch + "_ECJZ" << 4 << 3 << 75
                                                 << 25 << int(Qt::ScrollBarAlwaysOff) << 6;
        QTest::addRow("%s FXXXZ", qPrintable(ch))
            << "tableWidget_FXXXZ_" + ch << 4 << 6 << 82 << 25 << int(Qt::ScrollBarAlwaysOff) << 9;
    }
    QTest::newRow("customreg") << QString("tableWidget_customreg") << 26 << 3 << 150 << 22
                               << int(Qt::ScrollBarAsNeeded) << 3;
}

void FormTest::tables()
{
    QFETCH(QString, name);
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(int, columnWidth);
    QFETCH(int, rowHeight);
    QFETCH(int, scrollBars);
    QFETCH(int, items);

    auto *t = qobject_cast<QTableWidget *>(find(name));
    QVERIFY(t);
    QCOMPARE(t->rowCount(), rows);
    QCOMPARE(t->columnCount(), columns);
    QVERIFY(t->horizontalHeader()->isHidden());
    QVERIFY(t->verticalHeader()->isHidden());
    QCOMPARE(t->horizontalHeader()->defaultSectionSize(), columnWidth);
    QCOMPARE(t->verticalHeader()->defaultSectionSize(), rowHeight);
    QCOMPARE(t->columnWidth(columns - 1), columnWidth);
    QCOMPARE(t->rowHeight(rows - 1), rowHeight);
    QCOMPARE(int(t->horizontalScrollBarPolicy()), scrollBars);
    QCOMPARE(int(t->verticalScrollBarPolicy()), scrollBars);
    if (name == QLatin1String("tableWidget_customreg"))
        QCOMPARE(t->horizontalHeader()->minimumSectionSize(), 150);

    // Only caption cells carry items; the editors go into the others at run time.
    int count = 0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            count += t->item(r, c) ? 1 : 0;
    QCOMPARE(count, items);
}

void FormTest::captionCells_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("flags");

    auto cell = [](const QString &table, int r, int c, const QString &text, int flags) {
        QTest::addRow("%s (%d,%d)", qPrintable(table), r, c) << table << r << c << text << flags;
    };
    const QStringList points{"第一点", "第二点", "第三点", "第四点", "第五点"};
    for (const QString &ch : channels) {
        const QString ecjz = "tableWidget_" + ch + "_ECJZ";
        cell(ecjz, 0, 0, "", lockedCell);
        cell(ecjz, 0, 1, "第一点", lockedCell);
        cell(ecjz, 0, 2, "第二点", lockedCell);
        cell(ecjz, 1, 0, "标准值", lockedCell);
        cell(ecjz, 2, 0, "采集值", lockedCell);
        cell(ecjz, 3, 0, "", lockedCell);

        const QString fx = "tableWidget_FXXXZ_" + ch;
        cell(fx, 0, 0, "", lockedCell);
        for (int k = 1; k <= 5; ++k) {
            const bool keepsDefault = ch == "wendu" || k <= 2;
            cell(fx, 0, k, points.at(k - 1), keepsDefault ? defaultCell : lockedCell);
        }
        cell(fx, 1, 0, "标准值", lockedCell);
        cell(fx, 2, 0, "采集值", lockedCell);
        cell(fx, 3, 0, "", lockedCell);
    }
    cell("tableWidget_customreg", 0, 0, "参数名", defaultCell);
    cell("tableWidget_customreg", 0, 1, "地址", defaultCell);
    cell("tableWidget_customreg", 0, 2, "自定义数据", defaultCell);
}

void FormTest::captionCells()
{
    QFETCH(QString, table);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, text);
    QFETCH(int, flags);

    auto *t = qobject_cast<QTableWidget *>(find(table));
    QVERIFY(t);
    QTableWidgetItem *item = t->item(row, column);
    QVERIFY(item);
    QCOMPARE(item->text(), text);
    QCOMPARE(item->textAlignment(), int(Qt::AlignCenter));
    QCOMPARE(int(item->flags()), flags);
}

void FormTest::startState()
{
    QCOMPARE(window->objectName(), QString("MainWindow"));
    QCOMPARE(window->windowTitle(), QString("MainWindow"));
    QCOMPARE(window->size(), QSize(795, 646));
    QCOMPARE(window->maximumSize(), QSize(803, 646));
    QCOMPARE(window->centralWidget(), ui.centralWidget);

    QCOMPARE(ui.label_mainTitle->text(), QString("KV-3PD工厂调试软件V0.5"));
    QCOMPARE(ui.label_makeDate->text(), QString("TextLabel"));

    QCOMPARE(ui.stackedWidget->count(), 3);
    QCOMPARE(ui.stackedWidget->widget(0), ui.page);
    QCOMPARE(ui.stackedWidget->widget(1), ui.page_2);
    QCOMPARE(ui.stackedWidget->widget(2), ui.page_3);
    QCOMPARE(ui.stackedWidget->currentIndex(), 0);
    QVERIFY(ui.stackedWidget->isEnabled());

    // The later ones lie on top of the status bar's progress bar.
    QCOMPARE(ui.widget_state->children().indexOf(ui.progressBar), 0);
    QVERIFY(ui.widget_state->children().indexOf(ui.label_state) >
            ui.widget_state->children().indexOf(ui.label_connect));
    for (const QString &ch : channels) {
        const QObjectList siblings = find("label_" + ch + "ADC")->parent()->children();
        QVERIFY(siblings.indexOf(find("label_" + ch + "ADC")) >
                siblings.indexOf(find("progressBar_" + ch + "ADCz")));
        QVERIFY(siblings.indexOf(find("label_" + ch + "ADC")) >
                siblings.indexOf(find("progressBar_" + ch + "ADCf")));
    }

    QTextEdit *text = ui.textEdit_custom50reg;
    QCOMPARE(text->toPlainText(), QString("1234567890").repeated(10));
    QCOMPARE(text->document()->blockCount(), 1);
    QCOMPARE(text->textInteractionFlags(), Qt::TextInteractionFlags(Qt::TextEditorInteraction));
    QCOMPARE(QTextCursor(text->document()).charFormat().font().pointSize(), 9);
}

void FormTest::dialogWidgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QSize>("maximum");
    QTest::addColumn<QRect>("geometry"); // null: placed by a layout

    auto row = [](const QString &name, const QString &cls, const QString &text, QSize mn, QSize mx,
                  const QRect &geometry = QRect()) {
        QTest::addRow("%s", qPrintable(name)) << name << cls << text << mn << mx << geometry;
    };
    const QSize none(0, 0);
    const QSize inf(Inf, Inf);
    row("widget_title", "QWidget", QString(), {0, 25}, {Inf, 25}, {0, 0, 320, 25});
    row("label_title", "QLabel", "警告", none, inf);
    row("pushButton_close", "QPushButton", "×", {25, 25}, {25, 25});
    row("widget_main", "QWidget", QString(), none, inf, {0, 25, 320, 125});
    row("label_WarningPic", "QLabel", "", {60, 60}, {60, 60});
    row("label_warning", "QLabel", "", none, inf);
    row("pushButton_ok", "QPushButton", "确定", {75, 25}, {75, 25});
}

void FormTest::dialogWidgets()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, text);
    QFETCH(QSize, minimum);
    QFETCH(QSize, maximum);
    QFETCH(QRect, geometry);

    const QList<QWidget *> found = dialog->findChildren<QWidget *>(name);
    QCOMPARE(found.size(), 1);
    QWidget *w = found.first();
    QCOMPARE(QString(w->metaObject()->className()), className);
    if (!text.isNull())
        QCOMPARE(caption(w), text);
    QCOMPARE(w->minimumSize(), minimum);
    QCOMPARE(w->maximumSize(), maximum);
    if (!geometry.isNull()) {
        QCOMPARE(w->parentWidget(), static_cast<QWidget *>(dialog.get()));
        QCOMPARE(w->geometry(), geometry);
    }
}

void FormTest::dialogWindow()
{
    QCOMPARE(dialog->objectName(), QString("Dialog_Warning"));
    QCOMPARE(dialog->windowTitle(), QString("Dialog"));
    QCOMPARE(dialog->size(), QSize(320, 150));
    QCOMPARE(dialog->minimumSize(), QSize(320, 150));
    QCOMPARE(dialog->maximumSize(), QSize(320, 150));

    QCOMPARE(itemNames(dui.horizontalLayout), QStringList({"label_title", "pushButton_close"}));
    QCOMPARE(dui.horizontalLayout->spacing(), 0);
    QCOMPARE(dui.horizontalLayout->contentsMargins(), QMargins(10, 0, 0, 0));
    QCOMPARE(dui.horizontalLayout->parentWidget(), dui.widget_title);
    QCOMPARE(itemNames(dui.verticalLayout_2),
             QStringList({"horizontalLayout_2", "horizontalLayout_5"}));
    QCOMPARE(stretches(dui.verticalLayout_2), QString("1,0"));
    QCOMPARE(dui.verticalLayout_2->parentWidget(), dui.widget_main);
    QCOMPARE(itemNames(dui.horizontalLayout_2), QStringList({"label_WarningPic", "label_warning"}));
    QCOMPARE(itemNames(dui.horizontalLayout_5), QStringList({"~h40x20", "pushButton_ok"}));
}

QTEST_MAIN(FormTest)
#include "test_form.moc"
