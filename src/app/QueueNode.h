#pragma once
#include <QDateTime>
#include <QHash>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace kv {

struct TFEntry;

// File attributes a node records, in the bit values project files store.
enum TNodeAttribute : qint32 {
    kNodeReadOnly = 0x01,
    kNodeHidden = 0x02,
    kNodeSystem = 0x04,
    kNodeFolder = 0x10,
    kNodeArchive = 0x20,
};

// The record behind every node of the compilation tree, in the field order of its stored form.
struct QueueNode {
    QString Name{};        // name on the disc
    QString SourcePath{};  // empty for a folder made in the tree
    QString TypeName{};
    qint32 Attributes = 0;
    double Modified = 0;  // local time as days since 30 Dec 1899, the fraction being the time of day
    qint32 OpenIcon = -1;
    qint32 ClosedIcon = -1;
    qint64 Size = 0;
    double Duration = -1;  // seconds of audio, -1 for anything else
    bool IsFolder = false;
    bool IconsResolved = false;
    bool InfoResolved = false;
    bool IsAudio = false;
    bool Imported = false;
    // An audio file's CD-TEXT as typed in the properties window; empty takes the file's tags or
    // name. Not part of the stored record: project files keep them in a row of their own.
    QString CdTextTitle{};
    QString CdTextPerformer{};
    // An imported node's entry in the data burner's compilation (which owns it); only compared
    // with the compilation's own entries before it is used, never stored.
    const TFEntry* ImportedEntry = nullptr;
    bool operator==(const QueueNode&) const = default;
};

// Names typed in the tree: at most this many characters (names from the disk keep their length).
inline constexpr int kMaxNodeNameLength = 106;
// Deeper trees are neither walked from the disk nor stored in projects (a symlink loop or a
// hostile project would otherwise nest without end).
inline constexpr int kMaxTreeDepth = 1024;
// The longest playing time a node may claim (a hostile project would otherwise overflow the sums).
inline constexpr double kMaxNodeDuration = 1.0e6;

// One node and its children. The root is a node without record content that is never shown.
// Names are compared exactly: on Linux "README" and "readme" are two files.
class TQueueItem {
public:
    TQueueItem() = default;
    explicit TQueueItem(QueueNode node) : Node(std::move(node)) {}
    TQueueItem(const TQueueItem&) = delete;
    TQueueItem& operator=(const TQueueItem&) = delete;
    ~TQueueItem();

    QueueNode Node;
    // Shown open in the view (the open icon is drawn); not stored.
    bool Expanded = false;
    // Its source has gone; its removal is queued.
    bool Vanished = false;

    TQueueItem* Parent() const { return ParentItem; }
    int ChildCount() const { return static_cast<int>(Children.size()); }
    TQueueItem* Child(int row) const { return Children[static_cast<size_t>(row)].get(); }
    // Its index among its parent's children. Every change of the children numbers them again once,
    // so this never searches.
    int Row() const { return RowNumber; }
    int Depth() const;
    bool IsAncestorOf(const TQueueItem* other) const;

    TQueueItem* Append(std::unique_ptr<TQueueItem> child) { return Insert(ChildCount(), std::move(child)); }
    void AppendAll(std::vector<std::unique_ptr<TQueueItem>> children) { InsertAll(ChildCount(), std::move(children)); }
    TQueueItem* Insert(int row, std::unique_ptr<TQueueItem> child);
    // Inserts the children, in their order, before `row`.
    void InsertAll(int row, std::vector<std::unique_ptr<TQueueItem>> children);
    std::unique_ptr<TQueueItem> Take(int row);
    // Takes the children at `rows` (ascending, each once) out in one pass, in that order.
    std::vector<std::unique_ptr<TQueueItem>> TakeRows(const std::vector<int>& rows);
    // Frees the children from `first` to `last`, both included.
    void RemoveChildren(int first, int last);
    void ClearChildren();
    // Orders the children of every node below this one (a stable sort).
    void SortBelow(const std::function<bool(const TQueueItem&, const TQueueItem&)>& less);
    // The child with exactly this name; null when there is none.
    TQueueItem* ChildNamed(const QString& name) const { return OtherChildNamed(name, nullptr); }
    bool HasChildNamed(const QString& name) const { return ChildNamed(name) != nullptr; }
    // A child other than `self` with exactly this name.
    bool HasOtherChildNamed(const QString& name, const TQueueItem* self) const {
        return OtherChildNamed(name, self) != nullptr;
    }
    // Call after a child's name changed.
    void ChildRenamed() { NameIndex.reset(); }

    // Every node below this one, a node before its children.
    template <typename F>
    void ForEachBelow(F&& visit) const {
        std::vector<const TQueueItem*> stack;
        for (auto it = Children.rbegin(); it != Children.rend(); ++it) stack.push_back(it->get());
        while (!stack.empty()) {
            const TQueueItem* item = stack.back();
            stack.pop_back();
            visit(*item);
            for (auto it = item->Children.rbegin(); it != item->Children.rend(); ++it)
                stack.push_back(it->get());
        }
    }

private:
    void Renumber(int from);
    void IndexName(int row) const;
    TQueueItem* OtherChildNamed(const QString& name, const TQueueItem* self) const;
    TQueueItem* ScanForName(const QString& name, const TQueueItem* self) const;

    TQueueItem* ParentItem = nullptr;
    std::vector<std::unique_ptr<TQueueItem>> Children;
    int RowNumber = 0;
    // Folders with many children look names up in a table from the hash of a name to the row of
    // the child with it (-1 when several share a hash: loaded trees may repeat names), built on
    // demand, kept by appends and dropped by anything else.
    mutable std::unique_ptr<QHash<size_t, int>> NameIndex;
};

// What the tree holds: file and folder nodes below the root, the sum of the file sizes and of the
// audio files' playing times; whether a file comes from disk and whether any is audio.
struct TTreeTotals {
    qint64 Files = 0;
    qint64 Folders = 0;
    qint64 Size = 0;
    double Duration = 0;
    bool HasOwnFile = false;
    bool AnyAudio = false;
};
TTreeTotals TreeTotals(const TQueueItem& below);

// A name a Linux folder can hold: not empty, not "." or "..", without "/" or NUL, and at most
// 255 bytes (the longest name a Linux file system or a Rock Ridge entry holds).
bool IsValidName(const QString& name);
// The first `length` characters, never half a surrogate pair, and at most 255 bytes.
QString CutName(const QString& name, int length = kMaxNodeNameLength);

// Local date and time as days since 30 December 1899 and back.
double ToDayNumber(const QDateTime& local);
QDateTime FromDayNumber(double days);

}  // namespace kv
