// The tool's outputs: animated GIF (giflib), animated WebP (libwebp), PNG pictures
// (the reference surface), numbered PNG frames in a directory, and video through an
// ffmpeg process. Every file is written under a temporary name next to its target
// and renamed into place only when complete, so a failed run leaves nothing behind;
// an output to stdout is made whole in $TMPDIR first, then copied.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include <gif_lib.h>
#include <webp/encode.h>

#include "tools/Tool.h"

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

// A temporary file next to `path` (in $TMPDIR for "-", stdout), removed again unless
// committed: renamed into place, or copied to stdout.
class TempFile {
public:
    explicit TempFile(const std::string& path) : target(path) {
        if (path == "-") {
            const char* tmp = std::getenv("TMPDIR");
            name = std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/wqtrans-XXXXXX";
        } else {
            name = DirectoryOf(path) + "/." + BaseOf(path) + ".tmp-XXXXXX";
        }
        fd = mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) {
            Fail(errno);
        }
    }
    ~TempFile() {
        CloseFd();
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
        IoError("cannot write " + Target(target) + ": " + std::strerror(error));
    }
    void Write(const uint8_t* data, size_t size) {
        if (!WriteAll(fd, data, size)) {
            Fail(errno);
        }
    }
    // Makes the file readable like any new file, then renames it into place; or
    // copies it to stdout.
    void Commit() {
        CheckInterrupted();
        if (target == "-") {
            CopyToStdout();
            return;
        }
        const mode_t mask = umask(0);
        umask(mask);
        if (fd >= 0) {
            fchmod(fd, 0666 & ~mask);
            if (fsync(fd) != 0 && errno != EINVAL) {
                Fail(errno);
            }
        } else {
            chmod(name.c_str(), 0666 & ~mask);
        }
        CloseFd();
        CheckInterrupted();
        if (rename(name.c_str(), target.c_str()) != 0) {
            Fail(errno);
        }
        renamed = true;
    }

private:
    void CopyToStdout() {
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
            if (!WriteAll(1, buffer.data(), static_cast<size_t>(n))) {
                error = errno;
                break;
            }
        }
        close(in);
        if (error != 0) {
            Fail(error);
        }
        // A regular file, a pipe or a terminal: fsync only means something for the first.
        if (fsync(1) != 0 && errno != EINVAL && errno != EROFS) {
            Fail(errno);
        }
    }

    std::string target;
    std::string name;
    int fd = -1;
    bool renamed = false;
};

// ---- GIF -------------------------------------------------------------------

// One frame as palette indices with its colour map: exact when the frame has at most
// 256 colours, else through giflib's median-cut quantizer.
struct IndexedFrame {
    std::vector<GifByteType> indices;
    std::vector<GifColorType> colours;
};

IndexedFrame Index(Picture& frame) {
    const size_t count = static_cast<size_t>(frame.Width()) * static_cast<size_t>(frame.Height());
    const uint32_t* pixels = frame.Pixels();
    IndexedFrame out;
    out.indices.resize(count);
    std::unordered_map<uint32_t, uint8_t> exact;
    bool fits = true;
    for (size_t i = 0; i < count && fits; ++i) {
        const uint32_t rgb = pixels[i] & 0xFFFFFFu;
        auto found = exact.find(rgb);
        if (found == exact.end()) {
            if (exact.size() == 256) {
                fits = false;
                break;
            }
            found = exact.emplace(rgb, static_cast<uint8_t>(exact.size())).first;
            out.colours.push_back({static_cast<GifByteType>(rgb >> 16), static_cast<GifByteType>(rgb >> 8),
                                   static_cast<GifByteType>(rgb)});
        }
        out.indices[i] = found->second;
    }
    if (!fits) {
        std::vector<GifByteType> r(count), g(count), b(count);
        for (size_t i = 0; i < count; ++i) {
            r[i] = static_cast<GifByteType>(pixels[i] >> 16);
            g[i] = static_cast<GifByteType>(pixels[i] >> 8);
            b[i] = static_cast<GifByteType>(pixels[i]);
        }
        int size = 256;
        out.colours.assign(256, GifColorType{0, 0, 0});
        if (GifQuantizeBuffer(static_cast<unsigned>(frame.Width()), static_cast<unsigned>(frame.Height()), &size,
                              r.data(), g.data(), b.data(), out.indices.data(), out.colours.data()) != GIF_OK) {
            IoError("cannot reduce a frame to 256 colours for GIF");
        }
    }
    // A colour map has a power-of-two size of at least 2.
    size_t size = 2;
    while (size < out.colours.size()) {
        size *= 2;
    }
    out.colours.resize(size, GifColorType{0, 0, 0});
    return out;
}

