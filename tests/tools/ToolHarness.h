// Runs the built wqtrans tool in a scratch directory and reads what it wrote.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>
#include <jpeglib.h>

#include "host/SoftwareSurface.h"

namespace wqtrans::tooltest {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A scratch directory, removed with everything in it at the end of the test.
class Scratch {
public:
    Scratch() {
        std::string name = (std::filesystem::temp_directory_path() / "wqtrans-tool-XXXXXX").string();
        if (mkdtemp(name.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        dir = name;
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::string operator/(const std::string& name) const { return (dir / name).string(); }
    // Every file under the directory (hidden ones too) with its content, folders as
    // "name/": what a failed run must leave as it was.
    std::map<std::string, std::string> Snapshot() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
            const std::string name = std::filesystem::relative(entry.path(), dir).string();
            files[entry.is_directory() ? name + "/" : name] = entry.is_directory() ? "" : ReadText(entry.path());
        }
        return files;
    }
    // File names in the directory (hidden ones too), sorted.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::filesystem::path dir;
};

// A run of the tool started with StartTool: its process, and where its output goes.
struct Started {
    pid_t pid = -1;
    std::string outName;
    std::string errName;
};

// Starts the tool with `args` in `cwd`, stdin from `input` (a path relative to `cwd`;
// /dev/null when not given); `path` replaces PATH when given. Its stdout and stderr go
// to hidden files in `cwd`, removed by FinishTool.
inline Started StartTool(const std::vector<std::string>& args, const Scratch& cwd,
                         std::optional<std::string> path = std::nullopt,
                         std::optional<std::string> input = std::nullopt) {
    Started started;
    started.outName = (cwd.dir / ".stdout").string();
    started.errName = (cwd.dir / ".stderr").string();
#ifndef WQTRANS_TOOL_PATH
    (void)args;
    (void)path;
    (void)input;
#else
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(cwd.dir.c_str()) != 0) {
            _exit(126);
        }
        const int in = open(input ? input->c_str() : "/dev/null", O_RDONLY);
        const int out = open(started.outName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(started.errName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (path) {
            setenv("PATH", path->c_str(), 1);
        }
        std::vector<std::string> all = {WQTRANS_TOOL_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        execv(WQTRANS_TOOL_PATH, argv.data());
        _exit(127);
    }
    started.pid = child;
#endif
    return started;
}

// Waits for a run started with StartTool and collects what it wrote.
inline Result FinishTool(const Started& started) {
    Result result;
    if (started.pid <= 0) {
        return result;
    }
    int status = 0;
    waitpid(started.pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadText(started.outName);
    result.err = ReadText(started.errName);
    std::filesystem::remove(started.outName);
    std::filesystem::remove(started.errName);
    return result;
}

// Runs the tool with `args` in `cwd` to the end (see StartTool).
inline Result RunTool(const std::vector<std::string>& args, const Scratch& cwd,
                      std::optional<std::string> path = std::nullopt, std::optional<std::string> input = std::nullopt) {
    return FinishTool(StartTool(args, cwd, std::move(path), std::move(input)));
}

#ifndef WQTRANS_TOOL_PATH
#define WQ_REQUIRE_TOOL() GTEST_SKIP() << "the tool is not built (WQTRANS_TOOLS=OFF)"
#else
#define WQ_REQUIRE_TOOL() (void)0
#endif

// A picture of `w` x `h` whose pixels are `pixel(x, y)`, saved as PNG.
template <typename F> SoftwareSurface MakePicture(int32_t w, int32_t h, F pixel) {
    SoftwareSurface picture(w, h);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            picture.SetPixel(x, y, pixel(x, y));
        }
    }
    return picture;
}

// The first pixel where two pictures differ, as text, or "" when they are equal.
inline std::string Difference(const std::vector<uint32_t>& actual, SoftwareSurface& expected) {
    const size_t count = static_cast<size_t>(expected.Width()) * static_cast<size_t>(expected.Height());
    if (actual.size() != count) {
        return "size " + std::to_string(actual.size()) + " pixels, expected " + std::to_string(count);
    }
    for (size_t i = 0; i < count; ++i) {
        if ((actual[i] & 0xFFFFFF) != (expected.Pixels()[i] & 0xFFFFFF)) {
            std::ostringstream text;
            text << "pixel (" << i % static_cast<size_t>(expected.Width()) << ", "
                 << i / static_cast<size_t>(expected.Width()) << ") is " << std::hex << (actual[i] & 0xFFFFFF)
                 << ", expected " << (expected.Pixels()[i] & 0xFFFFFF);
            return text.str();
        }
    }
    return "";
}

inline std::vector<uint32_t> PixelsOf(SoftwareSurface& picture) {
    return std::vector<uint32_t>(picture.Pixels(), picture.Pixels() + static_cast<size_t>(picture.Width()) *
                                                                          static_cast<size_t>(picture.Height()));
}

// ---- A small JSON reader, enough to check that the tool's JSON parses --------

struct Json {
    using Object = std::map<std::string, Json>;
    using Array = std::vector<Json>;
    std::variant<std::nullptr_t, bool, double, std::string, Array, Object> value;

