// Renders every case of data/cases.txt through the renderer library given on the command line
// and compares the result with the case's expected HTML, byte for byte. Built for Linux
// (libpanelcast.so) and for Windows (panelcast.dll under Wine).
//
//   panelcast_caserunner LIBRARY CASES DATA_DIR
#include <cstdio>
#include <fstream>
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

static std::string readFile(const std::string& path, bool& ok)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    ok = bool(in);
    return buffer.str();
}

int main(int argc, char** argv)
{
    const Go go = argc == 4 ? loadGo(argv[1]) : nullptr;
    std::ifstream cases(argc == 4 ? argv[2] : "");
    if (!go || !cases) {
        std::fprintf(stderr, "usage: panelcast_caserunner LIBRARY CASES DATA_DIR (library with go, readable cases)\n");
        return 2;
    }
    const std::string data = argv[3] + std::string("/");
    int count = 0, failed = 0;
    std::string line;
    while (std::getline(cases, line)) {
        // "name [input] id width height"
        std::istringstream in(line.substr(0, line.find('#')));
        std::string fields[5];
        int n = 0;
        while (n < 5 && in >> fields[n])
            ++n;
        if (n == 0)
            continue;
        const int first = n == 5 ? 2 : 1;
        bool okInput = n >= 4, okExpected = false;
        const std::string xml = readFile(data + fields[n == 5 ? 1 : 0] + ".xml", okInput);
        const std::string expected = readFile(data + fields[0] + ".html", okExpected);
        if (n < 4 || !okInput) {
            std::fprintf(stderr, "bad case or missing input: %s\n", line.c_str());
            return 2;
        }
        const std::string id = fields[first] == "-" ? std::string() : fields[first];
        const std::string html = go(xml.c_str(), id.c_str(), std::stoi(fields[first + 1]), std::stoi(fields[first + 2]));
        if (html != expected) {
            std::fprintf(stderr, "%s: got\n%s\n", fields[0].c_str(), html.c_str());
            ++failed;
        }
        ++count;
    }
    std::printf("%d of %d cases as expected\n", count - failed, count);
    return count > 0 && failed == 0 ? 0 : 1;
}
