// wqtrans_kdenlive_descriptions PLUGIN_DIR TRANSITIONS_DIR OUT_DIR: writes Kdenlive's
// description of each frei0r plugin in PLUGIN_DIR (wqtrans_door.so becomes
// OUT_DIR/wqtrans_door.xml, the composition "frei0r.wqtrans_door").
//
// Kdenlive (22.12) builds a composition's panel from a description in its
// share/kdenlive/transitions folders when there is one, and otherwise from MLT's
// metadata, where every frei0r parameter is a bare 0-to-1 number named by its index.
// The description is made from what the plugin itself says (its parameters, in its
// order, so that a parameter added to the plugins shows up here) and from the
// transition's panel as the automation API reads it (kinds, captions, ranges,
// defaults), in the frei0r values the plugins take: choice k of n is k / (n - 1), a
// number from low to high is (value - low) / (high - low), a check box is 0 or 1.
//
//  - progress runs 0 to 1 over the composition ("0=0;-1=1"), or 1 to 0 with the
//    "Play backwards" switch (the run played backwards, from the second clip to the
//    first), as Kdenlive's own wipes offer;
//  - "Motion curve" lists the named curves of the plugin's "ease", and "Reverse motion"
//    is its "reverse" (the mirror run: from the first clip to the second, with the
//    motion running backwards);
//  - duration is shown in seconds to the millisecond, seed as a whole number, each only
//    where the transition's pictures depend on it (found by rendering); elsewhere it
//    is fixed at its default and hidden;
//  - the frame rate is fixed at "00:00:01.000", which MLT reads as the project's rate;
//  - the name is the transition's, the description the first line of its header.
// Exits 1 with a message when a plugin cannot be read or a file cannot be written.
#include <dirent.h>
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <frei0r.h>
}

#include "host/Motion.h"
#include "host/PanelLayout.h"
#include "host/RunTraits.h"
#include "module/Exports.h"

namespace {

using wqtrans::PanelField;

// Lists longer than this show a spread of values rather than every one.
constexpr int32_t kWholeList = 100;

struct PluginParam {
    std::string name;
    int type = F0R_PARAM_DOUBLE;
    std::string explanation;
};

struct Plugin {
    std::string file;  // wqtrans_door
    std::string title; // Door
    std::vector<PluginParam> params;
};

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "wqtrans_kdenlive_descriptions: %s\n", message.c_str());
    std::exit(1);
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// Numbers as MLT and Kdenlive read them back: the shortest exact form ("0.5", "1").
std::string Number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

Plugin ReadPlugin(const std::string& dir, const std::string& file) {
    const std::string path = dir + "/" + file + ".so";
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        Fail("cannot load " + path + ": " + dlerror());
    }
    auto init = reinterpret_cast<int (*)()>(dlsym(handle, "f0r_init"));
    auto pluginInfo = reinterpret_cast<void (*)(f0r_plugin_info_t*)>(dlsym(handle, "f0r_get_plugin_info"));
    auto paramInfo = reinterpret_cast<void (*)(f0r_param_info_t*, int)>(dlsym(handle, "f0r_get_param_info"));
    if (init == nullptr || pluginInfo == nullptr || paramInfo == nullptr || init() != 1) {
        Fail(path + " is not a frei0r plugin");
    }
    f0r_plugin_info_t info{};
    pluginInfo(&info);
    Plugin plugin;
    plugin.file = file;
    plugin.title = info.name != nullptr ? info.name : "";
    const std::string prefix = "wqtrans ";
    if (plugin.title.rfind(prefix, 0) != 0) {
        Fail(path + " names itself \"" + plugin.title + "\", not \"wqtrans NAME\"");
    }
    plugin.title = plugin.title.substr(prefix.size());
    for (int i = 0; i < info.num_params; ++i) {
        f0r_param_info_t param{};
        paramInfo(&param, i);
        plugin.params.push_back({param.name != nullptr ? param.name : "", param.type,
                                 param.explanation != nullptr ? param.explanation : ""});
    }
    // The plugin stays loaded: its strings were copied, and unloading a library that
    // holds C++ statics at exit gains nothing here.
    return plugin;
}

uint32_t IdOf(const std::string& title) {
    for (int32_t i = 0; i < GetTransCount(); ++i) {
        char16_t buffer[64] = {};
        GetTransName(i, buffer, 64);
        std::string name;
        for (const char16_t* c = buffer; *c != 0; ++c) {
            name += static_cast<char>(*c < 0x80 ? *c : '?');
        }
        if (name == title) {
            return GetTransID(i);
        }
    }
    Fail("no transition is named \"" + title + "\"");
}

// "Opens the new frame like a pair of doors, ..." from "// Door: opens the new frame...".
std::string HeaderSentence(const std::string& dir, const std::string& title) {
    DIR* folder = opendir(dir.c_str());
    if (folder == nullptr) {
        Fail("cannot read " + dir);
    }
    std::string sentence;
    const std::string start = "// " + title + ": ";
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.size() < 2 || name.substr(name.size() - 2) != ".h") {
            continue;
        }
        std::ifstream in(dir + "/" + name);
        std::string line;
        std::getline(in, line);
        if (line.rfind(start, 0) == 0) {
            sentence = line.substr(start.size());
        }
    }
    closedir(folder);
    if (sentence.empty()) {
        Fail("no header in " + dir + " starts with \"" + start + "\"");
    }
    sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
    return sentence;
}

