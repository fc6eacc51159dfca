#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace folv {

// A shared object of this process. Holding one keeps the object loaded.
class Module {
  public:
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    // The address of an export with C linkage, or null.
    void* FindExport(const char* name) const;
    template <typename Fn>
    Fn* Find(const char* name) const {
        return reinterpret_cast<Fn*>(FindExport(name));
    }
    const std::u16string& Path() const { return path_; }

  private:
    friend std::unique_ptr<Module> FindLoadedModule(std::u16string_view);
    friend std::unique_ptr<Module> LoadModule(std::u16string_view, std::string*);
    Module(void* handle, std::u16string path) : handle_(handle), path_(std::move(path)) {}
    void* handle_;
    std::u16string path_;
};

// An object already loaded whose file name equals `fileName` without regard to A-Z case;
// the running program counts under its own file name. Never loads anything.
std::unique_ptr<Module> FindLoadedModule(std::u16string_view fileName);

// The full path of the loaded object named `fileName`, or of the running program when none is.
std::u16string ModuleFileName(std::u16string_view fileName);

// The full path of the running program.
std::u16string ProgramPath();

// Loads an object by path (RTLD_NOW); null on failure, with the loader's text in `error`.
std::unique_ptr<Module> LoadModule(std::u16string_view path, std::string* error = nullptr);

// The standard search path: the running program's folder, the current folder, then each
// folder of PATH; the file name matched without regard to A-Z case.
std::optional<std::u16string> SearchStandardPath(std::u16string_view fileName);

}  // namespace folv
