// The tool's outputs: animated GIF, animated WebP and video through the encoders of
// Encoders.h, PNG pictures (the reference surface) and numbered PNG frames in a
// directory. Every file is written under a temporary name next to its target
// and renamed into place only when complete, so a failed run leaves nothing behind;
// an output to stdout, a device or a FIFO is made whole in $TMPDIR first, then
// copied into it. A symbolic link is kept and the file it points to written.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/Encoders.h"

namespace wqtrans::tool {

namespace {

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    const size_t slash = trimmed.find_last_of('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

std::string Trimmed(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    return trimmed;
}

// Where an error message says the output goes.
std::string Target(const std::string& path) { return path == "-" ? "to stdout" : "\"" + path + "\""; }

// Writes all of `size` bytes to `fd`; false with errno set on failure, or when one of
// our signals came while it waited. Never throws: giflib calls it.
bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR && !Interrupted()) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Where writing to `path` lands: the file a symbolic link points to (through any
// chain of links, dangling or not), so that the link is kept and its target written.
std::string FollowLinks(const std::string& path) {
    std::string at = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (lstat(at.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return at;
        }
        std::string link(static_cast<size_t>(info.st_size > 0 ? info.st_size : 4096) + 1, '\0');
        const ssize_t length = readlink(at.c_str(), link.data(), link.size());
        if (length <= 0 || static_cast<size_t>(length) >= link.size()) {
            return at;
        }
        link.resize(static_cast<size_t>(length));
        at = link[0] == '/' ? link : DirectoryOf(at) + "/" + link;
    }
    IoError("cannot write \"" + path + "\": " + std::strerror(ELOOP));
}

// The file a path names once its links are followed: as the kernel resolves it when
// it exists (/dev/stdout, /proc/self/fd/N included), else through the links' text.
std::string WhereToWrite(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return path;
    }
    if (char* real = realpath(path.c_str(), nullptr)) {
        std::string resolved = real;
        std::free(real);
        return resolved;
    }
    return FollowLinks(path);
}

// Gives the finished temporary file `fd` (or the file `name` when fd is -1) the
// permissions it takes at `destination`: those of the regular file it replaces there,
// as an editor keeps them (without set-user-ID and set-group-ID, which the kernel
// drops on any write too), and its owner and group where this process may give them;
// where the group cannot be kept, the group gets no more than others had. A new file's
// otherwise: 0666 less the umask.
void TakeModeOf(const std::string& destination, int fd, const std::string& name) {
    const mode_t mask = umask(0);
    umask(mask);
    mode_t mode = 0666 & ~mask;
    struct stat replaced {};
    if (stat(destination.c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode)) {
        mode = replaced.st_mode & 01777;
        auto own = [&](uid_t uid, gid_t gid) { return fd >= 0 ? fchown(fd, uid, gid) : chown(name.c_str(), uid, gid); };
        if (own(replaced.st_uid, replaced.st_gid) != 0) {
            own(static_cast<uid_t>(-1), replaced.st_gid);
        }
        struct stat made {};
        if ((fd >= 0 ? fstat(fd, &made) : stat(name.c_str(), &made)) == 0 && made.st_gid != replaced.st_gid) {
            mode = (mode & ~mode_t{070}) | (mode & (mode & 07) << 3);
        }
    }
    if (fd >= 0) {
        fchmod(fd, mode);
    } else {
        chmod(name.c_str(), mode);
    }
}

// A temporary file next to `path`, removed again unless committed: renamed into
// place. For stdout ("-") and for what is not a regular file (a device, a FIFO) the
// temporary file is in $TMPDIR and is copied into the stream when committed, so that
// nothing replaces the device or FIFO.
class TempFile final : public OutputFile {
public:
    explicit TempFile(const std::string& path) : target(path), destination(path) {
        struct stat info {};
        if (path == "-") {
            stream = 1;
        } else if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
            // Opened before the run, so that one that cannot be written is refused at
            // once; a FIFO waits here for its reader, as it does for a shell.
            while ((stream = open(destination.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY)) < 0 && errno == EINTR &&
                   !Interrupted()) {
            }
            if (stream < 0) {
                Fail(errno);
            }
        }
        if (stream < 0 && path != "-") {
            destination = WhereToWrite(path);
        }
        if (stream >= 0) {
            const char* tmp = std::getenv("TMPDIR");
            name = std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/wqtrans-XXXXXX";
        } else {
            name = DirectoryOf(destination) + "/." + BaseOf(destination) + ".tmp-XXXXXX";
        }
        fd = mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            CloseStream();
            Fail(error);
        }
    }
    ~TempFile() {
        CloseFd();
        CloseStream();
        if (!renamed) {
            unlink(name.c_str());
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int Fd() const { return fd; }
    const std::string& Name() const { return name; }
    void CloseFd() {
        if (fd >= 0) {
            close(fd);
            fd = -1;
        }
    }
    [[noreturn]] void Fail(int error) const {
        CheckInterrupted();
        IoError("cannot write " + Target() + ": " + std::strerror(error));
    }
    std::string Target() const override { return tool::Target(target); }
    int64_t Seek(int64_t offset, int whence) override {
        const off_t at = lseek(fd, static_cast<off_t>(offset), whence);
        if (at < 0) {
            Fail(errno);
        }
        return at;
    }
    void Write(const uint8_t* data, size_t size) override {
        if (!WriteAll(fd, data, size)) {
            Fail(errno);
        }
    }
    // Gives the file the permissions of the file it replaces, or a new file's, then
    // renames it into place; or copies it into the stream.
    void Commit() {
        CheckInterrupted();
        if (stream >= 0) {
            CopyToStream();
            return;
        }
        TakeModeOf(destination, fd, name);
        if (fd >= 0 && fsync(fd) != 0 && errno != EINVAL) {
            Fail(errno);
        }
        CloseFd();
        CheckInterrupted();
        if (rename(name.c_str(), destination.c_str()) != 0) {
            Fail(errno);
        }
        renamed = true;
    }

private:
    void CloseStream() {
        if (stream > 1) {
            close(stream);
        }
        stream = -1;
    }

    void CopyToStream() {
        CloseFd();
        const int in = open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0) {
            Fail(errno);
        }
        std::vector<uint8_t> buffer(size_t{1} << 16);
        int error = 0;
        for (;;) {
            const ssize_t n = read(in, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR && !Interrupted()) {
                continue;
            }
            if (n <= 0) {
                error = n < 0 ? errno : 0;
                break;
            }
            if (!WriteAll(stream, buffer.data(), static_cast<size_t>(n))) {
                error = errno;
                break;
            }
        }
        close(in);
        if (error != 0) {
            Fail(error);
        }
        // A regular file, a pipe, a device or a terminal: fsync only means something
        // for the first.
        if (fsync(stream) != 0 && errno != EINVAL && errno != EROFS) {
            Fail(errno);
        }
        if (stream > 1) {
            const int closed = close(stream);
            stream = -1;
            if (closed != 0) {
                Fail(errno);
            }
        }
    }

    std::string target;      // as the user named it
    std::string destination; // what is written: the target of a link
    std::string name;
    int fd = -1;
    int stream = -1; // stdout, or the device or FIFO written into
    bool renamed = false;
};

// ---- GIF, WebP and video ------------------------------------------------------

// An encoder writing into a temporary file that is renamed into place (or copied to
// stdout) once the encoder has finished without error.
class EncoderSink final : public FrameSink {
public:
    EncoderSink(OutputKind kind, const std::string& path, int32_t width, int32_t height, const EncodeSettings& settings)
        : file(path) {
        switch (kind) {
        case OutputKind::Gif:
            encoder = OpenGifEncoder(file, width, height, settings);
            break;
        case OutputKind::Webp:
            encoder = OpenWebpEncoder(file, width, height, settings);
            break;
        default:
            encoder = OpenVideoEncoder(file, ContainerOf(kind), width, height, settings);
            break;
        }
    }
    void Add(Picture& frame, uint32_t timeMs) override { encoder->Add(frame, timeMs); }
    void AddAudio(const float* samples, size_t count) override { encoder->AddAudio(samples, count); }
    bool AddDecoded(const AVFrame* frame, uint32_t timeMs) override { return encoder->AddDecoded(frame, timeMs); }
    size_t Pending() const override { return encoder ? encoder->Pending() : 0; }
    void OnWritten(std::function<void()> call) override { encoder->written = std::move(call); }
    void Finish(uint32_t endMs) override {
        encoder->Finish(endMs);
        encoder.reset();
        file.Commit();
    }

private:
    static std::string ContainerOf(OutputKind kind) {
        switch (kind) {
        case OutputKind::Webm:
            return "webm";
        case OutputKind::Mkv:
            return "matroska";
        case OutputKind::Mov:
            return "mov";
        default:
            return "mp4";
        }
    }

