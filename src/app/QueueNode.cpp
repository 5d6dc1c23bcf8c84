#include "app/QueueNode.h"

#include <algorithm>
#include <cmath>

namespace kv {
namespace {

// Below this many children a scan is cheaper than a table.
constexpr int kIndexedChildren = 32;
constexpr int kMaxValidNameLength = 260;
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

int TQueueItem::Row() const {
    if (!ParentItem) return 0;
    const auto& siblings = ParentItem->Children;
    if (RowHint >= 0 && RowHint < static_cast<int>(siblings.size()) &&
        siblings[static_cast<size_t>(RowHint)].get() == this)
        return RowHint;
    for (size_t i = 0; i < siblings.size(); ++i) {
        if (siblings[i].get() == this) {
            RowHint = static_cast<int>(i);
            return RowHint;
        }
    }
    return 0;
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

TQueueItem* TQueueItem::Insert(int row, std::unique_ptr<TQueueItem> child) {
    TQueueItem* added = child.get();
    added->ParentItem = this;
    added->RowHint = row;
    const bool append = row >= ChildCount();
    Children.insert(Children.begin() + std::min(row, ChildCount()), std::move(child));
    if (NameIndex && append)
        IndexName(ChildCount() - 1);
    else
        NameIndex.reset();
    return added;
}

std::unique_ptr<TQueueItem> TQueueItem::Take(int row) {
    std::unique_ptr<TQueueItem> child = std::move(Children[static_cast<size_t>(row)]);
    Children.erase(Children.begin() + row);
    child->ParentItem = nullptr;
    NameIndex.reset();
    return child;
}

void TQueueItem::RemoveChildren(int first, int last) {
    std::vector<std::unique_ptr<TQueueItem>> gone(std::make_move_iterator(Children.begin() + first),
                                                  std::make_move_iterator(Children.begin() + last + 1));
    Children.erase(Children.begin() + first, Children.begin() + last + 1);
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
        for (auto& child : item->Children)
            if (child->ChildCount() > 0) pending.push_back(child.get());
    }
}

void TQueueItem::ClearChildren() {
    std::vector<std::unique_ptr<TQueueItem>> gone = std::move(Children);
    Children.clear();
    NameIndex.reset();
}

void TQueueItem::AppendAll(std::vector<std::unique_ptr<TQueueItem>> children) {
    Children.reserve(Children.size() + children.size());
    for (auto& child : children) {
        child->ParentItem = this;
        child->RowHint = ChildCount();
        Children.push_back(std::move(child));
        if (NameIndex) IndexName(ChildCount() - 1);
    }
}

size_t FoldedNameHash(QStringView name) {
    // FNV-1a over the folded code points, folded as QString::compare folds them.
    size_t hash = 14695981039346656037ull;
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t point = name[i].unicode();
        if (QChar::isHighSurrogate(point) && i + 1 < name.size() && name[i + 1].isLowSurrogate())
            point = QChar::surrogateToUcs4(name[i].unicode(), name[i + 1].unicode()), ++i;
        hash = (hash ^ QChar::toCaseFolded(point)) * 1099511628211ull;
    }
    return hash;
}

void TQueueItem::IndexName(int row) const {
    // The row of the one child with this hash, or -1 once several share it.
    const size_t hash = FoldedNameHash(Child(row)->Node.Name);
    const auto it = NameIndex->find(hash);
    if (it == NameIndex->end())
        NameIndex->insert(hash, row);
    else
        *it = -1;
}

bool TQueueItem::ScanForName(const QString& name, const TQueueItem* self) const {
    for (const auto& child : Children)
        if (child.get() != self && child->Node.Name.compare(name, Qt::CaseInsensitive) == 0) return true;
    return false;
}

bool TQueueItem::HasChildNamed(const QString& name) const {
    return HasOtherChildNamed(name, nullptr);
}

bool TQueueItem::HasOtherChildNamed(const QString& name, const TQueueItem* self) const {
    if (ChildCount() < kIndexedChildren) return ScanForName(name, self);
    if (!NameIndex) {
        NameIndex = std::make_unique<QHash<size_t, int>>();
        NameIndex->reserve(ChildCount());
        for (int row = 0; row < ChildCount(); ++row) IndexName(row);
    }
    const auto it = NameIndex->constFind(FoldedNameHash(name));
    if (it == NameIndex->cend()) return false;
    if (*it < 0) return ScanForName(name, self);  // a hash several children share
    const TQueueItem* child = Child(*it);
    return child != self && child->Node.Name.compare(name, Qt::CaseInsensitive) == 0;
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
        totals.Size += node.Size;
        if (!node.Imported) totals.HasOwnFile = true;
        if (node.IsAudio) {
            totals.AnyAudio = true;
            totals.Duration += node.Duration;
        }
    });
    return totals;
}

bool IsValidName(const QString& name) {
    if (name.size() > kMaxValidNameLength) return false;
    for (QChar c : name)
        if (QStringView(u"/\\*\"<>|").contains(c)) return false;
    return true;
}

QString CutName(const QString& name, int length) {
    qsizetype keep = std::min<qsizetype>(name.size(), length);
    auto fits = [&](qsizetype n) {
        if (n > 0 && n < name.size() && name[n - 1].isHighSurrogate()) return false;
        return name.left(n).toUtf8().size() <= kMaxNameBytes;
    };
    while (keep > 0 && !fits(keep)) --keep;
    return name.left(keep);
}

QString CutFileName(const QString& name, int length) {
    const qsizetype dot = name.lastIndexOf('.');
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    // An "extension" too long to leave room for a name is not kept apart.
    if (extension.isEmpty() || extension.size() >= length) return CutName(name, length);
    QString cut = CutName(name.left(dot), length - static_cast<int>(extension.size())) + extension;
    // A name of many-byte characters: shorter still, so that the extension keeps its place.
    while (cut.toUtf8().size() > kMaxNameBytes && cut.size() > extension.size())
        cut = CutName(cut.left(cut.size() - extension.size() - 1), length) + extension;
    return cut;
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