int Centiseconds(uint32_t ms) { return static_cast<int>((ms + 5) / 10); }

// Frames go to the temporary file as they are made: memory holds one frame's
// indices, however long the run.
class GifSink final : public FrameSink {
public:
    GifSink(const std::string& path, int32_t width, int32_t height) : file(path), path(path) {
        int error = 0;
        gif = EGifOpen(this, Written, &error);
        if (gif == nullptr) {
            IoError("cannot start GIF " + Target(path) + ": " + GifErrorString(error));
        }
        EGifSetGifVersion(gif, true);
        Check(EGifPutScreenDesc(gif, width, height, 8, 0, nullptr));
        // Loop for ever.
        static const GifByteType netscape[] = "NETSCAPE2.0";
        static const GifByteType loop[] = {1, 0, 0};
        Check(EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE));
        Check(EGifPutExtensionBlock(gif, 11, netscape));
        Check(EGifPutExtensionBlock(gif, 3, loop));
        Check(EGifPutExtensionTrailer(gif));
    }
    ~GifSink() override {
        if (gif != nullptr) {
            int error = 0;
            EGifCloseFile(gif, &error);
        }
    }
    void Add(Picture& frame, uint32_t timeMs) override {
        if (pending) {
            Put(Centiseconds(timeMs) - Centiseconds(pendingTime));
        }
        pending = Index(frame);
        pendingTime = timeMs;
        width = frame.Width();
        height = frame.Height();
    }
    void Finish(uint32_t endMs) override {
        if (pending) {
            Put(Centiseconds(endMs) - Centiseconds(pendingTime));
        }
        int error = 0;
        const int closed = EGifCloseFile(gif, &error);
        gif = nullptr;
        if (writeError != 0) {
            file.Fail(writeError);
        }
        if (closed != GIF_OK) {
            IoError("cannot finish GIF " + Target(path) + ": " + GifErrorString(error));
        }
        file.Commit();
    }

private:
    // giflib's output function: a C callback, so a failure is kept and reported by
    // Check rather than thrown through giflib.
    static int Written(GifFileType* gif, const GifByteType* data, int size) {
        auto* sink = static_cast<GifSink*>(gif->UserData);
        if (sink->writeError != 0) {
            return 0;
        }
        if (!WriteAll(sink->file.Fd(), data, static_cast<size_t>(size))) {
            sink->writeError = errno;
            return 0;
        }
        return size;
    }
    void Check(int result) {
        if (writeError != 0) {
            file.Fail(writeError);
        }
        if (result != GIF_OK) {
            IoError("cannot write GIF " + Target(path) + ": " + GifErrorString(gif->Error));
        }
    }
    void Put(int delay) {
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSE_DO_NOT;
        control.UserInputFlag = false;
        control.DelayTime = std::max(delay, 1);
        control.TransparentColor = NO_TRANSPARENT_COLOR;
        GifByteType extension[4];
        const size_t length = EGifGCBToExtension(&control, extension);
        Check(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension));
        ColorMapObject* map = GifMakeMapObject(static_cast<int>(pending->colours.size()), pending->colours.data());
        if (map == nullptr) {
            IoError("cannot write GIF " + Target(path) + ": out of memory");
        }
        const int described = EGifPutImageDesc(gif, 0, 0, width, height, false, map);
        GifFreeMapObject(map);
        Check(described);
        for (int32_t y = 0; y < height; ++y) {
            Check(
                EGifPutLine(gif, pending->indices.data() + static_cast<size_t>(y) * static_cast<size_t>(width), width));
        }
        pending.reset();
    }

    TempFile file;
    std::string path;
    GifFileType* gif = nullptr;
    int writeError = 0;
    std::optional<IndexedFrame> pending;
    uint32_t pendingTime = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// ---- WebP ------------------------------------------------------------------

