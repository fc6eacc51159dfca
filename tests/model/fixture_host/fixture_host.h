#pragma once

// Test-side handle on the fixture hosts (see fixture_host.cpp). Link the target
// folv_fixture_host_client to get the path of the built objects and this header.
//
//   auto& host = folv::testing::FixtureHost::Get(folv::testing::kFullHost);
//   host.Reset();
//   host.SetMask(0x108);
//   ... run with hostModuleName u"FOLVANE.ARX" ...
//   EXPECT_EQ(host.CallNames(), ...);
//
// A fixture, once loaded, stays loaded for the rest of the process, so that
// FindLoadedModule finds it by its file name.

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/modules.h"
#include "platform/text.h"

#ifndef FOLV_FIXTURE_HOST_DIR
#error "link folv_fixture_host_client"
#endif

namespace folv::testing {

// Every bridge function.
inline constexpr std::u16string_view kFullHost = u"FOLVANE.ARX";
// Only GetStartDir, GetStartExt and GetWhatToGrayOut.
inline constexpr std::u16string_view kStartOnlyHost = u"FOLVSTART.ARX";
// Every bridge function but those three.
inline constexpr std::u16string_view kNoStartHost = u"FOLVNOSTART.ARX";

class FixtureHost {
  public:
    struct Call {
        std::string name;
        std::u16string arg;
        bool operator==(const Call&) const = default;
    };

    static FixtureHost& Get(std::u16string_view fileName) {
        static std::vector<std::unique_ptr<FixtureHost>> loaded;
        for (auto& host : loaded) {
            if (host->name_ == fileName)
                return *host;
        }
        loaded.push_back(std::unique_ptr<FixtureHost>(new FixtureHost(fileName)));
        return *loaded.back();
    }

    void Reset() { reset_(); }
    void SetStartDir(std::u16string_view text, int result) {
        setStartDir_(std::u16string(text).c_str(), result);
    }
    void SetStartExt(std::u16string_view text, int result) {
        setStartExt_(std::u16string(text).c_str(), result);
    }
    void SetMask(int mask) { setMask_(mask); }
    // The answer of AcadParameter("GETPATH").
    void SetParameter(std::u16string_view answer) { setParameter_(std::u16string(answer).c_str()); }
    // Getters fill all 260 characters and leave no terminator.
    void SetOverfill(bool on) { setOverfill_(on ? 1 : 0); }

    std::vector<Call> Calls() const {
        std::vector<Call> calls;
        for (int i = 0; i < count_(); ++i)
            calls.push_back({nameAt_(i), argAt_(i)});
        return calls;
    }
    std::vector<std::string> CallNames() const {
        std::vector<std::string> names;
        for (int i = 0; i < count_(); ++i)
            names.emplace_back(nameAt_(i));
        return names;
    }
    const std::u16string& Path() const { return module_->Path(); }

  private:
    explicit FixtureHost(std::u16string_view fileName) : name_(fileName) {
        std::u16string path = FromUtf8(FOLV_FIXTURE_HOST_DIR "/") + name_;
        std::string error;
        module_ = LoadModule(path, &error);
        if (!module_)
            throw std::runtime_error("cannot load the fixture host: " + error);
        reset_ = Need<void()>("FolvFixtureReset");
        setStartDir_ = Need<void(const char16_t*, int)>("FolvFixtureSetStartDir");
        setStartExt_ = Need<void(const char16_t*, int)>("FolvFixtureSetStartExt");
        setMask_ = Need<void(int)>("FolvFixtureSetMask");
        setParameter_ = Need<void(const char16_t*)>("FolvFixtureSetParameter");
        setOverfill_ = Need<void(int)>("FolvFixtureSetOverfill");
        count_ = Need<int()>("FolvFixtureCallCount");
        nameAt_ = Need<const char*(int)>("FolvFixtureCallName");
        argAt_ = Need<const char16_t*(int)>("FolvFixtureCallArg");
    }
    template <typename Fn>
    Fn* Need(const char* name) {
        Fn* fn = module_->Find<Fn>(name);
        if (fn == nullptr)
            throw std::runtime_error(std::string("fixture host lacks ") + name);
        return fn;
    }

    std::u16string name_;
    std::unique_ptr<Module> module_;
    void (*reset_)() = nullptr;
    void (*setStartDir_)(const char16_t*, int) = nullptr;
    void (*setStartExt_)(const char16_t*, int) = nullptr;
    void (*setMask_)(int) = nullptr;
    void (*setParameter_)(const char16_t*) = nullptr;
    void (*setOverfill_)(int) = nullptr;
    int (*count_)() = nullptr;
    const char* (*nameAt_)(int) = nullptr;
    const char16_t* (*argAt_)(int) = nullptr;
};

}  // namespace folv::testing
