// Kdenlive's descriptions of the plugins against what MLT itself says of each plugin
// (`melt -query transition=frei0r.wqtrans_NAME`): the same parameters, each once; lists
// whose values and captions are the plugin's own choices or numbers; names and
// defaults as MLT reports them; progress running 0 to 1 over the composition.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifndef WQTRANS_FREI0R_DIR // a build without the plugins or the tool
#define WQTRANS_FREI0R_DIR ""
#define WQTRANS_KDENLIVE_DIR ""
#define WQTRANS_NO_PLUGINS
#endif

namespace {

struct MltParam {
    std::string title, description, type;
    double minimum = 0, maximum = 0, defaultValue = 0;
};

// The parameters of `melt -query`'s YAML, by identifier.
std::map<std::string, MltParam> QueryMelt(const std::string& service) {
    const std::string command =
        "MLT_FREI0R_PLUGIN_PATH=" WQTRANS_FREI0R_DIR " melt -query transition=" + service + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    std::string yaml;
    char buffer[4096];
    while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        yaml += buffer;
    }
    if (pipe != nullptr) {
        pclose(pipe);
    }
    std::map<std::string, MltParam> params;
    std::istringstream lines(yaml.substr(std::min(yaml.size(), yaml.find("parameters:"))));
    std::string line, id;
    const std::regex field(R"(^\s+-?\s*(\w+): (.*)$)");
    while (std::getline(lines, line)) {
        std::smatch m;
        if (!std::regex_match(line, m, field)) {
            continue;
        }
        std::string value = m[2];
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')) {
            value = value.substr(1, value.size() - 2);
            for (size_t at = value.find("''"); at != std::string::npos; at = value.find("''", at + 1)) {
                value.erase(at, 1);
            }
        }
        if (m[1] == "identifier") {
            id = value;
        } else if (m[1] == "title") {
            params[id].title = value;
        } else if (m[1] == "description") {
            params[id].description = value;
        } else if (m[1] == "type") {
            params[id].type = value;
        } else if (m[1] == "minimum") {
            params[id].minimum = std::stod(value);
        } else if (m[1] == "maximum") {
            params[id].maximum = std::stod(value);
        } else if (m[1] == "default") {
            // A string parameter's default is its text.
            params[id].defaultValue = std::strtod(value.c_str(), nullptr);
        }
    }
    return params;
}

struct Description {
    std::string type, defaultValue, value, min, max, paramlist, display, name;
};

std::string Attribute(const std::string& element, const std::string& name) {
    std::smatch m;
    return std::regex_search(element, m, std::regex("\\s" + name + "=\"([^\"]*)\"")) ? m[1].str() : "";
}

std::string Child(const std::string& element, const std::string& tag) {
    std::smatch m;
    return std::regex_search(element, m, std::regex("<" + tag + ">([^<]*)</" + tag + ">")) ? m[1].str() : "";
}

std::string Unescaped(std::string text) {
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"&quot;", "\""}, {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}}) {
        for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + 1)) {
            text.replace(at, from.size(), to);
        }
    }
    return text;
}

// The <parameter> elements of a description, by name; `count` counts repeats.
std::map<std::string, Description> ReadDescription(const std::string& text, std::map<std::string, int>& count) {
    std::map<std::string, Description> params;
    const std::regex parameter(R"(<parameter\b[^>]*?(/>|>[\s\S]*?</parameter>))");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), parameter); it != std::sregex_iterator(); ++it) {
        const std::string element = it->str();
        const std::string open = element.substr(0, element.find('>'));
        Description d{Attribute(open, "type"),
                      Attribute(open, "default"),
                      Attribute(open, "value"),
                      Attribute(open, "min"),
                      Attribute(open, "max"),
                      Attribute(open, "paramlist"),
                      Unescaped(Child(element, "paramlistdisplay")),
                      Unescaped(Child(element, "name"))};
        ++count[Attribute(open, "name")];
        params[Attribute(open, "name")] = d;
    }
    return params;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) {
        parts.push_back(part);
    }
    return parts;
}

// Kdenlive splits captions at commas: the descriptions write ", " as ": ".
std::string KdenliveCaption(std::string text) {
    for (size_t at = text.find(", "); at != std::string::npos; at = text.find(", ", at)) {
        text.replace(at, 2, ": ");
    }
    return text;
}

