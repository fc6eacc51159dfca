#include "model/host_bridge.h"

#include <type_traits>
#include <utility>

#include "platform/modules.h"

namespace folv {

namespace api = host_api;

const char* HostFunctionName(HostFunction function) {
    switch (function) {
        case HostFunction::GetStartDir:
            return api::kGetStartDir;
        case HostFunction::GetStartExt:
            return api::kGetStartExt;
        case HostFunction::GetWhatToGrayOut:
            return api::kGetWhatToGrayOut;
        case HostFunction::SetDefLayer:
            return api::kSetDefLayer;
        case HostFunction::SetDefColour:
            return api::kSetDefColour;
        case HostFunction::SetSelectedFile:
            return api::kSetSelectedFile;
        case HostFunction::SetWorkingDirPath:
            return api::kSetWorkingDirPath;
        case HostFunction::SetAcadCommandToExec:
            return api::kSetAcadCommandToExec;
        case HostFunction::AcadParameter:
            return api::kAcadParameter;
        case HostFunction::AcadOpen:
            return api::kAcadOpen;
        case HostFunction::AcadInsert:
            return api::kAcadInsert;
        case HostFunction::AcadXRef:
            return api::kAcadXRef;
        case HostFunction::AcadRecover:
            return api::kAcadRecover;
    }
    return "";
}

namespace {

// Runs `fn` when present: a bool for functions whose result is not used, the result
// itself otherwise.
template <typename Fn, typename... Args>
auto Invoke(Fn* fn, Args... args) {
    using R = std::invoke_result_t<Fn*, Args...>;
    if constexpr (std::is_void_v<R>) {
        if (fn == nullptr)
            return false;
        fn(args...);
        return true;
    } else {
        if (fn == nullptr)
            return std::optional<R>();
        return std::optional<R>(fn(args...));
    }
}

// A host may fill all of the buffer: it is cut at its last character whatever it wrote.
template <typename Fn>
std::optional<int> FillBuffer(Fn* fn, PathBuffer& buffer) {
    buffer.Clear();
    if (fn == nullptr)
        return std::nullopt;
    int result = fn(buffer.Data());
    buffer.Terminate();
    return result;
}

bool FillParameter(api::AcadParameterFn* fn, const std::u16string& name, PathBuffer& buffer) {
    buffer.Clear();
    if (fn == nullptr)
        return false;
    fn(name.c_str(), buffer.Data());
    buffer.Terminate();
    return true;
}

// An empty name (no SetArxAppName) never names a host.
std::unique_ptr<Module> FindHost(const std::u16string& name) {
    return name.empty() ? nullptr : FindLoadedModule(name);
}

}  // namespace

// --- library build ---

DynamicHostBridge::DynamicHostBridge(std::u16string hostModuleName)
    : moduleName_(std::move(hostModuleName)) {}

bool DynamicHostBridge::Loaded() const {
    return FindHost(moduleName_) != nullptr;
}

bool DynamicHostBridge::Has(HostFunction function) const {
    auto module = FindHost(moduleName_);
    return module != nullptr && module->FindExport(HostFunctionName(function)) != nullptr;
}

// The module handle is held for the length of the call, so the host stays loaded while
// its function runs.
template <typename Fn, typename... Args>
auto DynamicHostBridge::Call(const char* name, Args... args) const {
    auto module = FindHost(moduleName_);
    Fn* fn = module != nullptr ? module->Find<Fn>(name) : nullptr;
    return Invoke(fn, args...);
}

std::optional<int> DynamicHostBridge::GetStartDir(PathBuffer& buffer) {
    auto module = FindHost(moduleName_);
    return FillBuffer(module ? module->Find<api::GetStartDirFn>(api::kGetStartDir) : nullptr,
                      buffer);
}

std::optional<int> DynamicHostBridge::GetStartExt(PathBuffer& buffer) {
    auto module = FindHost(moduleName_);
    return FillBuffer(module ? module->Find<api::GetStartExtFn>(api::kGetStartExt) : nullptr,
                      buffer);
}

std::optional<int> DynamicHostBridge::GetWhatToGrayOut() {
    return Call<api::GetWhatToGrayOutFn>(api::kGetWhatToGrayOut);
}

bool DynamicHostBridge::SetDefLayer(const std::u16string& layer) {
    return Call<api::SetDefLayerFn>(api::kSetDefLayer, layer.c_str());
}

bool DynamicHostBridge::SetDefColour(const std::u16string& colour) {
    return Call<api::SetDefColourFn>(api::kSetDefColour, colour.c_str());
}

bool DynamicHostBridge::SetSelectedFile(const std::u16string& nameWithExtension) {
    return Call<api::SetSelectedFileFn>(api::kSetSelectedFile, nameWithExtension.c_str());
}

bool DynamicHostBridge::SetWorkingDirPath(const std::u16string& folder) {
    return Call<api::SetWorkingDirPathFn>(api::kSetWorkingDirPath, folder.c_str());
}

bool DynamicHostBridge::SetAcadCommandToExec(const std::u16string& command) {
    return Call<api::SetAcadCommandToExecFn>(api::kSetAcadCommandToExec, command.c_str());
}

bool DynamicHostBridge::AcadParameter(const std::u16string& name, PathBuffer& buffer) {
    auto module = FindHost(moduleName_);
    return FillParameter(module ? module->Find<api::AcadParameterFn>(api::kAcadParameter) : nullptr,
                         name, buffer);
}

bool DynamicHostBridge::AcadOpen(const PathBuffer& path) {
    return Call<api::AcadOpenFn>(api::kAcadOpen, path.CStr());
}

bool DynamicHostBridge::AcadInsert(const char16_t* path) {
    return Call<api::AcadInsertFn>(api::kAcadInsert, path);
}

bool DynamicHostBridge::AcadXRef(const PathBuffer& path) {
    return Call<api::AcadXRefFn>(api::kAcadXRef, path.CStr());
}

bool DynamicHostBridge::AcadRecover(const PathBuffer& path) {
    return Call<api::AcadRecoverFn>(api::kAcadRecover, path.CStr());
}

// --- plug-in build ---

bool DirectHostBridge::Has(HostFunction function) const {
    switch (function) {
        case HostFunction::GetStartDir:
            return fn_.getStartDir != nullptr;
        case HostFunction::GetStartExt:
            return fn_.getStartExt != nullptr;
        case HostFunction::GetWhatToGrayOut:
            return fn_.getWhatToGrayOut != nullptr;
        case HostFunction::SetDefLayer:
            return fn_.setDefLayer != nullptr;
        case HostFunction::SetDefColour:
            return fn_.setDefColour != nullptr;
        case HostFunction::SetSelectedFile:
            return fn_.setSelectedFile != nullptr;
        case HostFunction::SetWorkingDirPath:
            return fn_.setWorkingDirPath != nullptr;
        case HostFunction::SetAcadCommandToExec:
            return fn_.setAcadCommandToExec != nullptr;
        case HostFunction::AcadParameter:
            return fn_.acadParameter != nullptr;
        case HostFunction::AcadOpen:
            return fn_.acadOpen != nullptr;
        case HostFunction::AcadInsert:
            return fn_.acadInsert != nullptr;
        case HostFunction::AcadXRef:
            return fn_.acadXRef != nullptr;
        case HostFunction::AcadRecover:
            return fn_.acadRecover != nullptr;
    }
    return false;
}

std::optional<int> DirectHostBridge::GetStartDir(PathBuffer& buffer) {
    return FillBuffer(fn_.getStartDir, buffer);
}

std::optional<int> DirectHostBridge::GetStartExt(PathBuffer& buffer) {
    return FillBuffer(fn_.getStartExt, buffer);
}

std::optional<int> DirectHostBridge::GetWhatToGrayOut() {
    return Invoke(fn_.getWhatToGrayOut);
}

bool DirectHostBridge::SetDefLayer(const std::u16string& layer) {
    return Invoke(fn_.setDefLayer, layer.c_str());
}

bool DirectHostBridge::SetDefColour(const std::u16string& colour) {
    return Invoke(fn_.setDefColour, colour.c_str());
}

bool DirectHostBridge::SetSelectedFile(const std::u16string& nameWithExtension) {
    return Invoke(fn_.setSelectedFile, nameWithExtension.c_str());
}

bool DirectHostBridge::SetWorkingDirPath(const std::u16string& folder) {
    return Invoke(fn_.setWorkingDirPath, folder.c_str());
}

bool DirectHostBridge::SetAcadCommandToExec(const std::u16string& command) {
    return Invoke(fn_.setAcadCommandToExec, command.c_str());
}

bool DirectHostBridge::AcadParameter(const std::u16string& name, PathBuffer& buffer) {
    return FillParameter(fn_.acadParameter, name, buffer);
}

bool DirectHostBridge::AcadOpen(const PathBuffer& path) {
    return Invoke(fn_.acadOpen, path.CStr());
}

bool DirectHostBridge::AcadInsert(const char16_t* path) {
    return Invoke(fn_.acadInsert, path);
}

bool DirectHostBridge::AcadXRef(const PathBuffer& path) {
    return Invoke(fn_.acadXRef, path.CStr());
}

bool DirectHostBridge::AcadRecover(const PathBuffer& path) {
    return Invoke(fn_.acadRecover, path.CStr());
}

}  // namespace folv
