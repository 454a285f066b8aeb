#include "traffic_view.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimerEvent>

#include <deque>

#include "link/traffic_log.h"

namespace vq {

namespace {
QString qs(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
constexpr int kColumns = 4;
constexpr int kCatchUpMs = 1000;
// Bytes of a frame the table shows; the whole frame is in its tooltip and
// in the exports. Laying out a 77-byte reply's 230 characters in every
// row of every repaint was most of the page's cost.
constexpr std::size_t kShownBytes = 20;
} // namespace

// One line of plain text per cell. The style's item painting lays each
// cell's text out for eliding and wrapping; a log repainted as it scrolls
// needs none of that.
class PlainCell : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        if (selected) painter->fillRect(option.rect, option.palette.highlight());
        const QVariant fg = index.data(Qt::ForegroundRole);
        painter->setPen(selected ? option.palette.highlightedText().color()
                        : fg.isValid() ? fg.value<QColor>() : option.palette.text().color());
        painter->drawText(option.rect.adjusted(3, 0, -3, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          index.data(Qt::DisplayRole).toString());
    }
};

class TrafficModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    const TrafficLog* log = nullptr;

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : int(rows_.size()); }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : kColumns; }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
        static const char* const kHeads[kColumns] = {"时间", "方向", "报文", "解读"};
        return section >= 0 && section < kColumns ? QString::fromUtf8(kHeads[section]) : QVariant();
    }

    const TrafficEntry* entry(int row) const
    {
        if (!log || row < 0 || row >= int(rows_.size())) return nullptr;
        return log->find(rows_[std::size_t(row)]);
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        const TrafficEntry* e = entry(index.row());
        if (!e) return {};
        if (role == Qt::ForegroundRole) return e->kind() == TrafficKind::Error ? QColor(200, 0, 0) : QVariant();
        if (role == Qt::ToolTipRole && index.column() == 2) return qs(trafficHex(*e));
        if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
        switch (index.column()) {
        case 0: return qs(trafficTime(*e));
        case 1: return qs(trafficDirection(*e));
        case 2: return hexShown(*e);
        default: return qs(trafficMeaning(*e));
        }
    }

    // Catches up with the log: drops the rows it let go, adds the new ones
    // it shows. A clear or a filter change starts the rows afresh.
    void catchUp()
    {
        if (!log) return;
        if (log->version() != version_) {
            beginResetModel();
            version_ = log->version();
            rows_.clear();
            seen_ = log->firstSeq();
            add(log->endSeq(), false);
            endResetModel();
            return;
        }
        std::size_t gone = 0;
        while (gone < rows_.size() && rows_[gone] < log->firstSeq()) ++gone;
        if (gone > 0) {
            beginRemoveRows({}, 0, int(gone) - 1);
            rows_.erase(rows_.begin(), rows_.begin() + std::ptrdiff_t(gone));
            endRemoveRows();
        }
        add(log->endSeq(), true);
    }

private:
    static QString hexShown(const TrafficEntry& e)
    {
        if (e.bytes.size() <= kShownBytes) return qs(trafficHex(e));
        TrafficEntry head;
        head.bytes.assign(e.bytes.begin(), e.bytes.begin() + std::ptrdiff_t(kShownBytes));
        return qs(trafficHex(head)) + QStringLiteral(" … (%1 字节)").arg(e.bytes.size());
    }

    void add(std::uint64_t end, bool announce)
    {
        std::uint64_t s = std::max(seen_, log->firstSeq());
        std::vector<std::uint64_t> fresh;
        for (; s < end; ++s)
            if (const TrafficEntry* e = log->find(s); e && log->shown(*e)) fresh.push_back(s);
        seen_ = end;
        if (fresh.empty()) return;
        const int first = int(rows_.size());
        if (announce) beginInsertRows({}, first, first + int(fresh.size()) - 1);
        rows_.insert(rows_.end(), fresh.begin(), fresh.end());
        if (announce) endInsertRows();
    }

    std::deque<std::uint64_t> rows_;
    std::uint64_t seen_ = 0;
    std::uint64_t version_ = ~std::uint64_t(0);
};

TrafficView::TrafficView(QWidget* parent) : QTableView(parent), model_(new TrafficModel(this))
{
    setModel(model_);
    setItemDelegate(new PlainCell(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone); // cut at the cell's edge; eliding lays every long cell out twice
    setAlternatingRowColors(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setStretchLastSection(true);
    setColumnWidth(0, 95);
    setColumnWidth(1, 40);
    setColumnWidth(2, 260);
}

TrafficView::~TrafficView() = default;

void TrafficView::setLog(const TrafficLog* log)
{
    model_->log = log;
    refresh();
}

void TrafficView::refresh()
{
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    model_->catchUp();
    if (atEnd) scrollToBottom();
}

int TrafficView::rows() const { return model_->rowCount({}); }

QString TrafficView::rowText(int row) const
{
    QStringList cells;
    for (int c = 0; c < kColumns; ++c) cells << model_->data(model_->index(row, c), Qt::DisplayRole).toString();
    return cells.join(u' ');
}

void TrafficView::showEvent(QShowEvent* event)
{
    QTableView::showEvent(event);
    refresh();
    if (!timer_) timer_ = startTimer(kCatchUpMs);
}

void TrafficView::hideEvent(QHideEvent* event)
{
    QTableView::hideEvent(event);
    if (timer_) killTimer(timer_);
    timer_ = 0;
}

void TrafficView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == timer_) refresh();
    else QTableView::timerEvent(event);
}

} // namespace vq
