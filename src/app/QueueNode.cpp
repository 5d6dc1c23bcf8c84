#include "app/QueueNode.h"

#include "app/HostText.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kv {
namespace {

// Below this many children a scan is cheaper than a table.
constexpr int kIndexedChildren = 32;
constexpr qsizetype kMaxNameBytes = 255;
const QDate kDayZero(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;

}  // namespace

TQueueItem::~TQueueItem() {
    // Iteratively, so that no tree is too deep to be freed.
    std::vector<std::unique_ptr<TQueueItem>> pending = std::move(Children);
    while (!pending.empty()) {
        std::unique_ptr<TQueueItem> item = std::move(pending.back());
        pending.pop_back();
        for (auto& child : item->Children) pending.push_back(std::move(child));
        item->Children.clear();
    }
}

int TQueueItem::Depth() const {
    int depth = 0;
    for (const TQueueItem* item = ParentItem; item; item = item->ParentItem) ++depth;
    return depth;
}

bool TQueueItem::IsAncestorOf(const TQueueItem* other) const {
    for (const TQueueItem* item = other ? other->ParentItem : nullptr; item; item = item->ParentItem)
        if (item == this) return true;
    return false;
}

void TQueueItem::Renumber(int from) {
    for (size_t row = static_cast<size_t>(std::max(from, 0)); row < Children.size(); ++row)
        Children[row]->RowNumber = static_cast<int>(row);
}

TQueueItem* TQueueItem::Insert(int row, std::unique_ptr<TQueueItem> child) {
    TQueueItem* added = child.get();
    std::vector<std::unique_ptr<TQueueItem>> one;
    one.push_back(std::move(child));
    InsertAll(row, std::move(one));
    return added;
}

void TQueueItem::InsertAll(int row, std::vector<std::unique_ptr<TQueueItem>> children) {
    if (children.empty()) return;
    row = std::clamp(row, 0, ChildCount());
    const bool append = row == ChildCount();
    for (auto& child : children) child->ParentItem = this;
    Children.insert(Children.begin() + row, std::make_move_iterator(children.begin()),
                    std::make_move_iterator(children.end()));
    Renumber(row);
    if (NameIndex && append) {
        for (int added = row; added < ChildCount(); ++added) IndexName(added);
    } else {
        NameIndex.reset();
    }
}

std::unique_ptr<TQueueItem> TQueueItem::Take(int row) {
    std::vector<std::unique_ptr<TQueueItem>> taken = TakeRows({row});
    return std::move(taken.front());
}

std::vector<std::unique_ptr<TQueueItem>> TQueueItem::TakeRows(const std::vector<int>& rows) {
    std::vector<std::unique_ptr<TQueueItem>> taken;
    if (rows.empty()) return taken;
    taken.reserve(rows.size());
    // One pass: the children that stay move up over the gaps.
    size_t next = 0, kept = static_cast<size_t>(rows.front());
    for (size_t row = kept; row < Children.size(); ++row) {
        if (next < rows.size() && static_cast<size_t>(rows[next]) == row) {
            Children[row]->ParentItem = nullptr;
            taken.push_back(std::move(Children[row]));
            ++next;
        } else {
            Children[kept++] = std::move(Children[row]);
        }
    }
    Children.resize(kept);
    Renumber(rows.front());
    NameIndex.reset();
    return taken;
}

void TQueueItem::RemoveChildren(int first, int last) {
    std::vector<std::unique_ptr<TQueueItem>> gone(std::make_move_iterator(Children.begin() + first),
                                                  std::make_move_iterator(Children.begin() + last + 1));
    Children.erase(Children.begin() + first, Children.begin() + last + 1);
    Renumber(first);
    NameIndex.reset();
}

void TQueueItem::SortBelow(const std::function<bool(const TQueueItem&, const TQueueItem&)>& less) {
    std::vector<TQueueItem*> pending{this};
    while (!pending.empty()) {
        TQueueItem* item = pending.back();
        pending.pop_back();
        std::stable_sort(item->Children.begin(), item->Children.end(),
                         [&](const std::unique_ptr<TQueueItem>& a, const std::unique_ptr<TQueueItem>& b) {
                             return less(*a, *b);
                         });
        // The index keeps rows, and every row may have changed.
        item->Renumber(0);
        item->NameIndex.reset();
        for (auto& child : item->Children)
            if (child->ChildCount() > 0) pending.push_back(child.get());
    }
}

void TQueueItem::ClearChildren() {
    std::vector<std::unique_ptr<TQueueItem>> gone = std::move(Children);
    Children.clear();
    NameIndex.reset();
}

void TQueueItem::IndexName(int row) const {
    // The row of the one child with this hash, or -1 once several share it.
    const size_t hash = qHash(Child(row)->Node.Name);
    const auto it = NameIndex->find(hash);
    if (it == NameIndex->end())
        NameIndex->insert(hash, row);
    else
        *it = -1;
}

TQueueItem* TQueueItem::ScanForName(const QString& name, const TQueueItem* self) const {
    for (const auto& child : Children)
        if (child.get() != self && child->Node.Name == name) return child.get();
    return nullptr;
}

TQueueItem* TQueueItem::OtherChildNamed(const QString& name, const TQueueItem* self) const {
    if (ChildCount() < kIndexedChildren) return ScanForName(name, self);
    if (!NameIndex) {
        NameIndex = std::make_unique<QHash<size_t, int>>();
        NameIndex->reserve(ChildCount());
        for (int row = 0; row < ChildCount(); ++row) IndexName(row);
    }
    const auto it = NameIndex->constFind(qHash(name));
    if (it == NameIndex->cend()) return nullptr;
    if (*it < 0) return ScanForName(name, self);  // a hash several children share
    TQueueItem* child = Child(*it);
    return child != self && child->Node.Name == name ? child : nullptr;
}

TTreeTotals TreeTotals(const TQueueItem& below) {
    TTreeTotals totals;
    below.ForEachBelow([&](const TQueueItem& item) {
        const QueueNode& node = item.Node;
        if (node.IsFolder) {
            ++totals.Folders;
            return;
        }
        ++totals.Files;
        // Held at the largest size rather than wrapping round.
        const qint64 room = std::numeric_limits<qint64>::max() - totals.Size;
        totals.Size += std::clamp<qint64>(node.Size, 0, room);
        if (!node.Imported) totals.HasOwnFile = true;
        if (node.IsAudio) {
            totals.AnyAudio = true;
            totals.Duration += node.Duration;
        }
    });
    return totals;
}

bool IsValidName(const QString& name) {
    if (name.isEmpty() || name == "." || name == "..") return false;
    if (name.contains('/') || name.contains(QChar(0))) return false;
    return HostBytes(name).size() <= kMaxNameBytes;
}

QString CutName(const QString& name, int length) {
    qsizetype keep = std::min<qsizetype>(name.size(), length);
    auto fits = [&](qsizetype n) {
        if (n > 0 && n < name.size() && name[n - 1].isHighSurrogate()) return false;
        return HostBytes(QStringView(name).left(n)).size() <= kMaxNameBytes;
    };
    while (keep > 0 && !fits(keep)) --keep;
    return name.left(keep);
}

double ToDayNumber(const QDateTime& local) {
    const QDateTime time = local.toLocalTime();
    return static_cast<double>(kDayZero.daysTo(time.date())) + time.time().msecsSinceStartOfDay() / kMsPerDay;
}

QDateTime FromDayNumber(double days) {
    if (!std::isfinite(days) || std::fabs(days) > 3.0e6) return {};
    const double whole = std::floor(days);
    const int ms = static_cast<int>(std::llround((days - whole) * kMsPerDay));
    return QDateTime(kDayZero.addDays(static_cast<qint64>(whole)), QTime(0, 0)).addMSecs(ms);
}

}  // namespace kv