    const Json& operator[](const std::string& key) const { return std::get<Object>(value).at(key); }
    const Json& operator[](size_t index) const { return std::get<Array>(value).at(index); }
    size_t size() const {
        return std::holds_alternative<Array>(value) ? std::get<Array>(value).size() : std::get<Object>(value).size();
    }
    const std::string& str() const { return std::get<std::string>(value); }
    double num() const { return std::get<double>(value); }
    bool boolean() const { return std::get<bool>(value); }
};

class JsonReader {
public:
    explicit JsonReader(const std::string& text) : text(text) {}
    // The whole text as one value, or nothing when it is not JSON.
    std::optional<Json> Parse() {
        std::optional<Json> value = Value();
        Space();
        if (!value || at != text.size()) {
            return std::nullopt;
        }
        return value;
    }

private:
    void Space() {
        while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) {
            ++at;
        }
    }
    bool Take(char c) {
        Space();
        if (at < text.size() && text[at] == c) {
            ++at;
            return true;
        }
        return false;
    }
    bool Word(const char* word) {
        const std::string w = word;
        if (text.compare(at, w.size(), w) == 0) {
            at += w.size();
            return true;
        }
        return false;
    }
    std::optional<std::string> String() {
        if (!Take('"')) {
            return std::nullopt;
        }
        std::string out;
        while (at < text.size() && text[at] != '"') {
            char c = text[at++];
            if (static_cast<unsigned char>(c) < 0x20) {
                return std::nullopt;
            }
            if (c == '\\') {
                if (at >= text.size()) {
                    return std::nullopt;
                }
                const char e = text[at++];
                const std::string simple = "\"\\/bfnrt";
                if (e == 'u') {
                    if (at + 4 > text.size()) {
                        return std::nullopt;
                    }
                    out += static_cast<char>(std::stoi(text.substr(at, 4), nullptr, 16));
                    at += 4;
                    continue;
                }
                if (simple.find(e) == std::string::npos) {
                    return std::nullopt;
                }
                c = e == 'n' ? '\n' : e == 't' ? '\t' : e == 'b' ? '\b' : e == 'f' ? '\f' : e == 'r' ? '\r' : e;
            }
            out += c;
        }
        if (at >= text.size()) {
            return std::nullopt;
        }
        ++at;
        return out;
    }
    std::optional<Json> Value() {
        Space();
        if (at >= text.size()) {
            return std::nullopt;
        }
        const char c = text[at];
        if (c == '{') {
            ++at;
            Json::Object object;
            if (Take('}')) {
                return Json{object};
            }
            do {
                std::optional<std::string> key = String();
                if (!key || !Take(':')) {
                    return std::nullopt;
                }
                std::optional<Json> value = Value();
                if (!value) {
                    return std::nullopt;
                }
                object[*key] = *value;
            } while (Take(','));
            return Take('}') ? std::optional<Json>(Json{object}) : std::nullopt;
        }
        if (c == '[') {
            ++at;
            Json::Array array;
            if (Take(']')) {
                return Json{array};
            }
            do {
                std::optional<Json> value = Value();
                if (!value) {
                    return std::nullopt;
                }
                array.push_back(*value);
            } while (Take(','));
            return Take(']') ? std::optional<Json>(Json{array}) : std::nullopt;
        }
        if (c == '"') {
            std::optional<std::string> s = String();
            return s ? std::optional<Json>(Json{*s}) : std::nullopt;
        }
        if (Word("true")) {
            return Json{true};
        }
        if (Word("false")) {
            return Json{false};
        }
        if (Word("null")) {
            return Json{nullptr};
        }
        size_t used = 0;
        try {
            const double number = std::stod(text.substr(at), &used);
            at += used;
            return Json{number};
        } catch (...) {
            return std::nullopt;
        }
    }

    const std::string& text;
    size_t at = 0;
};

// Writes `picture` as a 4:4:4 JPEG with libjpeg, at `quality`, with an ICC profile when
// one is given.
inline void SaveJpeg(SoftwareSurface& picture, const std::string& path, int quality = 100,
                     const std::vector<uint8_t>& icc = {}) {
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(picture.Width());
    info.image_height = static_cast<JDIMENSION>(picture.Height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    for (int c = 0; c < info.num_components; ++c) { // no chroma subsampling
        info.comp_info[c].h_samp_factor = 1;
        info.comp_info[c].v_samp_factor = 1;
    }
    jpeg_start_compress(&info, TRUE);
    if (!icc.empty()) {
        jpeg_write_icc_profile(&info, icc.data(), static_cast<unsigned int>(icc.size()));
    }
    std::vector<uint8_t> row(static_cast<size_t>(picture.Width()) * 3);
    for (int32_t y = 0; y < picture.Height(); ++y) {
        for (int32_t x = 0; x < picture.Width(); ++x) {
            const uint32_t p = picture.Pixel(x, y);
            row[static_cast<size_t>(x) * 3] = static_cast<uint8_t>(p >> 16);
            row[static_cast<size_t>(x) * 3 + 1] = static_cast<uint8_t>(p >> 8);
            row[static_cast<size_t>(x) * 3 + 2] = static_cast<uint8_t>(p);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

// A JPEG's bytes with an EXIF block (APP1) saying `orientation` (1 to 8) put right after
// its start marker, as cameras and phones write it.
inline std::string WithExifOrientation(const std::string& jpeg, int orientation) {
    const std::string exif = std::string("Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 24) +
                             static_cast<char>(orientation) + std::string(7, '\0');
    const size_t length = exif.size() + 2;
    const std::string app1 =
        std::string("\xFF\xE1", 2) + static_cast<char>(length >> 8) + static_cast<char>(length & 0xFF) + exif;
    return jpeg.substr(0, 2) + app1 + jpeg.substr(2);
}

} // namespace wqtrans::tooltest
