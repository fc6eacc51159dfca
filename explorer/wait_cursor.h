#pragma once

#include <QApplication>
#include <QCursor>

namespace folv {

// The wait cursor for the life of a scope; nested guards stack.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace folv