void PutLe(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void PutChunkHeader(std::vector<uint8_t>& out, const char* fourcc, uint64_t size) {
    out.insert(out.end(), fourcc, fourcc + 4);
    PutLe(out, size, 4);
}

// An animated WebP written as it goes: the RIFF header, VP8X and ANIM chunks first,
// then one ANMF chunk per frame, and the RIFF size filled in at the end. Every frame is
// a whole, losslessly coded picture of its own, so that the file holds exactly one
// frame per step (an encoder that merges identical frames would not). Memory holds one
// coded frame, however long the run.
class WebpSink final : public FrameSink {
public:
    WebpSink(const std::string& path, int32_t width, int32_t height)
        : file(path), path(path), width(width), height(height) {
        std::vector<uint8_t> head;
        PutChunkHeader(head, "RIFF", 0); // the size comes at the end
        head.insert(head.end(), {'W', 'E', 'B', 'P'});
        PutChunkHeader(head, "VP8X", 10);
        PutLe(head, 0x02, 4); // animation
        PutLe(head, static_cast<uint32_t>(width - 1), 3);
        PutLe(head, static_cast<uint32_t>(height - 1), 3);
        PutChunkHeader(head, "ANIM", 6);
        PutLe(head, 0xFFFFFFFFu, 4); // background colour
        PutLe(head, 0, 2);           // loop for ever
        Append(head);
    }
    ~WebpSink() override { WebPMemoryWriterClear(&pending); }
    void Add(Picture& frame, uint32_t timeMs) override {
        if (hasPending) {
            Push(timeMs - pendingTime);
        }
        // Frames are opaque, so that no frame is coded with an alpha channel.
        opaque.assign(frame.Pixels(),
                      frame.Pixels() + static_cast<size_t>(frame.Width()) * static_cast<size_t>(frame.Height()));
        for (uint32_t& pixel : opaque) {
            pixel |= 0xFF000000u;
        }
        WebPConfig config;
        WebPConfigInit(&config);
        config.lossless = 1;
        config.quality = 25;
        config.method = 1;
        WebPPicture picture;
        WebPPictureInit(&picture);
        picture.use_argb = 1;
        picture.width = frame.Width();
        picture.height = frame.Height();
        // 0xAARRGGBB words are B, G, R, A bytes on a little-endian machine.
        if (!WebPPictureImportBGRA(&picture, reinterpret_cast<const uint8_t*>(opaque.data()), frame.Width() * 4)) {
            IoError("cannot encode a WebP frame: out of memory");
        }
        WebPMemoryWriterInit(&pending);
        picture.writer = WebPMemoryWrite;
        picture.custom_ptr = &pending;
        const int encoded = WebPEncode(&config, &picture);
        WebPPictureFree(&picture);
        // A lossless still picture: "RIFF" size "WEBP" and then its one VP8L chunk.
        if (!encoded || pending.size <= 12 || std::memcmp(pending.mem + 12, "VP8L", 4) != 0) {
            IoError("cannot encode a WebP frame (error " + std::to_string(picture.error_code) + ")");
        }
        hasPending = true;
        pendingTime = timeMs;
    }
    void Finish(uint32_t endMs) override {
        if (hasPending) {
            Push(endMs - pendingTime);
        }
        if (written - 8 > 0xFFFFFFFEu) {
            IoError("cannot write " + Target(path) + ": a WebP file holds at most 4 GiB");
        }
        uint8_t size[4];
        for (int i = 0; i < 4; ++i) {
            size[i] = static_cast<uint8_t>((written - 8) >> (8 * i));
        }
        if (pwrite(file.Fd(), size, 4, 4) != 4) {
            file.Fail(errno);
        }
        file.Commit();
    }

private:
    void Append(const std::vector<uint8_t>& bytes) {
        file.Write(bytes.data(), bytes.size());
        written += bytes.size();
    }
    void Push(uint32_t duration) {
        const size_t frameBytes = pending.size - 12;
        std::vector<uint8_t> head;
        PutChunkHeader(head, "ANMF", 16 + frameBytes);
        PutLe(head, 0, 3); // x / 2
        PutLe(head, 0, 3); // y / 2
        PutLe(head, static_cast<uint32_t>(width - 1), 3);
        PutLe(head, static_cast<uint32_t>(height - 1), 3);
        PutLe(head, std::clamp<uint32_t>(duration, 1, 0xFFFFFF), 3);
        PutLe(head, 0x02, 1); // no blending, no disposal
        Append(head);
        file.Write(pending.mem + 12, frameBytes);
        written += frameBytes;
        WebPMemoryWriterClear(&pending);
        hasPending = false;
    }

    TempFile file;
    std::string path;
    int32_t width;
    int32_t height;
    uint64_t written = 0;
    std::vector<uint32_t> opaque;
    WebPMemoryWriter pending{};
    bool hasPending = false;
    uint32_t pendingTime = 0;
};

// ---- Numbered PNG frames ------------------------------------------------------

class DirectorySink final : public FrameSink {
public:
    DirectorySink(const std::string& path, size_t frames) : target(Trimmed(path)) {
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

// ---- Video through ffmpeg --------------------------------------------------------

uint64_t BigEndian(const uint8_t* p, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value = value << 8 | p[i];
    }
    return value;
}

// An EBML variable-length number at `p` (at most `left` bytes): its length, or 0.
int EbmlNumber(const uint8_t* p, size_t left, uint64_t& value, bool& unknown) {
    if (left == 0 || p[0] == 0) {
        return 0;
    }
    int length = 1;
    while ((p[0] & (0x80 >> (length - 1))) == 0) {
        ++length;
    }
    if (static_cast<size_t>(length) > left) {
        return 0;
    }
    value = p[0] & (0xFF >> length);
    bool allOnes = value == (0xFFu >> length);
    for (int i = 1; i < length; ++i) {
        value = value << 8 | p[i];
        allOnes = allOnes && p[i] == 0xFF;
    }
    unknown = allOnes;
    return length;
}

// Why a video that ffmpeg has finished is not whole, or "": an MP4's top-level boxes
// must fill the file exactly and hold the index ("moov"); a WebM must start with its
// EBML header and a Segment that ends where the file ends. (ffmpeg writes the
// Segment's size last, into a file it can seek in, as the temporary file is.)
std::string VideoProblem(int fd, OutputKind kind) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || info.st_size <= 0) {
        return "the file is empty";
    }
    const auto size = static_cast<uint64_t>(info.st_size);
    if (kind == OutputKind::Mp4) {
        bool index = false;
        uint64_t at = 0;
        while (at < size) {
            uint8_t head[16];
            if (size - at < 8 || pread(fd, head, 16, static_cast<off_t>(at)) < 8) {
                return "the file ends inside a box";
            }
            uint64_t box = BigEndian(head, 4);
            if (box == 1) {
                box = size - at >= 16 ? BigEndian(head + 8, 8) : 0;
            } else if (box == 0) {
                box = size - at;
            }
            if (box < 8 || box > size - at) {
                return "the file ends inside a box";
            }
            index = index || std::memcmp(head + 4, "moov", 4) == 0;
            at += box;
        }
        return index ? "" : "the file has no index (moov box)";
    }
    uint8_t head[64] = {};
    const ssize_t got = pread(fd, head, sizeof head, 0);
    if (got < 4 || BigEndian(head, 4) != 0x1A45DFA3u) {
        return "the file has no EBML header";
    }
    const auto left = static_cast<size_t>(got);
    uint64_t value = 0;
    bool unknown = false;
    const int headerSize = EbmlNumber(head + 4, left - 4, value, unknown);
    size_t at = 4 + static_cast<size_t>(headerSize) + static_cast<size_t>(value);
    if (headerSize == 0 || unknown || at + 4 > left || BigEndian(head + at, 4) != 0x18538067u) {
        return "the file has no Segment";
    }
    const int segmentSize = EbmlNumber(head + at + 4, left - at - 4, value, unknown);
    if (segmentSize == 0) {
        return "the file has no Segment";
    }
    at += 4 + static_cast<size_t>(segmentSize);
    if (unknown || at + value != size) {
        return "the file ends before its Segment does";
    }
    return "";
}

