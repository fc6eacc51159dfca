#pragma once

#include <memory>
#include <optional>
#include <string>

#include "model/host_api.h"
#include "platform/text.h"

namespace folv {

enum class HostFunction {
    GetStartDir,
    GetStartExt,
    GetWhatToGrayOut,
    SetDefLayer,
    SetDefColour,
    SetSelectedFile,
    SetWorkingDirPath,
    SetAcadCommandToExec,
    AcadParameter,
    AcadOpen,
    AcadInsert,
    AcadXRef,
    AcadRecover,
};

const char* HostFunctionName(HostFunction function);

// The functions of the explorer's host. Each call reports whether the function exists
// (an empty result or false when it does not, or when the host is not loaded); a missing
// function never ends the run. Output buffers are emptied before the host sees them and
// terminated at their last character afterwards, whatever the host wrote.
class HostBridge {
  public:
    virtual ~HostBridge() = default;

    // The host module is loaded in the process.
    virtual bool Loaded() const = 0;
    virtual bool Has(HostFunction function) const = 0;

    virtual std::optional<int> GetStartDir(PathBuffer& buffer) = 0;
    virtual std::optional<int> GetStartExt(PathBuffer& buffer) = 0;
    virtual std::optional<int> GetWhatToGrayOut() = 0;
    virtual bool SetDefLayer(const std::u16string& layer) = 0;
    virtual bool SetDefColour(const std::u16string& colour) = 0;
    virtual bool SetSelectedFile(const std::u16string& nameWithExtension) = 0;
    virtual bool SetWorkingDirPath(const std::u16string& folder) = 0;
    virtual bool SetAcadCommandToExec(const std::u16string& command) = 0;
    virtual bool AcadParameter(const std::u16string& name, PathBuffer& buffer) = 0;
    virtual bool AcadOpen(const PathBuffer& path) = 0;
    // `path` must stay valid after the call: the host may use it once the dialog is gone.
    virtual bool AcadInsert(const char16_t* path) = 0;
    virtual bool AcadXRef(const PathBuffer& path) = 0;
    virtual bool AcadRecover(const PathBuffer& path) = 0;
};

// The library build: the host is a module named by SetArxAppName. Every call finds the
// module again by name and the function by its export name, so a host that is unloaded or
// lacks a function degrades instead of leaving a dangling pointer behind.
class DynamicHostBridge final : public HostBridge {
  public:
    explicit DynamicHostBridge(std::u16string hostModuleName);

    bool Loaded() const override;
    bool Has(HostFunction function) const override;
    std::optional<int> GetStartDir(PathBuffer& buffer) override;
    std::optional<int> GetStartExt(PathBuffer& buffer) override;
    std::optional<int> GetWhatToGrayOut() override;
    bool SetDefLayer(const std::u16string& layer) override;
    bool SetDefColour(const std::u16string& colour) override;
    bool SetSelectedFile(const std::u16string& nameWithExtension) override;
    bool SetWorkingDirPath(const std::u16string& folder) override;
    bool SetAcadCommandToExec(const std::u16string& command) override;
    bool AcadParameter(const std::u16string& name, PathBuffer& buffer) override;
    bool AcadOpen(const PathBuffer& path) override;
    bool AcadInsert(const char16_t* path) override;
    bool AcadXRef(const PathBuffer& path) override;
    bool AcadRecover(const PathBuffer& path) override;

    const std::u16string& ModuleName() const { return moduleName_; }

  private:
    template <typename Fn, typename... Args>
    auto Call(const char* name, Args... args) const;

    std::u16string moduleName_;
};

// The plug-in build: the host is the plug-in itself, its functions are plain pointers.
// A null pointer is a function that build does not have (AcadParameter, AcadOpen,
// AcadRecover in the plug-in).
struct HostFunctionTable {
    host_api::GetStartDirFn* getStartDir = nullptr;
    host_api::GetStartExtFn* getStartExt = nullptr;
    host_api::GetWhatToGrayOutFn* getWhatToGrayOut = nullptr;
    host_api::SetDefLayerFn* setDefLayer = nullptr;
    host_api::SetDefColourFn* setDefColour = nullptr;
    host_api::SetSelectedFileFn* setSelectedFile = nullptr;
    host_api::SetWorkingDirPathFn* setWorkingDirPath = nullptr;
    host_api::SetAcadCommandToExecFn* setAcadCommandToExec = nullptr;
    host_api::AcadParameterFn* acadParameter = nullptr;
    host_api::AcadOpenFn* acadOpen = nullptr;
    host_api::AcadInsertFn* acadInsert = nullptr;
    host_api::AcadXRefFn* acadXRef = nullptr;
    host_api::AcadRecoverFn* acadRecover = nullptr;
};

class DirectHostBridge final : public HostBridge {
  public:
    explicit DirectHostBridge(const HostFunctionTable& functions) : fn_(functions) {}

    bool Loaded() const override { return true; }
    bool Has(HostFunction function) const override;
    std::optional<int> GetStartDir(PathBuffer& buffer) override;
    std::optional<int> GetStartExt(PathBuffer& buffer) override;
    std::optional<int> GetWhatToGrayOut() override;
    bool SetDefLayer(const std::u16string& layer) override;
    bool SetDefColour(const std::u16string& colour) override;
    bool SetSelectedFile(const std::u16string& nameWithExtension) override;
    bool SetWorkingDirPath(const std::u16string& folder) override;
    bool SetAcadCommandToExec(const std::u16string& command) override;
    bool AcadParameter(const std::u16string& name, PathBuffer& buffer) override;
    bool AcadOpen(const PathBuffer& path) override;
    bool AcadInsert(const char16_t* path) override;
    bool AcadXRef(const PathBuffer& path) override;
    bool AcadRecover(const PathBuffer& path) override;

  private:
    HostFunctionTable fn_;
};

}  // namespace folv