// Kdenlive splits a list's captions at commas.
std::string Caption(std::string text) {
    for (size_t at = text.find(", "); at != std::string::npos; at = text.find(", ", at)) {
        text.replace(at, 2, ": ");
    }
    std::replace(text.begin(), text.end(), ',', ' ');
    return text;
}

// The whole numbers a list offers for a number field: all of them in short ranges, a
// spread from low to high (with the default) in long ones.
std::vector<int32_t> Offered(const PanelField& field) {
    std::vector<int32_t> values;
    if (field.high - field.low < kWholeList) {
        for (int32_t v = field.low; v <= field.high; ++v) {
            values.push_back(v);
        }
        return values;
    }
    for (int64_t step = 1, v = field.low; v <= field.high;) {
        values.push_back(static_cast<int32_t>(v));
        // 1 at a time up to 50, then about ten values a decade.
        if (v - field.low >= 50) {
            step = std::max<int64_t>(1, static_cast<int64_t>(std::pow(10, std::floor(std::log10(v)))) / 2);
        }
        v += step;
        v -= v % step; // round values: 55, 60, ... 150, 200, ...
    }
    if (values.back() != field.high) {
        values.push_back(field.high);
    }
    if (std::find(values.begin(), values.end(), field.initial) == values.end()) {
        values.insert(std::upper_bound(values.begin(), values.end(), field.initial), field.initial);
    }
    return values;
}

// One <parameter> for a panel field, in the plugin's frei0r values.
std::string FieldParameter(const std::string& index, const PanelField& field, const std::string& comment) {
    std::ostringstream out;
    const std::string name = "        <name>" + Escaped(field.name) + "</name>\n";
    const std::string note = "        <comment>" + Escaped(comment) + "</comment>\n";
    if (field.kind == PanelField::Kind::Switch) {
        out << "    <parameter type=\"bool\" name=\"" << index << "\" default=\"" << field.initial << "\">\n"
            << name << note << "    </parameter>\n";
        return out.str();
    }
    std::vector<std::string> values, captions;
    const double span = std::max(field.high - field.low, 1);
    std::string initial;
    if (field.kind == PanelField::Kind::Choice) {
        for (size_t k = 0; k < field.choices.size(); ++k) {
            values.push_back(Number(static_cast<double>(k) / span));
            captions.push_back(Caption(field.choices[k]));
        }
        initial = Number((field.initial - field.low) / span);
    } else {
        for (int32_t v : Offered(field)) {
            values.push_back(Number((v - field.low) / span));
            captions.push_back(std::to_string(v));
        }
        initial = Number((field.initial - field.low) / span);
    }
    std::string list, display;
    for (size_t k = 0; k < values.size(); ++k) {
        list += (k == 0 ? "" : ";") + values[k];
        display += (k == 0 ? "" : ",") + captions[k];
    }
    out << "    <parameter type=\"list\" name=\"" << index << "\" default=\"" << initial << "\" paramlist=\"" << list
        << "\">\n"
        << "        <paramlistdisplay>" << Escaped(display) << "</paramlistdisplay>\n"
        << name << note << "    </parameter>\n";
    return out.str();
}