// Frames go to an ffmpeg process through a pipe; ffmpeg writes the temporary file.
// Its exit status alone is not trusted (it exits 0 after failing to write a trailer):
// anything it says on stderr at the "error" log level, or a file that is not whole,
// fails the run.
class VideoSink final : public FrameSink {
public:
    VideoSink(const std::string& path, OutputKind kind, int32_t width, int32_t height, uint32_t fps)
        : file(path), path(path), kind(kind) {
        RequireFfmpeg();
        errors = std::tmpfile();
        int pipeFds[2];
        if (errors == nullptr || pipe2(pipeFds, O_CLOEXEC) != 0) {
            IoError("cannot start ffmpeg: " + std::string(std::strerror(errno)));
        }
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        const std::string rate = std::to_string(fps);
        const bool mp4 = kind == OutputKind::Mp4;
        std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "rawvideo",
                                         "-pix_fmt", "bgra", "-s", size, "-framerate", rate, "-i", "-",
                                         // yuv420p needs even sizes.
                                         "-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2", "-pix_fmt", "yuv420p", "-c:v",
                                         mp4 ? "libx264" : "libvpx-vp9", "-f", mp4 ? "mp4" : "webm", file.Name()};
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        child = fork();
        if (child < 0) {
            IoError("cannot start ffmpeg: " + std::string(std::strerror(errno)));
        }
        if (child == 0) {
            dup2(pipeFds[0], 0);
            dup2(fileno(errors), 2);
            execvp("ffmpeg", argv.data());
            _exit(127);
        }
        close(pipeFds[0]);
        input = pipeFds[1];
    }
    ~VideoSink() override {
        Stop();
        if (errors != nullptr) {
            std::fclose(errors);
        }
    }
    void Add(Picture& frame, uint32_t) override {
        const size_t size = static_cast<size_t>(frame.Width()) * static_cast<size_t>(frame.Height()) * 4;
        if (!WriteAll(input, reinterpret_cast<const uint8_t*>(frame.Pixels()), size)) {
            CheckInterrupted();
            Stop();
            Failed("it stopped reading frames");
        }
    }
    void Finish(uint32_t) override {
        const int status = Stop();
        if (status != 0) {
            Failed(status == 127 ? "it could not be started" : "it exited with status " + std::to_string(status));
        }
        Failed("");
        const std::string problem = VideoProblem(file.Fd(), kind);
        if (!problem.empty()) {
            Failed(problem);
        }
        file.Commit();
    }

