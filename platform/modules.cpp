#include "platform/modules.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/resolve.h"
#include "platform/text.h"

namespace folv {
namespace {

std::vector<std::string> LoadedObjectPaths() {
    std::vector<std::string> paths;
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            auto* out = static_cast<std::vector<std::string>*>(data);
            if (info->dlpi_name && info->dlpi_name[0])
                out->emplace_back(info->dlpi_name);
            return 0;
        },
        &paths);
    return paths;
}

bool IsRegularFile(const std::u16string& path) {
    struct stat st {};
    return ::stat(ToUtf8(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

Module::~Module() {
    if (handle_)
        ::dlclose(handle_);
}

void* Module::FindExport(const char* name) const {
    return handle_ ? ::dlsym(handle_, name) : nullptr;
}

std::u16string ProgramPath() {
    std::string buf(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0)
        return {};
    buf.resize(static_cast<std::size_t>(n));
    return FromUtf8(buf);
}

std::unique_ptr<Module> FindLoadedModule(std::u16string_view fileName) {
    if (fileName.empty())
        return nullptr;
    std::u16string program = ProgramPath();
    if (EqualsNoCaseAZ(FileNamePart(program), fileName)) {
        void* handle = ::dlopen(nullptr, RTLD_NOW);
        return handle ? std::unique_ptr<Module>(new Module(handle, program)) : nullptr;
    }
    for (const std::string& path : LoadedObjectPaths()) {
        std::u16string wide = FromUtf8(path);
        if (!EqualsNoCaseAZ(FileNamePart(wide), fileName))
            continue;
        // RTLD_NOLOAD only takes a reference on what is already there.
        if (void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
            return std::unique_ptr<Module>(new Module(handle, std::move(wide)));
        }
    }
    return nullptr;
}

std::u16string ModuleFileName(std::u16string_view fileName) {
    if (auto module = FindLoadedModule(fileName))
        return module->Path();
    return ProgramPath();
}

std::unique_ptr<Module> LoadModule(std::u16string_view path, std::string* error) {
    std::u16string resolved = ResolveExistingPath(path);
    std::string utf8 = ToUtf8(resolved);
    // A bare name would make the loader search its own path instead of the given file.
    if (utf8.find('/') == std::string::npos)
        utf8 = "./" + utf8;
    void* handle = ::dlopen(utf8.c_str(), RTLD_NOW);
    if (!handle) {
        if (error) {
            const char* text = ::dlerror();
            *error = text ? text : "cannot load";
        }
        return nullptr;
    }
    return std::unique_ptr<Module>(new Module(handle, resolved));
}

std::optional<std::u16string> SearchStandardPath(std::u16string_view fileName) {
    if (fileName.empty())
        return std::nullopt;
    std::vector<std::u16string> folders;
    folders.push_back(FolderPart(ProgramPath()));
    std::string cwd(4096, '\0');
    if (::getcwd(cwd.data(), cwd.size()))
        folders.push_back(FromUtf8(cwd.c_str()));
    if (const char* path = std::getenv("PATH")) {
        std::string_view rest(path);
        while (!rest.empty()) {
            std::size_t colon = rest.find(':');
            std::string_view part = rest.substr(0, colon);
            // An empty entry means the current folder, already searched.
            if (!part.empty())
                folders.push_back(FromUtf8(part));
            if (colon == std::string_view::npos)
                break;
            rest.remove_prefix(colon + 1);
        }
    }
    for (const std::u16string& folder : folders) {
        if (folder.empty())
            continue;
        std::u16string candidate = ResolveInFolder(folder, fileName);
        if (IsRegularFile(candidate))
            return candidate;
    }
    return std::nullopt;
}

}  // namespace folv
