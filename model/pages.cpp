#include "model/pages.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/paths.h"
#include "platform/resolve.h"

namespace folv {

std::u16string DefaultPageName(long long index) {
    std::u16string name = u"Page ";
    for (char c : std::to_string(index))
        name.push_back(static_cast<char16_t>(c));
    return name;
}

void ParseValue(std::u16string_view text, std::size_t position, PathBuffer& value) {
    value.Clear();
    std::size_t i = position < text.size() ? position : text.size();
    while (i < text.size() && text[i] != u'=' && text[i] != u'\n' && text[i] != 0)
        ++i;
    std::u16string copied;
    bool started = false;
    for (; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c == u'\n' || c == u']' || c == 0)
            break;
        if (!started) {
            if (c == u'\t' || c == u' ' || c == u'=')
                continue;
            started = true;
        }
        if (c != u'=')
            copied.push_back(c);
    }
    // A value longer than the buffer is refused rather than cut.
    value.Assign(copied);
}

// --- reading ---

void SettingsReader::Feed(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        auto c = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
        if (pendingCr_) {
            pendingCr_ = false;
            if (c == u'\n') {
                Emit(u'\n');
                ++i;
                continue;
            }
            Emit(u'\r');
        }
        if (c == u'\r') {
            pendingCr_ = true;
            ++i;
            continue;
        }
        if (c == u'\n') {
            Emit(u'\n');
            ++i;
            continue;
        }
        // A run of plain characters, at most up to the end of the piece.
        const std::size_t room = kSettingsPieceLength - piece_.size();
        const char* from = bytes.data() + i;
        const char* stop = from + std::min(room, bytes.size() - i);
        const char* to = from;
        while (to != stop && *to != '\r' && *to != '\n')
            ++to;
        const std::size_t old = piece_.size();
        piece_.resize(old + static_cast<std::size_t>(to - from));
        char16_t* out = piece_.data() + old;
        for (const char* p = from; p != to; ++p) {
            *out++ = static_cast<char16_t>(static_cast<unsigned char>(*p));
        }
        const std::size_t end = i + static_cast<std::size_t>(to - from);
        i = end;
        if (piece_.size() == kSettingsPieceLength) {
            ProcessPiece(piece_);
            piece_.clear();
        }
    }
}

void SettingsReader::Emit(char16_t c) {
    piece_.push_back(c);
    if (c == u'\n' || piece_.size() == kSettingsPieceLength) {
        ProcessPiece(piece_);
        piece_.clear();
    }
}

void SettingsReader::CloseOpenPage() {
    if (!open_)
        return;
    if (open_->Status.empty())
        open_->Status = u"0";
    pages_.push_back(std::move(open_));
}

namespace {

constexpr auto npos = std::u16string_view::npos;

// Where each key text first occurs in a piece, found in one pass over it.
struct KeyPositions {
    std::size_t status = npos;
    std::size_t workingDir = npos;
    std::size_t extension = npos;
    std::size_t layer = npos;
    std::size_t colour = npos;
    std::size_t application = npos;
    std::size_t header = npos;
};

void Mark(std::u16string_view piece, std::size_t i, std::u16string_view key, std::size_t& at) {
    if (at == npos && piece.substr(i, key.size()) == key)
        at = i;
}

KeyPositions FindKeys(std::u16string_view piece) {
    KeyPositions k;
    const char16_t* text = piece.data();
    for (std::size_t i = 0; i < piece.size(); ++i) {
        switch (text[i]) {
            case u'S':
                Mark(piece, i, u"Status", k.status);
                break;
            case u'W':
                Mark(piece, i, u"WorkingDir", k.workingDir);
                break;
            case u'E':
                Mark(piece, i, u"Extension", k.extension);
                break;
            case u'L':
                Mark(piece, i, u"Layer", k.layer);
                break;
            case u'C':
                Mark(piece, i, u"Colour", k.colour);
                break;
            case u'A':
                Mark(piece, i, u"Application", k.application);
                break;
            case u'[':
                Mark(piece, i, u"[Folvane", k.header);
                break;
            default:
                break;
        }
    }
    return k;
}

}  // namespace

