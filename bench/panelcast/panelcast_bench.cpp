// go on a 5 000-item layout dump against tinyxml2 parsing the same text alone, in one run.
// Prints the median of each and their ratio (target: at most 2.0).
#include "panelcast.h"

#include <tinyxml2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int kItems = 5000;
const int kRounds = 31;

// A dump shaped like an application's: nested groups of items with the usual attributes,
// about one in ten hidden.
std::string makeDump()
{
    static const char* const kClasses[] = {"QQuickItem", "QQuickRectangle", "QQuickText", "QQuickImage",
                                           "QQuickMouseArea", "QQuickLoader", "QQuickRow", "QQuickListView"};
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<root createTime=\"2024-06-01 12:45:09.311\" "
                      "sopId=\"com.orvana.demo.list\" uiAppId=\"list\">\n<QQuickWindowQmlImpl width=\"720\" "
                      "height=\"1280\">\n<QQuickRootItem width=\"720\" height=\"1280\">\n";
    std::vector<const char*> open;
    char line[1024];
    for (int i = 0; i < kItems; ++i) {
        const char* name = kClasses[i % 8];
        const int x = (i * 37) % 600, y = (i * 53) % 1200, w = 20 + i % 100, h = 10 + i % 60;
        std::snprintf(line, sizeof line,
                      "<%s objectName=\"item%d\" x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" "
                      "centerXToGlobal=\"%.2f\" centerYToGlobal=\"%.2f\" centerXToItem=\"%.2f\" centerYToItem=\"%.2f\" "
                      "z=\"%d\" visible=\"%d\" enabled=\"1\" focus=\"0\" opacity=\"%s\" clip=\"%d\" scale=\"1\" "
                      "rotation=\"%d\" hasContents=\"%d\" tempID=\"temp%d\" text=\"Row %d\"",
                      name, i, x, y, w, h, x + w / 2.0 + 0.25, y + h / 2.0 + 0.5, x + w / 2.0, y + h / 2.0, i % 3,
                      i % 10 != 9, i % 17 ? "1" : "0.5", i % 7 == 0, (i % 4) * 90, i % 3 != 0, i, i);
        xml += std::string(open.size(), ' ') + line;
        // Groups of about five children, at most eight levels deep.
        if (open.size() < 8 && i % 5 == 0) {
            xml += ">\n";
            open.push_back(name);
        } else {
            xml += "/>\n";
        }
        if (i % 6 == 5 && open.size() > 2) {
            xml += std::string("</") + open.back() + ">\n";
            open.pop_back();
        }
    }
    for (; !open.empty(); open.pop_back())
        xml += std::string("</") + open.back() + ">\n";
    return xml + "</QQuickRootItem>\n</QQuickWindowQmlImpl>\n</root>\n";
}

template <typename F>
double seconds(F&& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main()
{
    const std::string xml = makeDump();
    std::size_t boxes = 0;
    std::vector<double> parse, render;
    for (int round = 0; round < kRounds; ++round) {  // interleaved, so both see the same machine load
        parse.push_back(seconds([&] {
            tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
            if (document.Parse(xml.c_str()) != tinyxml2::XML_SUCCESS)
                std::fprintf(stderr, "parse failed\n");
        }));
        render.push_back(seconds([&] { go(xml.c_str(), "temp7", 720, 1280); }));
    }
    for (const char* p = go(xml.c_str(), "temp7", 720, 1280); (p = std::strstr(p, "<div ")); ++p)
        ++boxes;
    const double parseTime = median(parse), renderTime = median(render);
    std::printf("dump: %d items, %zu bytes; %zu boxes drawn\n", kItems, xml.size(), boxes);
    std::printf("tinyxml2 parse alone: %.3f ms (median of %d)\n", parseTime * 1e3, kRounds);
    std::printf("go:                   %.3f ms (median of %d)\n", renderTime * 1e3, kRounds);
    std::printf("ratio go / parse: %.2f (target <= 2.0)\n", renderTime / parseTime);
    return 0;
}
