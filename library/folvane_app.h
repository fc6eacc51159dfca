#pragma once

#include <string>

#include "imaging/any_pic_decoder.h"

namespace folv {

// The library's application object: one per load. Owns the picture decoder every cell
// shares.
class CFolvaneApp {
  public:
    CFolvaneApp();
    ~CFolvaneApp();
    CFolvaneApp(const CFolvaneApp&) = delete;
    CFolvaneApp& operator=(const CFolvaneApp&) = delete;

    PLAnyPicDecoder& Decoder() { return decoder_; }
    // The library's name: its file name without extension.
    const std::u16string& AppName() const { return appName_; }

  private:
    PLAnyPicDecoder decoder_;
    std::u16string appName_ = u"FOLVANE";
};

CFolvaneApp& TheApp();

// The host module name handed to SetArxAppName; copied by each dialog when it is made.
std::u16string& ArxAppName();

// One explorer run, as thumb makes it. Never throws.
int RunExplorer();

}  // namespace folv