void SettingsReader::ProcessPiece(std::u16string_view piece) {
    // A NUL ends the text of a line, as it did for the C strings the file was made for.
    piece = piece.substr(0, piece.find(u'\0'));
    PathBuffer value;
    const KeyPositions keys = FindKeys(piece);

    std::size_t at = keys.status;
    if (at != npos) {
        ParseValue(piece, at, value);
        if (open_ && !value.empty())
            open_->Status = value.Str();
        keyLine_ = true;
    }

    if ((at = keys.workingDir) != npos) {
        ParseValue(piece, at, value);
        if (open_ && !value.empty())
            open_->WorkingDir = value.Str();
        keyLine_ = true;
    } else if ((at = keys.extension) != npos) {
        ParseValue(piece, at, value);
        if (open_ && !value.empty())
            open_->Extension = value.Str();
        keyLine_ = true;
    } else if ((at = keys.layer) != npos) {
        ParseValue(piece, at, value);
        if (open_)
            open_->Layer = value.empty() ? std::u16string(kCurrentLayer) : value.Str();
        keyLine_ = true;
    } else if ((at = keys.colour) != npos) {
        ParseValue(piece, at, value);
        if (open_ && !value.empty())
            open_->Colour = value.Str();
        keyLine_ = true;
    } else if ((at = keys.application) != npos) {
        ParseValue(piece, at, value);
        // A folder or a drive is no program.
        std::u16string_view v = value.View();
        if (open_ && !v.empty() && v.back() != u'\\' && v.back() != u'/' && v.back() != u':') {
            open_->Application = value.Str();
        }
        keyLine_ = true;
    } else if ((at = keys.header) != npos) {
        CloseOpenPage();
        open_ = std::make_unique<InIData>();
        if (headerSeen_)
            ++sectionIndex_;
        ParseValue(piece, at, value);
        if (!value.empty())
            open_->Name = value.Str();
        headerSeen_ = true;
        keyLine_ = false;
    }
}

void SettingsReader::Finish(PageList& pages) {
    if (pendingCr_) {
        pendingCr_ = false;
        Emit(u'\r');
    }
    if (!piece_.empty()) {
        ProcessPiece(piece_);
        piece_.clear();
    }
    if (open_ && keyLine_) {
        if (open_->Status.empty())
            open_->Status = sectionIndex_ > 0 ? u"1" : u"0";
        pages_.push_back(std::move(open_));
    }
    open_.reset();
    for (auto& page : pages_)
        pages.push_back(std::move(page));
    pages_.clear();
    sectionIndex_ = 0;
    headerSeen_ = false;
    keyLine_ = false;
}

// --- writing ---

namespace {

void AppendAscii(std::string& out, std::string_view text) {
    out.append(text);
}

// One byte per character, the line ended by CR LF. A character that one byte cannot hold
// ends the value, and so does a line feed (a folder name may hold one), which would start
// a line of its own, read back as a key line or a header. The line is still finished so
// that the next one keeps its own line.
void AppendLine(std::string& out, std::string_view head, std::u16string_view value,
                std::string_view tail = {}) {
    AppendAscii(out, head);
    for (char16_t c : value) {
        if (c > 0xFF || c == u'\n')
            break;
        out.push_back(static_cast<char>(static_cast<unsigned char>(c)));
    }
    AppendAscii(out, tail);
    out += "\r\n";
}

}  // namespace

std::string FormatSettings(const PageList& pages) {
    std::string out;
    bool currentWritten = false;
    for (const auto& page : pages) {
        if (!page)
            continue;
        AppendLine(out, "[Folvane=", page->Name, "]");
        AppendLine(out, "Application=", page->Application);
        AppendLine(out, "WorkingDir=", page->WorkingDir);
        AppendLine(out, "Extension=", page->Extension == u"*." ? u"*.*" : page->Extension);
        std::u16string_view status = page->Status;
        if (status == u"1") {
            if (currentWritten)
                status = u"0";
            currentWritten = true;
        }
        AppendLine(out, "Status=", status);
        AppendLine(out, "Layer=", page->Layer);
        AppendLine(out, "Colour=", page->Colour);
    }
    return out;
}