    TempFile file;
    std::unique_ptr<FrameEncoder> encoder;
};

// ---- Numbered PNG frames ------------------------------------------------------

class DirectorySink final : public FrameSink {
public:
    DirectorySink(const std::string& path, size_t frames) : target(WhereToWrite(Trimmed(path))) {
        for (size_t last = frames > 0 ? frames - 1 : 0; last >= 10000; last /= 10) {
            ++digits;
        }
        struct stat info {};
        if (stat(target.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
            IoError("cannot write frames into \"" + target + "\": it is not a directory");
        }
        temp = DirectoryOf(target) + "/." + BaseOf(target) + ".tmp-XXXXXX";
        if (mkdtemp(temp.data()) == nullptr) {
            IoError("cannot write frames into \"" + target + "\": " + std::strerror(errno));
        }
    }
    ~DirectorySink() override {
        if (!committed) {
            for (const std::string& name : names) {
                unlink((temp + "/" + name).c_str());
            }
            rmdir(temp.c_str());
        }
    }
    void Add(Picture& frame, uint32_t) override {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%0*zu.png", digits, names.size());
        std::string error;
        names.push_back(name);
        if (!frame.SavePng(temp + "/" + name, &error)) {
            IoError("cannot write frames into \"" + target + "\": " + error);
        }
    }
    void Finish(uint32_t) override {
        const mode_t mask = umask(0);
        umask(mask);
        chmod(temp.c_str(), 0777 & ~mask);
        struct stat info {};
        if (stat(target.c_str(), &info) != 0) {
            if (rename(temp.c_str(), target.c_str()) != 0) {
                IoError("cannot write frames into \"" + target + "\": " + std::strerror(errno));
            }
            committed = true;
            return;
        }
        // The directory exists: numbered frames of an earlier run go, other files stay;
        // then the frames move in one by one.
        if (DIR* existing = opendir(target.c_str())) {
            std::vector<std::string> stale;
            while (const dirent* entry = readdir(existing)) {
                const std::string name = entry->d_name;
                if (IsFrameName(name) && std::find(names.begin(), names.end(), name) == names.end()) {
                    stale.push_back(name);
                }
            }
            closedir(existing);
            for (const std::string& name : stale) {
                unlink((target + "/" + name).c_str());
            }
        }
        for (size_t i = 0; i < names.size(); ++i) {
            TakeModeOf(target + "/" + names[i], -1, temp + "/" + names[i]);
            if (rename((temp + "/" + names[i]).c_str(), (target + "/" + names[i]).c_str()) != 0) {
                const int error = errno;
                names.erase(names.begin(), names.begin() + static_cast<ptrdiff_t>(i));
                IoError("cannot write frames into \"" + target + "\": " + std::strerror(error));
            }
        }
        names.clear();
        rmdir(temp.c_str());
        committed = true;
    }

private:
    // "frame-" digits ".png", the names this sink writes.
    static bool IsFrameName(const std::string& name) {
        const std::string prefix = "frame-";
        const std::string suffix = ".png";
        if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
            return false;
        }
        for (size_t i = prefix.size(); i < name.size() - suffix.size(); ++i) {
            if (!std::isdigit(static_cast<unsigned char>(name[i]))) {
                return false;
            }
        }
        return true;
    }

