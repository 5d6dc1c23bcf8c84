// Removals, moves and sorting of the compilation tree. Each is one operation of the model however
// many nodes it touches: rows are numbered again once per operation, and a selection of many
// scattered nodes is one change of layout rather than one removal or move per run of neighbours
// (each of which would have every persistent index brought up to date again). The changes of
// layout say "vertical": the columns never change, only rows go or move, so the selection keeps
// one index per row and the header nothing, instead of one index per cell.
#include "window/QueueModel.h"

#include <QSet>

#include <algorithm>
#include <functional>
#include <unordered_map>

#include "app/HostText.h"
#include "app/MessageCatalogue.h"

namespace kv {
namespace {

using TRowsByParent = std::unordered_map<TQueueItem*, std::vector<int>>;

// Whether every node of a non-empty list has the first one's parent, as most selections do.
bool OneParent(const QList<TQueueItem*>& items) {
    const TQueueItem* parent = items.front()->Parent();
    return std::all_of(items.begin(), items.end(), [parent](const TQueueItem* item) { return item->Parent() == parent; });
}

// The nodes without those below another chosen one (they go or move with it), once each.
QList<TQueueItem*> TopmostOf(const QList<TQueueItem*>& items, const TQueueItem* root) {
    // Children of one folder: none lies below another, and their rows tell a node given twice
    // without hashing every node.
    const TQueueItem* parent = items.isEmpty() ? nullptr : items.front()->Parent();
    if (parent && OneParent(items)) {
        std::vector<bool> taken(static_cast<size_t>(parent->ChildCount()));
        QList<TQueueItem*> topmost;
        topmost.reserve(items.size());
        for (TQueueItem* item : items)
            if (!taken[static_cast<size_t>(item->Row())]) {
                taken[static_cast<size_t>(item->Row())] = true;
                topmost.append(item);
            }
        return topmost;
    }
    const QSet<TQueueItem*> chosen(items.begin(), items.end());
    QList<TQueueItem*> topmost;
    QSet<TQueueItem*> seen;
    for (TQueueItem* item : items) {
        if (item == root || seen.contains(item)) continue;
        bool below = false;
        for (TQueueItem* up = item->Parent(); up && !below; up = up->Parent()) below = chosen.contains(up);
        if (below) continue;
        seen.insert(item);
        topmost.append(item);
    }
    return topmost;
}

// Each parent's rows among `items`, ascending.
TRowsByParent RowsByParent(const QList<TQueueItem*>& items) {
    TRowsByParent rows;
    for (TQueueItem* item : items) rows[item->Parent()].push_back(item->Row());
    // A selection usually comes in row order already.
    for (auto& [parent, list] : rows)
        if (!std::is_sorted(list.begin(), list.end())) std::sort(list.begin(), list.end());
    return rows;
}

bool IsOneRun(const std::vector<int>& rows) {
    return rows.back() - rows.front() + 1 == static_cast<int>(rows.size());
}

// The nodes in tree order: a node's rows from the root down, compared.
void SortInTreeOrder(QList<TQueueItem*>& items) {
    // Neighbours: their rows alone give the order.
    if (OneParent(items)) {
        const auto byRow = [](const TQueueItem* a, const TQueueItem* b) { return a->Row() < b->Row(); };
        if (!std::is_sorted(items.begin(), items.end(), byRow)) std::sort(items.begin(), items.end(), byRow);
        return;
    }
    std::vector<std::pair<std::vector<int>, TQueueItem*>> keyed;
    keyed.reserve(static_cast<size_t>(items.size()));
    for (TQueueItem* item : items) {
        std::vector<int> rows;
        for (const TQueueItem* up = item; up->Parent(); up = up->Parent()) rows.push_back(up->Row());
        std::reverse(rows.begin(), rows.end());
        keyed.emplace_back(std::move(rows), item);
    }
    std::sort(keyed.begin(), keyed.end());
    for (qsizetype i = 0; i < items.size(); ++i) items[i] = keyed[static_cast<size_t>(i)].second;
}

}  // namespace

bool TQueueModel::InTree(const TQueueItem* item) const {
    for (; item; item = item->Parent())
        if (item == RootItem.get()) return true;
    return false;
}

void TQueueModel::ChangeLayout(const std::function<std::vector<std::unique_ptr<TQueueItem>>()>& change) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::pair<const TQueueItem*, int>> held;
    held.reserve(static_cast<size_t>(before.size()));
    for (const QModelIndex& index : before) held.emplace_back(ItemOf(index), index.column());
    std::vector<std::unique_ptr<TQueueItem>> gone = change();
    QModelIndexList after;
    after.reserve(before.size());
    for (const auto& [item, column] : held) after.append(InTree(item) ? IndexOf(item, column) : QModelIndex());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    // Nothing points at them any more. Freed in the order they lie in memory: after a sort, row
    // order scatters them, and freeing 100 000 nodes in row order waited on memory for most of it.
    const auto byAddress = [](const auto& a, const auto& b) { return std::less<>()(a.get(), b.get()); };
    if (!std::is_sorted(gone.begin(), gone.end(), byAddress)) std::sort(gone.begin(), gone.end(), byAddress);
    gone.clear();
    emit TreeChanged();
}

bool TQueueModel::RemoveTopLevelPath(const QString& text) {
    // Paths and names are byte strings: "photos" does not name "Photos".
    for (int row = 0; row < RootItem->ChildCount(); ++row) {
        const QueueNode& node = RootItem->Child(row)->Node;
        if (node.SourcePath == text || node.Name == text) {
            RemoveRun(RootItem.get(), row, row);
            return true;
        }
    }
    return false;
}

