#include "monitor/trafficmonitor.h"

#include "link/seriallink.h"
#include "model/wholefile.h"
#include "shell/dialog_warning.h"
#include "traffic/trafficlog.h"

#include <QApplication>
#include <QCache>
#include <QDateTime>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStaticText>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Draws each cell's text from a cache of laid-out texts. The style would
// shape a cell's whole text three times (to measure it, to elide it, to draw
// it) on every repaint of every visible row, and a new batch of rows repaints
// them all; most texts (functions, statuses, the frames of each poll) repeat
// from row to row. The background, selection and focus are the style's.
class CachedTextDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        const QWidget *widget = opt.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        if (text.isEmpty())
            return;
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        const QRect area = opt.rect.adjusted(margin, 0, -margin, 0);
        const QString key = QString::number(area.width()) + QLatin1Char(':') + text;
        QStaticText *laid = cache.object(key);
        if (!laid) {
            laid = new QStaticText(opt.fontMetrics.elidedText(text, Qt::ElideRight, area.width()));
            laid->setTextFormat(Qt::PlainText);
            laid->prepare(QTransform(), opt.font);
            cache.insert(key, laid);
        }
        const bool selected = opt.state & QStyle::State_Selected;
        const QPalette::ColorGroup group =
            opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
        painter->save();
        painter->setFont(opt.font);
        painter->setPen(
            opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setClipRect(area);
        painter->drawStaticText(
            QPointF(area.left(), area.top() + (area.height() - laid->size().height()) / 2), *laid);
        painter->restore();
    }

private:
    mutable QCache<QString, QStaticText> cache{4000};
};

} // namespace

TrafficMonitor::TrafficMonitor(SerialLink *serialLink, QWidget *parent)
    : QWidget(parent, Qt::Window), link(serialLink)
{
    setObjectName(QStringLiteral("trafficMonitor"));
    setWindowTitle(tr("通信监视"));

    // Timestamps count from the link's clock; pin that clock's zero to the wall.
    const QDateTime origin =
        QDateTime::currentDateTime().addMSecs(-(link ? link->elapsedNs() : 0) / 1000000);
    model = new TrafficLog(origin, this);

    countersLabel = new QLabel(this);
    countersLabel->setObjectName(QStringLiteral("label_monitorCounters"));
    auto *resetButton = new QPushButton(tr("计数清零"), this);
    resetButton->setObjectName(QStringLiteral("pushButton_monitorReset"));
    pauseButton = new QPushButton(tr("暂停"), this);
    pauseButton->setObjectName(QStringLiteral("pushButton_monitorPause"));
    pauseButton->setCheckable(true);
    auto *clearButton = new QPushButton(tr("清空"), this);
    clearButton->setObjectName(QStringLiteral("pushButton_monitorClear"));
    auto *saveButton = new QPushButton(tr("保存CSV"), this);
    saveButton->setObjectName(QStringLiteral("pushButton_monitorSave"));
    capLabel = new QLabel(this);
    capLabel->setObjectName(QStringLiteral("label_monitorCap"));

    view = new QTableView(this);
    view->setObjectName(QStringLiteral("tableView_monitor"));
    view->setModel(model);
    view->setWordWrap(false);
    // Grid lines go through the slow path of the raster engine, a quarter of
    // every repaint; alternate row shades separate the rows for almost nothing.
    view->setShowGrid(false);
    view->setAlternatingRowColors(true);
    view->setStyleSheet(QStringLiteral("alternate-background-color: rgb(242, 246, 250);"));
    view->setItemDelegate(new CachedTextDelegate(view));
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->verticalHeader()->hide();
    // Fixed row heights and column widths: measuring 100 000 rows would stall the window.
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    view->horizontalHeader()->setStretchLastSection(true);
    // At least as wide as the header texts, in either language; so is the window.
    const int widths[TrafficLog::ColumnCount] = {100, 40, 45, 140, 55, 65, 45, 300, 120};
    view->ensurePolished();
    int tableWidth = 0;
    for (int c = 0; c < TrafficLog::ColumnCount; ++c) {
        view->setColumnWidth(c, qMax(widths[c], view->horizontalHeader()->sectionSizeHint(c)));
        tableWidth += view->columnWidth(c);
    }

    auto *counterRow = new QHBoxLayout;
    counterRow->addWidget(countersLabel, 1);
    counterRow->addWidget(resetButton);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addWidget(pauseButton);
    buttonRow->addWidget(clearButton);
    buttonRow->addWidget(saveButton);
    buttonRow->addWidget(capLabel, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(counterRow);
    layout->addLayout(buttonRow);
    layout->addWidget(view, 1);
    const QMargins margins = layout->contentsMargins();
    resize(tableWidth + view->verticalScrollBar()->sizeHint().width() + 2 * view->frameWidth() +
               margins.left() + margins.right(),
           480);

    connect(resetButton, &QPushButton::clicked, model, &TrafficLog::resetCounters);
    connect(pauseButton, &QPushButton::toggled, this, [this](bool on) {
        model->setPaused(on);
        pauseButton->setText(on ? tr("继续") : tr("暂停"));
    });
    connect(clearButton, &QPushButton::clicked, this, [this] {
        model->clear();
        showCounters();
    });
    connect(saveButton, &QPushButton::clicked, this, [this] {
        const QString path = fileNameProvider
                                 ? fileNameProvider()
                                 : QFileDialog::getSaveFileName(this, tr("保存通信记录"), QString(),
                                                                tr("CSV (*.csv)"));
        if (!path.isEmpty())
            saveCsv(path);
    });
    connect(model, &TrafficLog::countersChanged, this, &TrafficMonitor::showCounters);
    connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar *bar = view->verticalScrollBar();
        stickToBottom = bar->value() >= bar->maximum();
    });
    connect(model, &TrafficLog::rowsAdded, this, &TrafficMonitor::followBottom);

    if (link)
        connect(link, &SerialLink::traffic, this,
                [this](SerialLink::Direction d, const QByteArray &bytes, qint64 ns) {
                    onTraffic(d == SerialLink::Direction::Received ? 1 : 0, bytes, ns);
                });
    quietTimer = new QTimer(this);
    quietTimer->setInterval(250);
    connect(quietTimer, &QTimer::timeout, this, &TrafficMonitor::expireQuietRequest);
    quietTimer->start();

    // Close together with the window this one was opened from.
    if (parent)
        parent->installEventFilter(this);
    showCounters();
}

