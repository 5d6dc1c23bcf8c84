#pragma once
#include <QStringList>
#include <QWidget>

class QLabel;
class QMenu;
class QToolButton;

namespace kv {

// The "Fly Window": a small frameless window above all others that stands in for the main window.
// Files dropped on it go into the compilation; it shows the compilation's counts, size and
// playing time. It is moved by dragging it with the left button. Closing it any way (its own close
// button and menu, Escape, the window manager's close) brings the main window back.
class TFormDrop : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 138;
    static constexpr int kHeight = 60;

    explicit TFormDrop(QWidget* parent = nullptr);

    void ApplyCaptions();
    void ShowCounts(qint64 files, qint64 folders);
    void ShowTotals(qint64 files, qint64 folders, const QString& size, const QString& duration);

    QLabel* ImageDrop = nullptr;
    QLabel* LabelFiles = nullptr;
    QLabel* LabelFolders = nullptr;
    QLabel* LabelSize = nullptr;
    QLabel* LabelDuration = nullptr;
    QToolButton* ImageExit = nullptr;
    QMenu* PopupMenu = nullptr;
    QAction* MenuItemClose = nullptr;

signals:
    void FilesDropped(const QStringList& paths);
    void CloseRequested();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void StartMove(const QPoint& globalPosition);
    QPoint MoveOffset;
    bool Moving = false;
};

}  // namespace kv