std::string FormatNewSettings(std::u16string_view startFolder, PageList& pages) {
    std::string out;
    for (int n = 0; n < kNewFilePages; ++n) {
        auto page = std::make_unique<InIData>();
        page->Name = DefaultPageName(n);
        page->Status = u"0";
        page->Layer = std::u16string(kCurrentLayer);
        AppendLine(out, "[Folvane = ", page->Name, "]");
        AppendLine(out, "Application=", {});
        AppendLine(out, "WorkingDir=", startFolder);
        AppendLine(out, "Extension=", {});
        AppendLine(out, "Status=0", {});
        pages.push_back(std::move(page));
    }
    return out;
}

// --- the file ---

namespace {

bool HasWriteBit(const struct stat& st) {
    return (st.st_mode & 0222) != 0;
}

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now and reports the error a delayed write may only show here.
    bool Close() {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

}  // namespace

SettingsFileState ReadSettingsFile(std::u16string_view path, PageList& pages) {
    std::string file = ToFsPath(ResolveExistingPath(path)).string();
    struct stat st {};
    if (file.empty() || ::stat(file.c_str(), &st) != 0)
        return SettingsFileState::Missing;
    if (!S_ISREG(st.st_mode) || !HasWriteBit(st))
        return SettingsFileState::Unreadable;
    Fd fd(::open(file.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0)
        return SettingsFileState::Unreadable;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return SettingsFileState::Unreadable;

    SettingsReader reader;
    std::string chunk(1 << 16, '\0');
    for (;;) {
        ssize_t n = ::read(fd.get(), chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;  // a read error keeps what was read before it
        reader.Feed(std::string_view(chunk.data(), static_cast<std::size_t>(n)));
    }
    reader.Finish(pages);
    return SettingsFileState::Read;
}

// Writes over the old content; when that fails part way (a full disk), the old content is
// put back, so the file is never left cut short.
bool RewriteInPlace(const std::string& target, std::string_view bytes) {
    Fd fd(::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0)
        return false;
    std::string old;
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        old.append(chunk, static_cast<std::size_t>(n));
    }
    auto writeWhole = [&](std::string_view content) {
        return ::lseek(fd.get(), 0, SEEK_SET) == 0 && WriteAll(fd.get(), content) &&
               ::ftruncate(fd.get(), static_cast<off_t>(content.size())) == 0 &&
               ::fsync(fd.get()) == 0;
    };
    if (writeWhole(bytes))
        return fd.Close();
    (void)writeWhole(old);
    return false;
}

bool ReplaceSettingsFile(std::u16string_view path, std::string_view bytes) {
    std::string target = ToFsPath(ResolveExistingPath(path)).string();
    if (target.empty())
        return false;

    // Replace what a link points to, not the link.
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(target.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    bool exists = ::stat(target.c_str(), &st) == 0;
    mode_t mode = 0666;
    if (exists) {
        // The old file must be one we may write, as opening it for writing would demand.
        if (!S_ISREG(st.st_mode) || !HasWriteBit(st) || ::access(target.c_str(), W_OK) != 0) {
            return false;
        }
        mode = st.st_mode & 07777;
    }

    static std::atomic<unsigned> counter{0};
    std::string folder = FolderOf(target);
    std::string name =
        target.substr(target.rfind('/') == std::string::npos ? 0 : target.rfind('/') + 1);
    std::string temp = (folder == "." ? std::string() : folder) + "." + name + ".new-" +
                       std::to_string(::getpid()) + "-" + std::to_string(counter++);

    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode));
    if (fd.get() < 0) {
        // A writable file in a folder we may not add to (beside a library installed for all
        // users) is still written, in place.
        if (exists && (errno == EACCES || errno == EPERM))
            return RewriteInPlace(target, bytes);
        return false;
    }
    bool ok = true;
    if (exists) {
        // Keep the old file's owner and modes; either may fail for a plain user.
        (void)!::fchown(fd.get(), st.st_uid, st.st_gid);
        (void)!::fchmod(fd.get(), mode);
    }
    ok = WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    ok = fd.Close() && ok;
    if (ok)
        ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        (void)::fsync(dir.get());
    return true;
}

}  // namespace folv
