#include "explorer/static_ex.h"

#include <QApplication>
#include <QFontMetrics>

#include "explorer/qt_text.h"

CStaticEx::CStaticEx(QWidget* parent) : QLabel(parent) {}

bool CStaticEx::SetTipText(std::u16string_view text) {
    const int width = frameGeometry().width();
    // Measured in the window's default font rather than the label's own, as the tip has
    // always been decided.
    const int measured = QFontMetrics(QApplication::font()).horizontalAdvance(folv::ToQ(text));
    setToolTip(QString());
    if (measured - 5 >= width) {
        setToolTip(folv::ToQ(text));
        return true;
    }
    return false;
}
