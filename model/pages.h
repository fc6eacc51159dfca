#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace folv {

// One user page.
struct InIData {
    std::u16string Name;
    std::u16string Application;
    std::u16string WorkingDir;
    std::u16string Extension;
    std::u16string Status;
    std::u16string Layer;
    std::u16string Colour;
};

// The pages in file order, each record owned by the list.
using PageList = std::vector<std::unique_ptr<InIData>>;

inline constexpr std::u16string_view kSettingsFileName = u"FOLVANE.INI";
inline constexpr std::u16string_view kCurrentLayer = u"Current_layer";
inline constexpr int kNewFilePages = 20;
// Lines are taken in pieces of at most this many characters, each tested on its own.
inline constexpr std::size_t kSettingsPieceLength = 259;

// "Page %d".
std::u16string DefaultPageName(long long index);

// The value of a key line from `position` on: what follows the first '=' (or nothing at a
// line feed), up to a line feed or ']', without leading tabs, spaces and '=' and without
// any '=' inside.
void ParseValue(std::u16string_view text, std::size_t position, PathBuffer& value);

// Turns the bytes of a settings file into pages. Each byte is one character; CR LF is a
// line feed; lines are cut into pieces of kSettingsPieceLength characters. Fed in chunks
// of any size, it works in one pass and keeps no more than one piece, so a file of any
// size or content costs linear time.
class SettingsReader {
  public:
    void Feed(std::string_view bytes);
    // Ends the file: the last section is kept when it had a key line. Moves the pages
    // read into `pages` (appended).
    void Finish(PageList& pages);

  private:
    void Emit(char16_t c);
    void ProcessPiece(std::u16string_view piece);
    void CloseOpenPage();

    PageList pages_;
    std::unique_ptr<InIData> open_;
    long long sectionIndex_ = 0;
    bool headerSeen_ = false;
    bool keyLine_ = false;
    bool pendingCr_ = false;
    std::u16string piece_;
};

// The file as the writer lays it out: seven lines a page, CR LF line ends, one byte per
// character. "*." is written as "*.*"; only the first Status "1" stays "1". A value with a
// character above 255 or a line feed is cut before it, the rest of its line is kept.
std::string FormatSettings(const PageList& pages);

// A new file of twenty five-line sections; `pages` receives the matching records.
std::string FormatNewSettings(std::u16string_view startFolder, PageList& pages);

enum class SettingsFileState {
    Missing,     // no file at the path (or its folder does not exist)
    Unreadable,  // exists but cannot be opened for update
    Read,
};

// Reads the file at `path` (resolved without regard to A-Z case) into `pages`. A file
// without any write permission bit counts as one that cannot be opened for update, also
// for a user whom the modes do not bind.
SettingsFileState ReadSettingsFile(std::u16string_view path, PageList& pages);

// Replaces the file at `path` with `bytes` so that a crash or a full disk never leaves a
// cut file behind: written to a new file in the same folder, flushed to disk and renamed
// over the old one. False (and the old file untouched) when that cannot be done, also when
// the old file is read-only.
bool ReplaceSettingsFile(std::u16string_view path, std::string_view bytes);

}  // namespace folv
