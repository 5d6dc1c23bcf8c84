#include "app/ProjectFile.h"

#include <zlib.h>

#include "app/HostText.h"
#include "iso/TBurnerCompilation.h"

#include <QtEndian>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace kv {
namespace {

// Deflate cannot expand input more than 1032 times, so a larger stated size is a lie; the bound
// keeps a hostile file from making the reader allocate what the file claims.
constexpr qint64 kMaxInflateRatio = 1032;
constexpr qint64 kMaxPayloadBytes = qint64{512} << 20;
constexpr quint32 kMaxRows = 64;
constexpr int kTreeRow = 1;
constexpr int kVolumeNameRow = 2;
constexpr int kCdTextRow = 3;

class TWriter {
public:
    QByteArray Bytes;
    void U8(quint8 value) { Bytes.append(static_cast<char>(value)); }
    void U32(quint32 value) {
        char raw[4];
        qToLittleEndian(value, raw);
        Bytes.append(raw, 4);
    }
    void I32(qint32 value) { U32(static_cast<quint32>(value)); }
    void I64(qint64 value) {
        char raw[8];
        qToLittleEndian(static_cast<quint64>(value), raw);
        Bytes.append(raw, 8);
    }
    void Double(double value) { I64(std::bit_cast<qint64>(value)); }
    void Text(const QString& text) { Blob(text.toUtf8()); }
    // A name or path: its own bytes, which need not be UTF-8.
    void HostName(const QString& text) { Blob(HostBytes(text)); }
    void Blob(const QByteArray& bytes) {
        U32(static_cast<quint32>(bytes.size()));
        Bytes.append(bytes);
    }
};

// Reads little-endian fields; every read checks what is left and fails for good once it fails.
class TReader {
public:
    explicit TReader(QByteArrayView bytes) : Bytes(bytes) {}
    bool Ok() const { return Good; }
    bool AtEnd() const { return Good && Position == Bytes.size(); }

