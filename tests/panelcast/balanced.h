#pragma once

#include <cstring>

// Every "<div " of a rendered fragment has its "</div>", and nothing closes before it opens.
inline bool balanced(const char* html)
{
    long open = 0;
    for (const char* p = html; *p; ++p) {
        if (std::strncmp(p, "<div ", 5) == 0)
            ++open;
        else if (std::strncmp(p, "</div>", 6) == 0 && --open < 0)
            return false;
    }
    return open == 0;
}
