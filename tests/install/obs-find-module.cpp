// Asks libobs where it finds a module, as OBS Studio starts: libobs's own search path,
// and the folders the OBS Studio program adds (OBS_PLUGINS_PATH with
// OBS_PLUGINS_DATA_PATH, and the user's ~/.config/obs-studio/plugins). Opens the
// module found and prints its file, then each source type it adds as "id<TAB>name".
//   obs-find-module NAME
// Exit status 1 when libobs finds no module NAME or cannot open it. libobs needs an X
// display (DISPLAY; tests/obs/xvfb.sh gives one). scripts/check-install builds it with
// `pkg-config libobs x11` and runs it against the installed files.
#include <X11/Xlib.h>
#include <obs-module.h>
#include <obs-nix-platform.h>
#include <obs.h>
#include <util/base.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Found {
    const char* name;
    std::string binary, data;
};

void OnModule(void* param, const obs_module_info2* info) {
    auto* found = static_cast<Found*>(param);
    if (found->binary.empty() && std::strcmp(info->name, found->name) == 0) {
        found->binary = info->bin_path;
        found->data = info->data_path != nullptr ? info->data_path : "";
    }
}

// libobs's log to stderr, leaving stdout to the answer.
void Log(int /*level*/, const char* format, va_list args, void* /*param*/) {
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
}

// The folders OBS Studio 29 adds to libobs's own before it loads the modules.
void AddProgramPaths() {
    const char* bin = std::getenv("OBS_PLUGINS_PATH");
    const char* data = std::getenv("OBS_PLUGINS_DATA_PATH");
    if (bin != nullptr && data != nullptr && *bin != '\0' && *data != '\0') {
        obs_add_module_path(bin, (std::string(data) + "/%module%").c_str());
    }
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if ((config != nullptr && *config != '\0') || home != nullptr) {
        const std::string base =
            (config != nullptr && *config != '\0' ? std::string(config) : std::string(home) + "/.config") +
            "/obs-studio/plugins/%module%";
        obs_add_module_path((base + "/bin/64bit").c_str(), (base + "/data").c_str());
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: obs-find-module NAME\n");
        return 2;
    }
    base_set_log_handler(Log, nullptr);
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "obs-find-module: no X display (DISPLAY)\n");
        return 1;
    }
    obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
    obs_set_nix_platform_display(display);
    if (!obs_startup("en-US", nullptr, nullptr)) {
        std::fprintf(stderr, "obs-find-module: obs_startup failed\n");
        return 1;
    }
    AddProgramPaths();
    Found found{argv[1], "", ""};
    obs_find_modules2(OnModule, &found);
    int status = 1;
    obs_module_t* module = nullptr;
    if (found.binary.empty()) {
        std::fprintf(stderr, "obs-find-module: libobs finds no module %s on its search path\n", argv[1]);
    } else if (obs_open_module(&module, found.binary.c_str(), found.data.c_str()) != MODULE_SUCCESS ||
               !obs_init_module(module)) {
        std::fprintf(stderr, "obs-find-module: libobs could not open %s\n", found.binary.c_str());
    } else {
        std::printf("%s\n", found.binary.c_str());
        const char* id = nullptr;
        for (size_t i = 0; obs_enum_transition_types(i, &id); ++i) {
            std::printf("%s\t%s\n", id, obs_source_get_display_name(id));
        }
        status = 0;
    }
    obs_shutdown();
    XCloseDisplay(display);
    return status;
}