    quint8 U8() { return Take(1) ? static_cast<quint8>(Bytes[Position - 1]) : 0; }
    quint32 U32() { return Take(4) ? qFromLittleEndian<quint32>(Bytes.data() + Position - 4) : 0; }
    qint32 I32() { return static_cast<qint32>(U32()); }
    qint64 I64() { return Take(8) ? qFromLittleEndian<qint64>(Bytes.data() + Position - 8) : 0; }
    double Double() { return std::bit_cast<double>(I64()); }
    bool Bool() {
        const quint8 value = U8();
        if (value > 1) Good = false;
        return value == 1;
    }
    QByteArrayView Blob() {
        const quint32 length = U32();
        if (!Take(length)) return {};
        return Bytes.sliced(Position - length, length);
    }
    QString Text() { return QString::fromUtf8(Blob()); }
    QString HostName() { return HostText(Blob()); }

private:
    bool Take(qint64 count) {
        if (!Good || count > Bytes.size() - Position) {
            Good = false;
            return false;
        }
        Position += count;
        return true;
    }
    QByteArrayView Bytes;
    qint64 Position = 0;
    bool Good = true;
};

// The zlib stream of qCompress's output, inflated into at most `stated` bytes as they come (the
// stated size is never allocated up front). zlib checks the data against its Adler-32 sum.
std::optional<QByteArray> Inflate(QByteArrayView stream, qint64 stated) {
    if (stream.size() > std::numeric_limits<uInt>::max()) return std::nullopt;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return std::nullopt;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    z.avail_in = static_cast<uInt>(stream.size());
    QByteArray out;
    int result = Z_OK;
    for (;;) {
        if (z.avail_out == 0) {
            const qint64 have = out.size();
            if (have >= stated) {
                result = Z_DATA_ERROR;  // more than the file said
                break;
            }
            out.resize(std::min(stated, std::max<qint64>(have * 2, 4096)));
            z.next_out = reinterpret_cast<Bytef*>(out.data()) + have;
            z.avail_out = static_cast<uInt>(out.size() - have);
        }
        result = inflate(&z, Z_NO_FLUSH);
        if (result != Z_OK) break;
    }
    const qint64 produced = static_cast<qint64>(z.total_out);
    const bool whole = result == Z_STREAM_END && z.avail_in == 0 && produced == stated;
    inflateEnd(&z);
    if (!whole) return std::nullopt;
    return out;
}

void WriteRecord(TWriter& out, const QueueNode& node) {
    out.HostName(node.Name);
    out.HostName(node.SourcePath);
    out.Text(node.TypeName);
    out.I32(node.Attributes);
    out.Double(node.Modified);
    out.I32(node.OpenIcon);
    out.I32(node.ClosedIcon);
    out.I64(node.Size);
    out.Double(node.Duration);
    out.U8(node.IsFolder);
    out.U8(node.IconsResolved);
    out.U8(node.InfoResolved);
    out.U8(node.IsAudio);
    out.U8(node.Imported);
}

QueueNode ReadRecord(TReader& in) {
    QueueNode node;
    node.Name = in.HostName();
    node.SourcePath = in.HostName();
    node.TypeName = in.Text();
    node.Attributes = in.I32();
    node.Modified = in.Double();
    node.OpenIcon = in.I32();
    node.ClosedIcon = in.I32();
    node.Size = in.I64();
    node.Duration = in.Double();
    node.IsFolder = in.Bool();
    node.IconsResolved = in.Bool();
    node.InfoResolved = in.Bool();
    node.IsAudio = in.Bool();
    node.Imported = in.Bool();
    return node;
}

// A name that could leave its folder on the disc or in an extraction is no name; sizes and times
// stay within what a disc holds, so that the totals never overflow.
bool SoundRecord(const QueueNode& node) {
    if (!IsValidName(node.Name)) return false;
    const bool duration = node.Duration == -1 || (node.Duration >= 0 && node.Duration <= kMaxNodeDuration);
    return node.Size >= 0 && node.Size <= TBurnerCompilation::kMaxFileSize && std::isfinite(node.Modified) &&
           duration;
}

// Every node below the root in the tree stream's order.
std::vector<TQueueItem*> NodesInStreamOrder(const TQueueItem& root) {
    std::vector<TQueueItem*> nodes;
    root.ForEachBelow([&](const TQueueItem& item) { nodes.push_back(const_cast<TQueueItem*>(&item)); });
    return nodes;
}

// The kind 3 row; nullopt when no node has typed texts.
std::optional<QByteArray> CdTextRow(const TQueueItem& root) {
    TWriter entries;
    quint32 count = 0;
    const std::vector<TQueueItem*> nodes = NodesInStreamOrder(root);
    for (size_t i = 0; i < nodes.size(); ++i) {
        const QueueNode& node = nodes[i]->Node;
        if (node.CdTextTitle.isEmpty() && node.CdTextPerformer.isEmpty()) continue;
        entries.U32(static_cast<quint32>(i));
        entries.Text(node.CdTextTitle);
        entries.Text(node.CdTextPerformer);
        ++count;
    }
    if (count == 0) return std::nullopt;
    TWriter row;
    row.U32(count);
    row.Bytes.append(entries.Bytes);
    return row.Bytes;
}

void ApplyCdTextRow(QByteArrayView row, TQueueItem& root) {
    TReader in(row);
    const quint32 count = in.U32();
    struct TTexts {
        quint32 Node;
        QString Title, Performer;
    };
    std::vector<TTexts> texts;
    const std::vector<TQueueItem*> nodes = NodesInStreamOrder(root);
    for (quint32 i = 0; i < count && in.Ok(); ++i) {
        TTexts t;
        t.Node = in.U32();
        t.Title = in.Text();
        t.Performer = in.Text();
        if (!in.Ok() || t.Node >= nodes.size() || !nodes[t.Node]->Node.IsAudio) return;
        texts.push_back(std::move(t));
    }
    if (!in.AtEnd()) return;
    for (const TTexts& t : texts) {
        nodes[t.Node]->Node.CdTextTitle = t.Title;
        nodes[t.Node]->Node.CdTextPerformer = t.Performer;
    }
}

}  // namespace

