#include "library/folvane_app.h"

#include <QApplication>
#include <exception>

#include "explorer/dialog_profile.h"
#include "explorer/dib_static.h"
#include "explorer/qt_prompts.h"
#include "explorer/thumb_dlg.h"

namespace folv {
namespace {

// argc and argv must outlive the application object made from them.
int qtArgc = 1;
char qtName[] = "FOLVANE";
char* qtArgv[] = {qtName, nullptr};

}  // namespace

CFolvaneApp::CFolvaneApp() {
    SetSharedDecoder(&decoder_);
}

CFolvaneApp::~CFolvaneApp() {
    SetSharedDecoder(nullptr);
}

CFolvaneApp::QtScope::QtScope() {
    if (QApplication::instance() == nullptr) {
        own_ = std::make_unique<QApplication>(qtArgc, qtArgv);
    }
}

CFolvaneApp::QtScope::~QtScope() = default;

// Made when the library is loaded, in this order, and destroyed in reverse at unload.
std::u16string arxAppName;
CFolvaneApp theApp;

std::u16string& ArxAppName() {
    return arxAppName;
}

CFolvaneApp& TheApp() {
    return theApp;
}

int RunExplorer() {
    try {
        CFolvaneApp& app = TheApp();
        CFolvaneApp::QtScope qt;
        QtPrompts prompts;
        CThumbDlg dialog(DialogProfile::Library(app.AppName()), ArxAppName(), prompts);
        prompts.SetOwner(&dialog);
        dialog.DoModal();
    } catch (const std::exception&) {
        // Nothing may cross the C boundary; the run is over either way.
    } catch (...) {
    }
    return 1;
}

}  // namespace folv
