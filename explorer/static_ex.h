#pragma once

#include <QLabel>
#include <string_view>

// A label whose whole text shows as a tooltip when it does not fit.
class CStaticEx : public QLabel {
    Q_OBJECT
  public:
    explicit CStaticEx(QWidget* parent = nullptr);

    // Replaces the label's single tip: set only when the text is too wide. True when set.
    bool SetTipText(std::u16string_view text);
};
