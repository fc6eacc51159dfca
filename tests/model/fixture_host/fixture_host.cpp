// A stand-in for the host plug-in: exports the bridge functions by name, answers with
// what the test configured and records every call. Built several times with different
// sets of bridge functions (FOLV_FIXTURE_START, FOLV_FIXTURE_REST).

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "model/host_api.h"

#define FOLV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

namespace api = folv::host_api;

struct Answer {
    std::u16string text;
    int result = 0;
};

struct State {
    Answer startDir;
    Answer startExt;
    int mask = 0;
    std::u16string parameter;
    bool overfill = false;
    std::vector<std::pair<std::string, std::u16string>> calls;
};

State& S() {
    static State state;
    return state;
}

std::u16string Text(const char16_t* text) {
    return text ? std::u16string(text) : u"(null)";
}

void Record(const char* name, std::u16string arg = {}) {
    S().calls.emplace_back(name, arg);
}

// Writes the answer into a host buffer; in overfill mode all of it, with no terminator.
void Fill(char16_t* buffer, const std::u16string& text) {
    if (S().overfill) {
        for (std::size_t i = 0; i < api::kHostBufferLength; ++i)
            buffer[i] = u'X';
        return;
    }
    std::size_t n = text.size() < api::kHostBufferLength ? text.size() : api::kHostBufferLength - 1;
    text.copy(buffer, n);
    buffer[n] = 0;
}

}  // namespace

// --- control, for the tests ---

FOLV_EXPORT void FolvFixtureReset(void) {
    S() = State();
}
FOLV_EXPORT void FolvFixtureSetStartDir(const char16_t* text, int result) {
    S().startDir = {Text(text), result};
}
FOLV_EXPORT void FolvFixtureSetStartExt(const char16_t* text, int result) {
    S().startExt = {Text(text), result};
}
FOLV_EXPORT void FolvFixtureSetMask(int mask) {
    S().mask = mask;
}
FOLV_EXPORT void FolvFixtureSetParameter(const char16_t* answer) {
    S().parameter = Text(answer);
}
FOLV_EXPORT void FolvFixtureSetOverfill(int on) {
    S().overfill = on != 0;
}
FOLV_EXPORT int FolvFixtureCallCount(void) {
    return static_cast<int>(S().calls.size());
}
FOLV_EXPORT const char* FolvFixtureCallName(int index) {
    if (index < 0 || index >= FolvFixtureCallCount())
        return "";
    return S().calls[static_cast<std::size_t>(index)].first.c_str();
}
FOLV_EXPORT const char16_t* FolvFixtureCallArg(int index) {
    if (index < 0 || index >= FolvFixtureCallCount())
        return u"";
    return S().calls[static_cast<std::size_t>(index)].second.c_str();
}

// --- the bridge ---

#ifdef FOLV_FIXTURE_START
FOLV_EXPORT int GetStartDir(char16_t* buffer) {
    Record(api::kGetStartDir);
    Fill(buffer, S().startDir.text);
    return S().startDir.result;
}
FOLV_EXPORT int GetStartExt(char16_t* buffer) {
    Record(api::kGetStartExt);
    Fill(buffer, S().startExt.text);
    return S().startExt.result;
}
FOLV_EXPORT int GetWhatToGrayOut(void) {
    Record(api::kGetWhatToGrayOut);
    return S().mask;
}
static_assert(std::is_same_v<decltype(&GetStartDir), api::GetStartDirFn*>);
static_assert(std::is_same_v<decltype(&GetStartExt), api::GetStartExtFn*>);
static_assert(std::is_same_v<decltype(&GetWhatToGrayOut), api::GetWhatToGrayOutFn*>);
#endif

#ifdef FOLV_FIXTURE_REST
FOLV_EXPORT void SetDefLayer(const char16_t* text) {
    Record(api::kSetDefLayer, Text(text));
}
FOLV_EXPORT void SetDefColour(const char16_t* text) {
    Record(api::kSetDefColour, Text(text));
}
FOLV_EXPORT void SetSelectedFile(const char16_t* text) {
    Record(api::kSetSelectedFile, Text(text));
}
FOLV_EXPORT void SetWorkingDirPath(const char16_t* text) {
    Record(api::kSetWorkingDirPath, Text(text));
}
FOLV_EXPORT void SetAcadCommandToExec(const char16_t* text) {
    Record(api::kSetAcadCommandToExec, Text(text));
}
FOLV_EXPORT void AcadParameter(const char16_t* name, char16_t* buffer) {
    Record(api::kAcadParameter, Text(name));
    Fill(buffer, std::u16string(name ? name : u"") == u"GETPATH" ? S().parameter : u"");
}
FOLV_EXPORT void AcadOpen(const char16_t* path) {
    Record(api::kAcadOpen, Text(path));
}
FOLV_EXPORT void AcadInsert(const char16_t* path) {
    Record(api::kAcadInsert, Text(path));
}
FOLV_EXPORT void AcadXRef(const char16_t* path) {
    Record(api::kAcadXRef, Text(path));
}
FOLV_EXPORT void AcadRecover(const char16_t* path) {
    Record(api::kAcadRecover, Text(path));
}
static_assert(std::is_same_v<decltype(&SetDefLayer), api::SetDefLayerFn*>);
static_assert(std::is_same_v<decltype(&AcadParameter), api::AcadParameterFn*>);
static_assert(std::is_same_v<decltype(&AcadInsert), api::AcadInsertFn*>);
#endif
