#pragma once

#include <QApplication>
#include <memory>

namespace folv {

// A Qt application for the life of a scope, made only when the process has none (a host
// that runs Qt keeps its own).
class QtAppScope {
  public:
    explicit QtAppScope(const char* name) : name_(name) {
        if (QApplication::instance() == nullptr)
            own_ = std::make_unique<QApplication>(argc_, argv_);
    }
    QtAppScope(const QtAppScope&) = delete;
    QtAppScope& operator=(const QtAppScope&) = delete;

  private:
    // The application keeps references to these: they live as long as it does.
    QByteArray name_;
    int argc_ = 1;
    char* argv_[2] = {name_.data(), nullptr};
    std::unique_ptr<QApplication> own_;
};

}  // namespace folv