void CheckList(const std::string& service, const std::string& id, const MltParam& mlt, const Description& ours) {
    SCOPED_TRACE(service + " parameter " + id + " \"" + mlt.title + "\"");
    const std::vector<std::string> values = Split(ours.paramlist, ';');
    const std::vector<std::string> captions = Split(ours.display, ',');
    ASSERT_EQ(values.size(), captions.size());
    ASSERT_FALSE(values.empty());
    EXPECT_NEAR(std::stod(ours.defaultValue), mlt.defaultValue, 1e-6);
    std::smatch m;
    if (std::regex_search(
            mlt.description, m,
            std::regex(R"(sets (-?\d+) to (-?\d+) \(value = -?\d+ \+ round\(x \* (\d+)\)\); default (-?\d+))"))) {
        // A number: each entry's caption is the number its value sets.
        const long low = std::stol(m[1]), high = std::stol(m[2]), span = std::stol(m[3]), initial = std::stol(m[4]);
        std::set<long> offered;
        for (size_t k = 0; k < values.size(); ++k) {
            const double x = std::stod(values[k]);
            EXPECT_GE(x, mlt.minimum);
            EXPECT_LE(x, mlt.maximum);
            EXPECT_EQ(low + std::lround(x * static_cast<double>(span)), std::stol(captions[k])) << values[k];
            offered.insert(std::stol(captions[k]));
        }
        EXPECT_TRUE(offered.count(low) && offered.count(high) && offered.count(initial));
        if (high - low < 100) {
            EXPECT_EQ(offered.size(), static_cast<size_t>(high - low + 1));
        }
        return;
    }
    // A choice: MLT's description lists `value "caption"` pairs.
    std::vector<std::pair<double, std::string>> choices;
    const std::regex pair(R"((-?[\d.]+) "([^"]*)\")");
    for (auto it = std::sregex_iterator(mlt.description.begin(), mlt.description.end(), pair);
         it != std::sregex_iterator(); ++it) {
        choices.emplace_back(std::stod((*it)[1]), KdenliveCaption((*it)[2]));
    }
    ASSERT_EQ(choices.size(), values.size()) << mlt.description;
    for (size_t k = 0; k < values.size(); ++k) {
        EXPECT_NEAR(std::stod(values[k]), choices[k].first, 1e-4);
        EXPECT_EQ(captions[k], choices[k].second);
    }
}

TEST(KdenliveDescriptions, EveryDescriptionHasThePluginsParametersInKdenlivesKinds) {
#if defined(WQTRANS_SANITIZE_BUILD) || defined(WQTRANS_NO_PLUGINS)
    GTEST_SKIP() << "melt cannot load plugins built with the sanitizers, or the plugins are not built";
#endif
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(WQTRANS_KDENLIVE_DIR)) {
        if (entry.path().extension() == ".xml") {
            files.push_back(entry.path());
        }
    }
    ASSERT_EQ(files.size(), 21u);
    int seeded = 0;
    for (const auto& file : files) {
        const std::string service = "frei0r." + file.stem().string();
        SCOPED_TRACE(service);
        std::ifstream in(file);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(text.find("<transition tag=\"" + service + "\" id=\"" + service + "\">"), std::string::npos);
        EXPECT_EQ(text.find("Wqtrans"), std::string::npos);
        std::map<std::string, int> count;
        const std::map<std::string, Description> ours = ReadDescription(text, count);
        const std::map<std::string, MltParam> mlt = QueryMelt(service);
        ASSERT_FALSE(mlt.empty()) << "melt does not know " << service;
        ASSERT_EQ(ours.size(), mlt.size());
        for (const auto& [id, param] : mlt) {
            ASSERT_EQ(count[id], 1) << "parameter " << id;
            const Description& d = ours.at(id);
            if (param.title == "progress") {
                EXPECT_EQ(d.type, "switch");
                EXPECT_EQ(d.defaultValue, "0=0;-1=1");
                EXPECT_EQ(d.min, "0=0;-1=1");
                EXPECT_EQ(d.max, "0=1;-1=0");
                EXPECT_EQ(d.name, "Play backwards");
            } else if (param.title == "ease") {
                // The named curves, which the plugin takes as its text.
                EXPECT_EQ(param.type, "string");
                EXPECT_EQ(d.type, "list");
                EXPECT_EQ(d.name, "Motion curve");
                EXPECT_EQ(d.defaultValue, "linear");
                EXPECT_EQ(d.paramlist.substr(0, d.paramlist.find(';')), "linear");
                EXPECT_NE(d.paramlist.find(";ease-in-out;"), std::string::npos) << d.paramlist;
                EXPECT_EQ(std::count(d.paramlist.begin(), d.paramlist.end(), ';'),
                          std::count(d.display.begin(), d.display.end(), ','));
            } else if (param.title == "reverse") {
                EXPECT_EQ(param.type, "boolean");
                EXPECT_EQ(d.type, "bool");
                EXPECT_EQ(d.name, "Reverse motion");
            } else if (param.title == "frame rate") {
                // One second, which MLT reads as the project's frames a second.
                EXPECT_EQ(d.type, "fixed");
                EXPECT_EQ(d.value, "00:00:01.000");
            } else if (param.title == "duration" || param.title == "seed") {
                const std::string value = d.type == "fixed" ? d.value : d.defaultValue;
                EXPECT_TRUE(d.type == "fixed" || d.type == "constant") << d.type;
                EXPECT_NEAR(std::stod(value), param.defaultValue, 1e-9);
                seeded += param.title == "seed" && d.type == "constant";
            } else if (param.type == "boolean") {
                EXPECT_EQ(d.type, "bool");
                EXPECT_EQ(d.name, param.title);
                EXPECT_NEAR(std::stod(d.defaultValue), param.defaultValue, 1e-9);
            } else {
                EXPECT_EQ(d.type, "list") << id;
                EXPECT_EQ(d.name, param.title);
                CheckList(service, id, param, d);
            }
        }
    }
    // Mosaic's cells come in random order: its seed is on the panel.
    EXPECT_GE(seeded, 1);
}

} // namespace
