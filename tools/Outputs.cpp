// The tool's outputs: animated GIF (giflib), animated WebP (libwebp), PNG pictures
// (the reference surface), numbered PNG frames in a directory, and video through an
// ffmpeg process. Every file is written under a temporary name next to its target
// and renamed into place only when complete, so a failed run leaves nothing behind.
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
#include <webp/mux.h>

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

// A temporary file next to `path`, removed again unless committed.
class TempFile {
public:
    explicit TempFile(const std::string& path) : target(path) {
        name = DirectoryOf(path) + "/." + BaseOf(path) + ".tmp-XXXXXX";
        fd = mkstemp(name.data());
        if (fd < 0) {
            IoError("cannot write \"" + path + "\": " + std::strerror(errno));
        }
    }
    ~TempFile() {
        CloseFd();
        if (!committed) {
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
    void Write(const uint8_t* data, size_t size) {
        while (size > 0) {
            const ssize_t n = write(fd, data, size);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                IoError("cannot write \"" + target + "\": " + std::strerror(errno));
            }
            data += n;
            size -= static_cast<size_t>(n);
        }
    }
    // Makes the file readable like any new file, then renames it into place.
    void Commit() {
        if (fd >= 0) {
            const mode_t mask = umask(0);
            umask(mask);
            fchmod(fd, 0666 & ~mask);
            if (fsync(fd) != 0 && errno != EINVAL) {
                IoError("cannot write \"" + target + "\": " + std::strerror(errno));
            }
        } else {
            const mode_t mask = umask(0);
            umask(mask);
            chmod(name.c_str(), 0666 & ~mask);
        }
        CloseFd();
        if (rename(name.c_str(), target.c_str()) != 0) {
            IoError("cannot write \"" + target + "\": " + std::strerror(errno));
        }
        committed = true;
    }

private:
    std::string target;
    std::string name;
    int fd = -1;
    bool committed = false;
};

// ---- GIF -------------------------------------------------------------------

int GifWrite(GifFileType* gif, const GifByteType* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + size);
    return size;
}

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

