// Renders every case of a case list through the renderer library given on the command line
// and writes one HTML file per case. Built for Linux (libpanelcast.so) and for Windows
// (panelcast.dll under Wine), so that both libraries' outputs can be compared byte for byte.
//
//   panelcast_caserunner LIBRARY CASES DATA_DIR OUT_DIR
//
// CASES: one case a line, "name input id width height" ("-" for an empty id; "#" starts a
// comment); DATA_DIR/input.xml is the input, OUT_DIR/name.html the output.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

using Go = const char* (*)(const char*, const char*, int, int);

static Go loadGo(const char* path)
{
#if defined(_WIN32)
    HMODULE library = LoadLibraryA(path);
    return library ? reinterpret_cast<Go>(reinterpret_cast<void*>(GetProcAddress(library, "go"))) : nullptr;
#else
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    return library ? reinterpret_cast<Go>(dlsym(library, "go")) : nullptr;
#endif
}

static bool readFile(const std::string& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return bool(in);
}

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s LIBRARY CASES DATA_DIR OUT_DIR\n", argv[0]);
        return 2;
    }
    const Go go = loadGo(argv[1]);
    if (!go) {
        std::fprintf(stderr, "cannot load go from %s\n", argv[1]);
        return 1;
    }
    std::ifstream cases(argv[2]);
    if (!cases) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    int count = 0;
    std::string line;
    while (std::getline(cases, line)) {
        std::istringstream fields(line.substr(0, line.find('#')));
        std::string name, input, id;
        int width = 0, height = 0;
        if (!(fields >> name))
            continue;
        if (!(fields >> input >> id >> width >> height)) {
            std::fprintf(stderr, "bad case line: %s\n", line.c_str());
            return 1;
        }
        std::string xml;
        if (!readFile(std::string(argv[3]) + "/" + input + ".xml", xml)) {
            std::fprintf(stderr, "cannot read input of %s\n", name.c_str());
            return 1;
        }
        const char* html = go(xml.c_str(), id == "-" ? "" : id.c_str(), width, height);
        std::ofstream out(std::string(argv[4]) + "/" + name + ".html", std::ios::binary);
        out << html;
        if (!out.flush()) {
            std::fprintf(stderr, "cannot write output of %s\n", name.c_str());
            return 1;
        }
        ++count;
    }
    std::printf("%d cases\n", count);
    return count > 0 ? 0 : 1;
}
