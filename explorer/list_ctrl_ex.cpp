#include "explorer/list_ctrl_ex.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QStyleOptionViewItem>

CTitleTip1::CTitleTip1()
    : QLabel(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                          Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    setAutoFillBackground(true);
    setForegroundRole(QPalette::ToolTipText);
    setBackgroundRole(QPalette::ToolTipBase);
    setMargin(0);
    setIndent(0);
    setTextFormat(Qt::PlainText);
}

bool CTitleTip1::ShowTip(QWidget* owner, const QRect& cellRect, const QString& text, int xOffset,
                         const QFont& font) {
    if (isVisible() || QApplication::focusWidget() == nullptr)
        return false;
    stayRect_ = cellRect.adjusted(0, -1, 0, 1);
    const int textWidth = QFontMetrics(font).horizontalAdvance(text);
    const int left = cellRect.left() + xOffset;
    const int right = left + textWidth + 3;
    if (right <= cellRect.right() + 1)
        return false;  // it fits: no tip
    setFont(font);
    setText(text);
    const QPoint topLeft = owner->mapToGlobal(QPoint(left - 1, cellRect.top()));
    setGeometry(QRect(topLeft, QSize(right - left + 2, cellRect.height())));
    show();
    raise();
    return true;
}

void CTitleTip1::HideTip() {
    if (isVisible())
        hide();
}

CListCtrlEx::CListCtrlEx(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(1);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setMouseTracking(true);
    // One column exactly as wide as the list: names that do not fit are cut, and the title
    // tip shows them whole.
    header()->setStretchLastSection(true);
    header()->setSectionResizeMode(QHeaderView::Stretch);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

CListCtrlEx::~CListCtrlEx() {
    tip_.HideTip();
}

int CListCtrlEx::HitTestCell(const QPoint& point, QRect& cellRect, int& column) const {
    const QModelIndex index = indexAt(point);
    if (!index.isValid())
        return -1;
    if (point.x() > viewport()->rect().right())
        return -1;
    QRect rect = visualRect(index);
    rect.setRight(std::min(rect.right(), viewport()->rect().right()));
    cellRect = rect;
    column = index.column();
    return index.row();
}

void CListCtrlEx::SelectRow(int row) {
    if (row < 0 || row >= topLevelItemCount()) {
        clearSelection();
        return;
    }
    QTreeWidgetItem* item = topLevelItem(row);
    setCurrentItem(item);
    item->setSelected(true);
}

int CListCtrlEx::SelectedRow() const {
    const QList<QTreeWidgetItem*> items = selectedItems();
    if (items.isEmpty())
        return -1;
    return indexOfTopLevelItem(items.front());
}

void CListCtrlEx::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (tip_.Shown() && !tip_.StayRect().contains(point))
        tip_.HideTip();
    if (event->buttons() == Qt::NoButton &&
        !(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) && !tip_.Shown()) {
        QRect cellRect;
        int column = 0;
        const int row = HitTestCell(point, cellRect, column);
        if (row >= 0) {
            const QModelIndex index = model()->index(row, column);
            QStyleOptionViewItem option;
            initViewItemOption(&option);
            option.rect = visualRect(index);
            option.text = index.data().toString();
            option.features |= QStyleOptionViewItem::HasDisplay;
            const QRect textRect =
                style()->subElementRect(QStyle::SE_ItemViewItemText, &option, this);
            const int margin =
                style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
            const int xOffset = textRect.left() - cellRect.left() + margin;
            QRect limit = cellRect;
            limit.setRight(std::min(cellRect.right(), textRect.right() - margin));
            tip_.ShowTip(viewport(), limit, option.text, xOffset, font());
        }
    }
    QTreeWidget::mouseMoveEvent(event);
}

void CListCtrlEx::mousePressEvent(QMouseEvent* event) {
    tip_.HideTip();
    QTreeWidget::mousePressEvent(event);
}

void CListCtrlEx::keyPressEvent(QKeyEvent* event) {
    tip_.HideTip();
    QTreeWidget::keyPressEvent(event);
}

void CListCtrlEx::leaveEvent(QEvent* event) {
    tip_.HideTip();
    QTreeWidget::leaveEvent(event);
}

void CListCtrlEx::focusOutEvent(QFocusEvent* event) {
    tip_.HideTip();
    QTreeWidget::focusOutEvent(event);
}
