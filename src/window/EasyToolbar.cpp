#include "window/EasyToolbar.h"

#include <QAction>
#include <QLayout>
#include <QToolButton>
#include <algorithm>
#include <memory>

namespace kv {
namespace {

constexpr int kSpacing = 2;
constexpr int kIconSize = 32;

// Lays its items out left to right and starts a new row where the next one would not fit.
class TFlowLayout : public QLayout {
public:
    explicit TFlowLayout(QWidget* parent) : QLayout(parent) { setContentsMargins(2, 2, 2, 2); }
    ~TFlowLayout() override {
        while (QLayoutItem* item = takeAt(0)) delete item;
    }

    void addItem(QLayoutItem* item) override { Items.append(item); }
    int count() const override { return static_cast<int>(Items.size()); }
    QLayoutItem* itemAt(int index) const override { return Items.value(index); }
    QLayoutItem* takeAt(int index) override {
        return index >= 0 && index < Items.size() ? Items.takeAt(index) : nullptr;
    }
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return Arrange(QRect(0, 0, width, 0), false); }
    void setGeometry(const QRect& rect) override {
        QLayout::setGeometry(rect);
        Arrange(rect, true);
    }
    QSize sizeHint() const override { return minimumSize(); }
    QSize minimumSize() const override {
        QSize size;
        for (const QLayoutItem* item : Items) size = size.expandedTo(item->minimumSize());
        const QMargins m = contentsMargins();
        return size + QSize(m.left() + m.right(), m.top() + m.bottom());
    }

private:
    int Arrange(const QRect& rect, bool place) const {
        const QRect area = rect.marginsRemoved(contentsMargins());
        int x = area.x();
        int y = area.y();
        int rowHeight = 0;
        for (QLayoutItem* item : Items) {
            if (item->isEmpty()) continue;
            const QSize hint = item->sizeHint();
            if (x > area.x() && x + hint.width() > area.right() + 1) {
                x = area.x();
                y += rowHeight + kSpacing;
                rowHeight = 0;
            }
            if (place) item->setGeometry(QRect(QPoint(x, y), hint));
            x += hint.width() + kSpacing;
            rowHeight = std::max(rowHeight, hint.height());
        }
        return y + rowHeight - rect.y() + contentsMargins().bottom();
    }

    QList<QLayoutItem*> Items;
};

}  // namespace

TEasyToolbar::TEasyToolbar(QWidget* parent) : QWidget(parent) {
    new TFlowLayout(this);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void TEasyToolbar::SetButtons(const std::vector<QAction*>& actions) {
    // Rebuilt whole: hidden while it changes, so that it does not lay out once per button.
    setUpdatesEnabled(false);
    for (QAction* action : this->actions()) removeAction(action);
    while (QLayoutItem* item = layout()->takeAt(0)) {
        // A button may be the one whose click led here: it goes once its signal has returned.
        if (QWidget* button = item->widget()) {
            button->hide();
            button->deleteLater();
        }
        delete item;
    }
    const int icon = kIconSize;
    for (QAction* action : actions) {
        addAction(action);
        auto* button = new QToolButton(this);
        button->setDefaultAction(action);
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setIconSize(QSize(icon, icon));
        // Wide enough for the usual captions; a longer one widens its button.
        button->setMinimumSize(kButtonWidth, kButtonHeight);
        layout()->addWidget(button);
    }
    setUpdatesEnabled(true);
    updateGeometry();
}

}  // namespace kv
