// Fuzz entry for the layout renderer: any text must give a well-formed fragment, never a crash.
#include "balanced.h"
#include "panelcast.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first two bytes pick the screen size, so the arithmetic sees odd sizes too.
    int w = 720, h = 1280;
    if (size >= 2) {
        w = static_cast<std::int8_t>(data[0]) * 16;
        h = static_cast<std::int8_t>(data[1]) * 16;
    }
    const std::string xml(reinterpret_cast<const char*>(data), size);
    if (!balanced(go(xml.c_str(), "temp7", w, h)))
        std::abort();
    // Without a selection nothing is red (the scale text cannot hold a raw quote).
    if (std::strstr(go(xml.c_str(), "", w, h), "background:#F00;\">"))
        std::abort();
    return 0;
}
