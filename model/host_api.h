#pragma once

// The functions a host plug-in exports for the explorer, with C linkage and these exact
// names. Strings are NUL-terminated UTF-16; a buffer argument is an output buffer of
// kHostBufferLength characters that the host fills. Shared by the explorer, the plug-in's
// own bridge and the test host, so that every side agrees on the types.

#include <cstddef>

namespace folv::host_api {

inline constexpr std::size_t kHostBufferLength = 260;

extern "C" {
// Non-zero when the buffer was filled.
typedef int GetStartDirFn(char16_t* buffer);
typedef int GetStartExtFn(char16_t* buffer);
typedef int GetWhatToGrayOutFn(void);
typedef void SetDefLayerFn(const char16_t* layer);
typedef void SetDefColourFn(const char16_t* colour);
typedef void SetSelectedFileFn(const char16_t* nameWithExtension);
typedef void SetWorkingDirPathFn(const char16_t* folder);
typedef void SetAcadCommandToExecFn(const char16_t* command);
typedef void AcadParameterFn(const char16_t* name, char16_t* buffer);
typedef void AcadOpenFn(const char16_t* path);
typedef void AcadInsertFn(const char16_t* path);
typedef void AcadXRefFn(const char16_t* path);
typedef void AcadRecoverFn(const char16_t* path);
}

inline constexpr char kGetStartDir[] = "GetStartDir";
inline constexpr char kGetStartExt[] = "GetStartExt";
inline constexpr char kGetWhatToGrayOut[] = "GetWhatToGrayOut";
inline constexpr char kSetDefLayer[] = "SetDefLayer";
inline constexpr char kSetDefColour[] = "SetDefColour";
inline constexpr char kSetSelectedFile[] = "SetSelectedFile";
inline constexpr char kSetWorkingDirPath[] = "SetWorkingDirPath";
inline constexpr char kSetAcadCommandToExec[] = "SetAcadCommandToExec";
inline constexpr char kAcadParameter[] = "AcadParameter";
inline constexpr char kAcadOpen[] = "AcadOpen";
inline constexpr char kAcadInsert[] = "AcadInsert";
inline constexpr char kAcadXRef[] = "AcadXRef";
inline constexpr char kAcadRecover[] = "AcadRecover";

}  // namespace folv::host_api