class GifSink final : public FrameSink {
public:
    GifSink(const std::string& path, int32_t width, int32_t height) : file(path), path(path) {
        int error = 0;
        gif = EGifOpen(&bytes, GifWrite, &error);
        if (gif == nullptr) {
            IoError("cannot start GIF \"" + path + "\": " + GifErrorString(error));
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
        if (closed != GIF_OK) {
            IoError("cannot finish GIF \"" + path + "\": " + GifErrorString(error));
        }
        file.Write(bytes.data(), bytes.size());
        file.Commit();
    }

private:
    void Check(int result) {
        if (result != GIF_OK) {
            IoError("cannot write GIF \"" + path + "\": " + GifErrorString(gif->Error));
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
            IoError("cannot write GIF \"" + path + "\": out of memory");
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
    std::vector<uint8_t> bytes;
    GifFileType* gif = nullptr;
    std::optional<IndexedFrame> pending;
    uint32_t pendingTime = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// ---- WebP ------------------------------------------------------------------

// Every frame is a whole, losslessly coded picture of its own, so that the file holds
// exactly one frame per step (an encoder that merges identical frames would not).
class WebpSink final : public FrameSink {
public:
    WebpSink(const std::string& path, int32_t width, int32_t height)
        : file(path), path(path), mux(WebPMuxNew()), width(width), height(height) {
        if (mux == nullptr || WebPMuxSetCanvasSize(mux, width, height) != WEBP_MUX_OK) {
            IoError("cannot start WebP \"" + path + "\"");
        }
        WebPMuxAnimParams params{};
        params.bgcolor = 0xFFFFFFFFu;
        params.loop_count = 0;
        WebPMuxSetAnimationParams(mux, &params);
    }
    ~WebpSink() override {
        WebPMemoryWriterClear(&pending);
        WebPMuxDelete(mux);
    }
    void Add(Picture& frame, uint32_t timeMs) override {
        if (hasPending) {
            Push(static_cast<int>(timeMs - pendingTime));
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
        if (!WebPPictureImportBGRA(&picture, reinterpret_cast<const uint8_t*>(frame.Pixels()), frame.Width() * 4)) {
            IoError("cannot encode a WebP frame: out of memory");
        }
        WebPMemoryWriterInit(&pending);
        picture.writer = WebPMemoryWrite;
        picture.custom_ptr = &pending;
        const int encoded = WebPEncode(&config, &picture);
        WebPPictureFree(&picture);
        if (!encoded) {
            IoError("cannot encode a WebP frame (error " + std::to_string(picture.error_code) + ")");
        }
        hasPending = true;
        pendingTime = timeMs;
    }
    void Finish(uint32_t endMs) override {
        if (hasPending) {
            Push(static_cast<int>(endMs - pendingTime));
        }
        WebPData data;
        WebPDataInit(&data);
        if (WebPMuxAssemble(mux, &data) != WEBP_MUX_OK) {
            IoError("cannot assemble WebP \"" + path + "\"");
        }
        try {
            file.Write(data.bytes, data.size);
        } catch (...) {
            WebPDataClear(&data);
            throw;
        }
        WebPDataClear(&data);
        file.Commit();
    }

private:
    void Push(int duration) {
        WebPMuxFrameInfo info{};
        info.bitstream.bytes = pending.mem;
        info.bitstream.size = pending.size;
        info.x_offset = 0;
        info.y_offset = 0;
        info.duration = std::max(duration, 1);
        info.id = WEBP_CHUNK_ANMF;
        info.dispose_method = WEBP_MUX_DISPOSE_NONE;
        info.blend_method = WEBP_MUX_NO_BLEND;
        const WebPMuxError pushed = WebPMuxPushFrame(mux, &info, 1);
        WebPMemoryWriterClear(&pending);
        hasPending = false;
        if (pushed != WEBP_MUX_OK) {
            IoError("cannot add a frame to WebP \"" + path + "\"");
        }
    }

    TempFile file;
    std::string path;
    WebPMux* mux;
    int32_t width;
    int32_t height;
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

class VideoSink final : public FrameSink {
public:
    VideoSink(const std::string& path, OutputKind kind, int32_t width, int32_t height, uint32_t fps)
        : file(path), path(path) {
        RequireFfmpeg();
        file.CloseFd();
        signal(SIGPIPE, SIG_IGN);
        int pipeFds[2];
        if (pipe(pipeFds) != 0) {
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
        child = fork();
        if (child < 0) {
            IoError("cannot start ffmpeg: " + std::string(std::strerror(errno)));
        }
        if (child == 0) {
            dup2(pipeFds[0], 0);
            close(pipeFds[0]);
            close(pipeFds[1]);
            std::vector<char*> argv;
            for (std::string& arg : args) {
                argv.push_back(arg.data());
            }
            argv.push_back(nullptr);
            execvp("ffmpeg", argv.data());
            _exit(127);
        }
        close(pipeFds[0]);
        input = pipeFds[1];
    }
    ~VideoSink() override {
        if (input >= 0) {
            close(input);
        }
        if (child > 0) {
            int status = 0;
            waitpid(child, &status, 0);
        }
    }
    void Add(Picture& frame, uint32_t) override {
        const auto* data = reinterpret_cast<const uint8_t*>(frame.Pixels());
        size_t size = static_cast<size_t>(frame.Width()) * static_cast<size_t>(frame.Height()) * 4;
        while (size > 0) {
            const ssize_t n = write(input, data, size);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                IoError("ffmpeg stopped while writing \"" + path + "\"");
            }
            data += n;
            size -= static_cast<size_t>(n);
        }
    }
    void Finish(uint32_t) override {
        close(input);
        input = -1;
        int status = 0;
        waitpid(child, &status, 0);
        child = -1;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            IoError("ffmpeg could not write \"" + path + "\"");
        }
        file.Commit();
    }

private:
    TempFile file;
    std::string path;
    pid_t child = -1;
    int input = -1;
};

} // namespace

OutputKind OutputKindOf(const std::string& path) {
    if (path.empty()) {
        UsageError("--out is empty: give a .gif, .webp, .png, .mp4 or .webm file or a directory");
    }
    struct stat info {};
    if (path.back() == '/' || (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))) {
        return OutputKind::Directory;
    }
    const std::string base = BaseOf(path);
    const size_t dot = base.find_last_of('.');
    if (dot == std::string::npos || dot == 0) {
        return OutputKind::Directory;
    }
    const std::string extension = Lower(base.substr(dot));
    if (extension == ".gif") {
        return OutputKind::Gif;
    }
    if (extension == ".webp") {
        return OutputKind::Webp;
    }
    if (extension == ".png") {
        return OutputKind::Png;
    }
    if (extension == ".mp4") {
        return OutputKind::Mp4;
    }
    if (extension == ".webm") {
        return OutputKind::Webm;
    }
    UsageError("--out \"" + path + "\" has an unknown kind \"" + extension +
               "\"; choose .gif, .webp, .png, .mp4, .webm or a directory");
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