std::string Description(const Plugin& plugin, const std::string& transitionsDir) {
    const uint32_t id = IdOf(plugin.title);
    const std::vector<PanelField> fields = wqtrans::ReadPanelLayout(id);
    const std::string service = "frei0r." + plugin.file;
    std::ostringstream out;
    out << "<?xml version=\"1.0\"?>\n<!DOCTYPE kpartgui>\n"
        << "<!-- Made by the wqtrans build from the plugin " << plugin.file << ".so and its panel. -->\n"
        << "<transition tag=\"" << service << "\" id=\"" << service << "\">\n"
        << "    <name>" << Escaped(plugin.title) << "</name>\n"
        << "    <description>" << Escaped(HeaderSentence(transitionsDir, plugin.title))
        << " From the Standard transitions (wqtrans).</description>\n"
        << "    <author>wqtrans</author>\n";
    for (size_t i = 0; i < plugin.params.size(); ++i) {
        const PluginParam& param = plugin.params[i];
        // MLT names a frei0r plugin's parameters by their index.
        const std::string index = std::to_string(i);
        const auto field =
            std::find_if(fields.begin(), fields.end(), [&](const PanelField& f) { return f.name == param.name; });
        if (param.name == "progress") {
            out << "    <parameter type=\"switch\" name=\"" << index
                << "\" default=\"0=0;-1=1\" min=\"0=0;-1=1\" max=\"0=1;-1=0\">\n"
                << "        <name>Play backwards</name>\n"
                << "        <comment>The transition runs over the composition's length; played backwards, it runs "
                   "back from the second clip to the first.</comment>\n"
                << "    </parameter>\n";
        } else if (param.name == "ease" && param.type == F0R_PARAM_STRING) {
            std::string list, display;
            for (const std::string& curve : wqtrans::MotionCurve::Names()) {
                std::string caption = curve;
                std::replace(caption.begin(), caption.end(), '-', ' ');
                caption[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(caption[0])));
                list += (list.empty() ? "" : ";") + curve;
                display += (display.empty() ? "" : ",") + caption;
            }
            out << "    <parameter type=\"list\" name=\"" << index << "\" default=\"linear\" paramlist=\"" << list
                << "\">\n"
                << "        <paramlistdisplay>" << Escaped(display) << "</paramlistdisplay>\n"
                << "        <name>Motion curve</name>\n"
                << "        <comment>How the motion speeds up and slows down over the composition: linear keeps "
                   "one speed; ease in starts slowly, ease out ends slowly.</comment>\n"
                << "    </parameter>\n";
        } else if (param.name == "reverse" && param.type == F0R_PARAM_BOOL) {
            out << "    <parameter type=\"bool\" name=\"" << index << "\" default=\"0\">\n"
                << "        <name>Reverse motion</name>\n"
                << "        <comment>Still from the first clip to the second, but the motion runs backwards: Door "
                   "closes, Zoom shrinks.</comment>\n"
                << "    </parameter>\n";
        } else if (param.name == "duration") {
            if (!wqtrans::DependsOnDuration(id, fields)) {
                out << "    <parameter type=\"fixed\" name=\"" << index << "\" value=\"1\"/>\n";
                continue;
            }
            // In seconds, as the plugin takes them, to the millisecond. Kdenlive applies
            // a "factor" to values typed but not to defaults, and MLT keeps six
            // significant digits of a number it saves: at most 999.999 s.
            out << "    <parameter type=\"constant\" name=\"" << index
                << "\" default=\"1\" min=\"0.001\" max=\"999.999\" decimals=\"3\" suffix=\" s\">\n"
                << "        <name>Run length</name>\n"
                << "        <comment>The length the transition times its steps by: the composition's own length "
                   "gives the run the wqtrans tool renders.</comment>\n"
                << "    </parameter>\n";
        } else if (param.name == "seed") {
            if (!wqtrans::DependsOnSeed(id, fields)) {
                out << "    <parameter type=\"fixed\" name=\"" << index << "\" value=\"1\"/>\n";
                continue;
            }
            out << "    <parameter type=\"constant\" name=\"" << index
                << "\" default=\"1\" min=\"0\" max=\"999999\" decimals=\"0\">\n"
                << "        <name>Random seed</name>\n"
                << "        <comment>Another seed gives another random order.</comment>\n"
                << "    </parameter>\n";
        } else if (param.name == "frame rate") {
            // MLT reads a time as frames at the project's rate: one second is the rate.
            out << "    <parameter type=\"fixed\" name=\"" << index << "\" value=\"00:00:01.000\"/>\n";
        } else if (field != fields.end()) {
            out << FieldParameter(index, *field, param.explanation);
        } else if (param.type == F0R_PARAM_BOOL) {
            out << "    <parameter type=\"bool\" name=\"" << index << "\" default=\"0\">\n"
                << "        <name>" << Escaped(param.name) << "</name>\n"
                << "        <comment>" << Escaped(param.explanation) << "</comment>\n"
                << "    </parameter>\n";
        } else {
            // A parameter this build knows nothing more of: the plugin's own 0 to 1.
            out << "    <parameter type=\"constant\" name=\"" << index
                << "\" default=\"0\" min=\"0\" max=\"1\" decimals=\"3\">\n"
                << "        <name>" << Escaped(param.name) << "</name>\n"
                << "        <comment>" << Escaped(param.explanation) << "</comment>\n"
                << "    </parameter>\n";
        }
    }
    out << "</transition>\n";
    return out.str();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: wqtrans_kdenlive_descriptions PLUGIN_DIR TRANSITIONS_DIR OUT_DIR\n");
        return 2;
    }
    const std::string pluginDir = argv[1], transitionsDir = argv[2], outDir = argv[3];
    std::vector<std::string> files;
    if (DIR* folder = opendir(pluginDir.c_str())) {
        while (const dirent* entry = readdir(folder)) {
            const std::string name = entry->d_name;
            if (name.rfind("wqtrans_", 0) == 0 && name.size() > 3 && name.substr(name.size() - 3) == ".so") {
                files.push_back(name.substr(0, name.size() - 3));
            }
        }
        closedir(folder);
    }
    if (files.size() != static_cast<size_t>(GetTransCount())) {
        Fail(std::to_string(files.size()) + " plugins in " + pluginDir + ", not " + std::to_string(GetTransCount()));
    }
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
        const std::string text = Description(ReadPlugin(pluginDir, file), transitionsDir);
        const std::string path = outDir + "/" + file + ".xml";
        const std::string temp = path + ".tmp";
        std::ofstream out(temp, std::ios::binary);
        out << text;
        out.close();
        if (!out || std::rename(temp.c_str(), path.c_str()) != 0) {
            std::remove(temp.c_str());
            Fail("cannot write " + path);
        }
    }
    return 0;
}