bool TrafficMonitor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Close)
        close();
    return QWidget::eventFilter(watched, event);
}

void TrafficMonitor::onTraffic(int direction, const QByteArray &bytes, qint64 timestampNs)
{
    model->add(direction ? decoder.received(bytes, timestampNs)
                         : decoder.written(bytes, timestampNs));
}

void TrafficMonitor::expireQuietRequest()
{
    if (link)
        model->add(decoder.expire(link->elapsedNs(), QuietTimeoutNs));
}

void TrafficMonitor::showCounters()
{
    const TrafficLog::Counters &c = model->counters();
    countersLabel->setText(
        tr("请求 %1  正常应答 %2  超时 %3  CRC错误 %4  异常 %5  外来 %6  噪声 %7  成功率 %8%")
            .arg(c.requests)
            .arg(c.goodReplies)
            .arg(c.timeouts)
            .arg(c.crcErrors)
            .arg(c.exceptions)
            .arg(c.foreign)
            .arg(c.noise)
            .arg(c.successRate(), 0, 'f', 1));
    QString cap = tr("最多保留 %1 行").arg(model->maxRowCount());
    if (model->droppedRows() > 0)
        cap += tr("，已丢弃最早的 %1 行").arg(model->droppedRows());
    capLabel->setText(cap);
}

void TrafficMonitor::followBottom()
{
    // Rows arrive at the bottom; a user who scrolled up keeps his place.
    if (stickToBottom)
        view->scrollToBottom();
}

bool TrafficMonitor::saveCsv(const QString &path)
{
    model->flush();
    QString error;
    if (writeWholeFile(
            path, [this](QIODevice &file) { return model->writeCsv(file); }, &error))
        return true;
    capLabel->setText(tr("保存失败：%1").arg(error));
    Dialog_Warning::warn(this, Dialog_Warning::fileNotWritten(path, error));
    return false;
}