private:
    // Closes ffmpeg's input and waits for it; its exit status, or 128 + a signal. After
    // SIGINT or SIGTERM, ffmpeg is stopped too rather than left to encode the rest.
    int Stop() {
        if (input >= 0) {
            close(input);
            input = -1;
        }
        if (child > 0 && Interrupted()) {
            kill(child, SIGTERM);
        }
        int status = 0;
        if (child > 0) {
            while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            child = -1;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    // Fails with ffmpeg's first line on stderr, or else with `reason` when given.
    void Failed(const std::string& reason) {
        std::string said;
        if (errors != nullptr) {
            std::fflush(errors);
            std::rewind(errors);
            char line[512];
            while (said.empty() && std::fgets(line, sizeof line, errors) != nullptr) {
                said = line;
                while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' ')) {
                    said.pop_back();
                }
            }
        }
        if (!said.empty() || !reason.empty()) {
            IoError("ffmpeg could not write " + Target(path) + ": " + (said.empty() ? reason : said));
        }
    }

    TempFile file;
    std::string path;
    OutputKind kind;
    std::FILE* errors = nullptr;
    pid_t child = -1;
    int input = -1;
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
    return std::nullopt;
}

} // namespace

OutputKind OutputKindOf(const std::string& path, const std::string& format) {
    if (path.empty()) {
        UsageError("--out is empty: give a .gif, .webp, .png, .mp4 or .webm file, a directory, or - for stdout");
    }
    std::optional<OutputKind> formatKind;
    if (!format.empty()) {
        formatKind = KindOfName(format);
        if (!formatKind) {
            UsageError("--format \"" + format + "\" is unknown; choose gif, webp, png, mp4 or webm");
        }
    }
    if (path == "-") {
        if (!formatKind) {
            UsageError("--out - writes to stdout and needs --format gif, webp, png, mp4 or webm");
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
                   "\"; choose .gif, .webp, .png, .mp4, .webm, a directory, or - with --format");
    }
    if (formatKind && *formatKind != *named) {
        UsageError("--format " + Lower(format) + " does not match --out \"" + path + "\"");
    }
    return *named;
}

void RequireFfmpeg() {
    const char* pathVariable = std::getenv("PATH");
    std::string paths = pathVariable != nullptr ? pathVariable : "";
    size_t start = 0;
    while (start <= paths.size()) {
        const size_t end = std::min(paths.find(':', start), paths.size());
        const std::string dir = end > start ? paths.substr(start, end - start) : ".";
        if (access((dir + "/ffmpeg").c_str(), X_OK) == 0) {
            return;
        }
        start = end + 1;
    }
    IoError("writing .mp4 or .webm needs the ffmpeg program, which is not installed (Debian package: ffmpeg)");
}

std::unique_ptr<FrameSink> OpenSink(OutputKind kind, const std::string& path, int32_t width, int32_t height,
                                    uint32_t fps, size_t frames) {
    switch (kind) {
    case OutputKind::Gif:
        return std::make_unique<GifSink>(path, width, height);
    case OutputKind::Webp:
        return std::make_unique<WebpSink>(path, width, height);
    case OutputKind::Directory:
        return std::make_unique<DirectorySink>(path, frames);
    case OutputKind::Mp4:
    case OutputKind::Webm:
        return std::make_unique<VideoSink>(path, kind, width, height, fps);
    case OutputKind::Png:
        break;
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

} // namespace wqtrans::tool
