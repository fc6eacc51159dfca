#include "library/folvane_app.h"

#include <exception>

#include "explorer/dialog_profile.h"
#include "explorer/dib_static.h"
#include "explorer/qt_app_scope.h"
#include "explorer/qt_prompts.h"
#include "explorer/thumb_dlg.h"

namespace folv {

CFolvaneApp::CFolvaneApp() {
    SetSharedDecoder(&decoder_);
}

CFolvaneApp::~CFolvaneApp() {
    SetSharedDecoder(nullptr);
}

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
        QtAppScope qt("FOLVANE");
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