void TQueueModel::RemoveRun(TQueueItem* parent, int first, int last) {
    beginRemoveRows(IndexOf(parent), first, last);
    parent->RemoveChildren(first, last);
    endRemoveRows();
    emit TreeChanged();
}

void TQueueModel::RemoveItems(QList<TQueueItem*> items) {
    TRowsByParent rowsOf = RowsByParent(TopmostOf(items, RootItem.get()));
    if (rowsOf.empty()) return;
    if (rowsOf.size() == 1 && IsOneRun(rowsOf.begin()->second)) {
        const auto& [parent, rows] = *rowsOf.begin();
        RemoveRun(parent, rows.front(), rows.back());
        return;
    }
    ChangeLayout([&] {
        std::vector<std::unique_ptr<TQueueItem>> gone;
        for (const auto& [parent, rows] : rowsOf)
            for (std::unique_ptr<TQueueItem>& item : parent->TakeRows(rows)) gone.push_back(std::move(item));
        return gone;
    });
}

void TQueueModel::DeleteImportedNodes() {
    QList<TQueueItem*> imported;
    for (int row = 0; row < RootItem->ChildCount(); ++row)
        if (RootItem->Child(row)->Node.Imported) imported.append(RootItem->Child(row));
    RemoveItems(imported);
}

bool TQueueModel::MoveItems(QList<TQueueItem*> items, TQueueItem* target, TDropPosition position) {
    items = TopmostOf(items, RootItem.get());
    // Nodes of the imported session stay where they are on the disc.
    items.removeIf([](const TQueueItem* item) { return item->Node.Imported; });
    if (items.isEmpty()) return false;
    SortInTreeOrder(items);
    const QSet<TQueueItem*> chosen(items.begin(), items.end());

    if (!target || target == RootItem.get()) position = TDropPosition::End;
    // A file takes nothing in and keeps nothing behind it: whatever lands on it goes before it.
    if (position != TDropPosition::End && !target->Node.IsFolder) position = TDropPosition::Before;
    if (position != TDropPosition::End && chosen.contains(target)) return false;
    TQueueItem* into = RootItem.get();
    int row = RootItem->ChildCount();
    switch (position) {
        case TDropPosition::End:
            break;
        case TDropPosition::Onto:
            into = target;
            row = target->ChildCount();
            break;
        case TDropPosition::Before:
        case TDropPosition::After:
            into = target->Parent();
            row = target->Row() + (position == TDropPosition::After ? 1 : 0);
            break;
    }
    for (const TQueueItem* item : items)
        if (item == into || item->IsAncestorOf(into)) return false;

    // Names stay unique among the new siblings, compared exactly. Nodes that leave one folder
    // together were unique there already: only nodes from several folders are compared among
    // themselves, and the rest against the folder's own name table.
    const bool oneParent = OneParent(items);
    QSet<QString> arriving;
    if (!oneParent) arriving.reserve(items.size());
    for (const TQueueItem* item : items) {
        TQueueItem* same = into->ChildNamed(item->Node.Name);
        bool clash = same && !chosen.contains(same);
        if (!clash && !oneParent) {
            clash = arriving.contains(item->Node.Name);
            arriving.insert(item->Node.Name);
        }
        if (clash) {
            if (Hooks.Notice) Hooks.Notice(LookupTextWith("1.1", {"<#value>=" + ShownText(item->Node.Name)}));
            return false;
        }
    }

    if (items.size() == 1) {
        TQueueItem* item = items.front();
        TQueueItem* from = item->Parent();
        const int source = item->Row();
        if (from == into && (source == row || source + 1 == row)) return true;  // already in its place
        if (!beginMoveRows(IndexOf(from), source, source, IndexOf(into), row)) return false;
        std::unique_ptr<TQueueItem> moving = from->Take(source);
        into->Insert(from == into && source < row ? row - 1 : row, std::move(moving));
        endMoveRows();
        emit TreeChanged();
        return true;
    }

    // The insertion point once the moving nodes have left `into`.
    int at = row;
    for (const TQueueItem* item : items)
        if (item->Parent() == into && item->Row() < row) --at;
    ChangeLayout([&] {
        std::unordered_map<const TQueueItem*, std::unique_ptr<TQueueItem>> taken;
        taken.reserve(static_cast<size_t>(items.size()));
        for (const auto& [parent, rows] : RowsByParent(items))
            for (std::unique_ptr<TQueueItem>& item : parent->TakeRows(rows)) {
                const TQueueItem* key = item.get();
                taken.emplace(key, std::move(item));
            }
        std::vector<std::unique_ptr<TQueueItem>> ordered;
        ordered.reserve(static_cast<size_t>(items.size()));
        for (const TQueueItem* item : items) ordered.push_back(std::move(taken[item]));
        into->InsertAll(at, std::move(ordered));
        return std::vector<std::unique_ptr<TQueueItem>>();
    });
    return true;
}

void TQueueModel::SortTree(Qt::SortOrder order) {
    const bool descending = order == Qt::DescendingOrder;
    ChangeLayout([&] {
        RootItem->SortBelow([descending](const TQueueItem& a, const TQueueItem& b) {
            const TQueueItem& first = descending ? b : a;
            const TQueueItem& second = descending ? a : b;
            if (first.Node.IsFolder != second.Node.IsFolder) return first.Node.IsFolder;
            // "README" and "readme" are two names: they keep one order whatever order they had.
            const int folded = first.Node.Name.compare(second.Node.Name, Qt::CaseInsensitive);
            return folded != 0 ? folded < 0 : first.Node.Name < second.Node.Name;
        });
        return std::vector<std::unique_ptr<TQueueItem>>();
    });
}

}  // namespace kv
