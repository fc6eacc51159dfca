#pragma once

#include <QLabel>
#include <QPointer>
#include <QTreeWidget>

// The pop-up that shows a page name in full over the list. It never takes input: clicks and
// keys reach the list (or whatever lies under the mouse) as if it were not there.
class CTitleTip1 : public QLabel {
    Q_OBJECT
  public:
    CTitleTip1();

    // Shows text over cellRect (owner coordinates), starting xOffset pixels into the cell,
    // when it does not fit there. True when shown.
    bool ShowTip(QWidget* owner, const QRect& cellRect, const QString& text, int xOffset,
                 const QFont& font);
    void HideTip();
    bool Shown() const { return isVisible(); }
    // Where the mouse may move, in owner coordinates, while the tip stays.
    const QRect& StayRect() const { return stayRect_; }

  private:
    QRect stayRect_;
};

// The page list: a one-column report list with editable labels and a title tip over names
// too long for it.
class CListCtrlEx : public QTreeWidget {
    Q_OBJECT
  public:
    explicit CListCtrlEx(QWidget* parent = nullptr);
    ~CListCtrlEx() override;

    // The row under a point of the viewport and the cell's rectangle, or -1.
    int HitTestCell(const QPoint& point, QRect& cellRect, int& column) const;
    CTitleTip1& Tip() { return tip_; }

    // Selects and focuses a row (an item change the dialog hears about), or clears the
    // selection for -1.
    void SelectRow(int row);
    int SelectedRow() const;

  protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    CTitleTip1 tip_;
};