std::optional<QByteArray> WriteTreeStream(const TQueueItem& root) {
    TWriter out;
    out.U32(static_cast<quint32>(root.ChildCount()));
    struct TFrame {
        const TQueueItem* Item;
        int Next;
    };
    std::vector<TFrame> stack{{&root, 0}};
    while (!stack.empty()) {
        TFrame& frame = stack.back();
        if (frame.Next == frame.Item->ChildCount()) {
            stack.pop_back();
            continue;
        }
        const TQueueItem* child = frame.Item->Child(frame.Next++);
        WriteRecord(out, child->Node);
        out.U32(static_cast<quint32>(child->ChildCount()));
        if (child->ChildCount() == 0) continue;
        if (stack.size() >= kMaxTreeDepth) return std::nullopt;
        stack.push_back({child, 0});
    }
    return out.Bytes;
}

std::unique_ptr<TQueueItem> ReadTreeStream(QByteArrayView stream) {
    TReader in(stream);
    auto root = std::make_unique<TQueueItem>();
    struct TFrame {
        TQueueItem* Item;
        quint32 Left;
    };
    std::vector<TFrame> stack{{root.get(), in.U32()}};
    qint64 nodes = 0;
    while (in.Ok() && !stack.empty()) {
        if (stack.back().Left == 0) {
            stack.pop_back();
            continue;
        }
        --stack.back().Left;
        QueueNode node = ReadRecord(in);
        const quint32 children = in.U32();
        if (!in.Ok() || ++nodes > kMaxTreeNodes || !SoundRecord(node)) return nullptr;
        if (children > 0 && (!node.IsFolder || stack.size() >= kMaxTreeDepth)) return nullptr;
        node.IconsResolved = false;
        TQueueItem* item = stack.back().Item->Append(std::make_unique<TQueueItem>(std::move(node)));
        if (children > 0) stack.push_back({item, children});
    }
    if (!in.AtEnd() || !stack.empty()) return nullptr;
    return root;
}

std::optional<QByteArray> EncodeProject(const TQueueItem& root, const QString& volumeName) {
    const std::optional<QByteArray> tree = WriteTreeStream(root);
    if (!tree) return std::nullopt;
    const std::optional<QByteArray> cdText = CdTextRow(root);
    TWriter rows;
    rows.U32(cdText ? 3 : 2);
    rows.I32(kTreeRow);
    rows.Blob(*tree);
    rows.I32(kVolumeNameRow);
    rows.Text(volumeName);
    if (cdText) {
        rows.I32(kCdTextRow);
        rows.Blob(*cdText);
    }
    if (rows.Bytes.size() > kMaxPayloadBytes) return std::nullopt;
    TWriter file;
    file.Bytes.append(kProjectMagic, sizeof kProjectMagic);
    file.U32(kProjectVersion);
    file.Bytes.append(qCompress(rows.Bytes));
    return file.Bytes;
}

std::optional<TProject> DecodeProject(QByteArrayView file) {
    constexpr qsizetype kHeader = sizeof kProjectMagic + 4;
    if (file.size() < kHeader + 4 || std::memcmp(file.data(), kProjectMagic, sizeof kProjectMagic) != 0)
        return std::nullopt;
    if (qFromLittleEndian<quint32>(file.data() + sizeof kProjectMagic) != kProjectVersion)
        return std::nullopt;
    const QByteArrayView compressed = file.sliced(kHeader);
    const qint64 stated = qFromBigEndian<quint32>(compressed.data());
    if (stated == 0 || stated > kMaxPayloadBytes || stated > (compressed.size() - 4) * kMaxInflateRatio)
        return std::nullopt;
    const std::optional<QByteArray> payload = Inflate(compressed.sliced(4), stated);
    if (!payload) return std::nullopt;

    TReader in(*payload);
    const quint32 rows = in.U32();
    if (!in.Ok() || rows > kMaxRows) return std::nullopt;
    TProject project;
    std::optional<QByteArrayView> cdText;
    for (quint32 row = 0; row < rows; ++row) {
        const qint32 kind = in.I32();
        const QByteArrayView value = in.Blob();
        if (!in.Ok()) return std::nullopt;
        if (kind == kTreeRow) {
            project.Tree = ReadTreeStream(value);
            if (!project.Tree) return std::nullopt;
        } else if (kind == kVolumeNameRow) {
            project.VolumeName = QString::fromUtf8(value);
        } else if (kind == kCdTextRow) {
            cdText = value;
        }
    }
    if (!in.AtEnd()) return std::nullopt;
    if (cdText && project.Tree) ApplyCdTextRow(*cdText, *project.Tree);
    return project;
}

}  // namespace kv