    std::string target;
    std::string temp;
    int digits = 4;
    std::vector<std::string> names;
    bool committed = false;
};

} // namespace

namespace {

// The kinds that --format names, and that a file's extension names.
std::optional<OutputKind> KindOfName(const std::string& text) {
    const std::string name = Lower(!text.empty() && text[0] == '.' ? text.substr(1) : text);
    if (name == "gif") {
        return OutputKind::Gif;
    }
    if (name == "webp") {
        return OutputKind::Webp;
    }
    if (name == "png") {
        return OutputKind::Png;
    }
    if (name == "mp4") {
        return OutputKind::Mp4;
    }
    if (name == "webm") {
        return OutputKind::Webm;
    }
    if (name == "mkv") {
        return OutputKind::Mkv;
    }
    if (name == "mov") {
        return OutputKind::Mov;
    }
    return std::nullopt;
}

} // namespace

OutputKind OutputKindOf(const std::string& path, const std::string& format) {
    if (path.empty()) {
        UsageError(
            "--out is empty: give a .gif, .webp, .png, .mp4, .webm, .mkv or .mov file, a directory, or - for stdout");
    }
    std::optional<OutputKind> formatKind;
    if (!format.empty()) {
        formatKind = KindOfName(format);
        if (!formatKind) {
            UsageError("--format \"" + format + "\" is unknown; choose gif, webp, png, mp4, webm, mkv or mov");
        }
    }
    if (path == "-") {
        if (!formatKind) {
            UsageError("--out - writes to stdout and needs --format gif, webp, png, mp4, webm, mkv or mov");
        }
        return *formatKind;
    }
    struct stat info {};
    if (path.back() == '/' || (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))) {
        if (formatKind) {
            UsageError("--out \"" + path + "\" is a directory of numbered PNG frames, so it takes no --format");
        }
        return OutputKind::Directory;
    }
    const std::string base = BaseOf(path);
    const size_t dot = base.find_last_of('.');
    if (dot == std::string::npos || dot == 0) {
        return formatKind ? *formatKind : OutputKind::Directory;
    }
    const std::string extension = Lower(base.substr(dot));
    const std::optional<OutputKind> named = KindOfName(extension);
    if (!named) {
        if (formatKind) {
            return *formatKind;
        }
        UsageError("--out \"" + path + "\" has an unknown kind \"" + extension +
                   "\"; choose .gif, .webp, .png, .mp4, .webm, .mkv, .mov, a directory, or - with --format");
    }
    if (formatKind && *formatKind != *named) {
        UsageError("--format " + Lower(format) + " does not match --out \"" + path + "\"");
    }
    return *named;
}

void FrameSink::AddAudio(const float*, size_t) { UsageError("a sound track needs a video output"); }

std::unique_ptr<FrameSink> OpenSink(OutputKind kind, const std::string& path, int32_t width, int32_t height,
                                    const EncodeSettings& settings, size_t frames) {
    switch (kind) {
    case OutputKind::Directory:
        return std::make_unique<DirectorySink>(path, frames);
    case OutputKind::Png:
        break;
    default:
        return std::make_unique<EncoderSink>(kind, path, width, height, settings);
    }
    UsageError("a single .png holds one picture, not an animation");
}

void WritePng(Picture& picture, const std::string& path) {
    TempFile file(path);
    file.CloseFd();
    std::string error;
    if (!picture.SavePng(file.Name(), &error)) {
        IoError("cannot write \"" + path + "\": " + error);
    }
    file.Commit();
}

void WriteFileBytes(const std::vector<uint8_t>& bytes, const std::string& path) {
    TempFile file(path);
    file.Write(bytes.data(), bytes.size());
    file.Commit();
}

} // namespace wqtrans::tool
