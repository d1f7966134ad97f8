#include "panelcast.h"

#include <tinyxml2.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

using tinyxml2::XMLElement;

extern "C" {
std::string temp_id;
}
// Not exported: reached only through the pointer that go returns.
std::string html_string;

namespace {

// Numbers are read the way atoi and atof read them, but by our own code: the Linux and the
// Windows C libraries disagree at the edges (hex floats, "inf", overflow, rounding of "%f"),
// and both libraries must produce the same bytes.

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDecimal(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c) { return isDecimal(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int clampToInt(long long value)
{
    return static_cast<int>(value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : value);
}

// Leading blanks and one sign; returns true for a minus.
bool skipSign(const char*& s)
{
    while (isSpace(*s))
        ++s;
    const bool negative = *s == '-';
    if (*s == '-' || *s == '+')
        ++s;
    return negative;
}

// As atoi; values past the int range saturate instead of wrapping.
int readInt(const char* s)
{
    if (!s)
        return 0;
    const bool negative = skipSign(s);
    long long value = 0;
    for (; isDecimal(*s) && value <= INT_MAX; ++s)
        value = value * 10 + (*s - '0');
    return clampToInt(negative ? -value : value);
}

// For a number outside the double range: true when it is too large (strtod gives infinity),
// false when too small (strtod gives 0).
bool tooLarge(const char* s, bool hex)
{
    long long position = 0;
    bool nonZero = false;
    bool afterPoint = false;
    for (;; ++s) {
        if (*s == '.' && !afterPoint) {
            afterPoint = true;
        } else if (hex ? isHex(*s) : isDecimal(*s)) {
            nonZero = nonZero || *s != '0';
            position += (nonZero && !afterPoint) ? 1 : (!nonZero && afterPoint) ? -1 : 0;
        } else {
            break;
        }
    }
    long long exponent = 0;
    if (*s == (hex ? 'p' : 'e') || *s == (hex ? 'P' : 'E')) {
        ++s;
        const bool negative = *s == '-';
        if (*s == '-' || *s == '+')
            ++s;
        for (; isDecimal(*s); ++s)
            exponent = exponent < 100000000 ? exponent * 10 + (*s - '0') : exponent;
        exponent = negative ? -exponent : exponent;
    }
    return (hex ? position * 4 : position) + exponent > 0;
}

// As atof: decimal and hexadecimal forms, "inf", "infinity" and "nan", correctly rounded.
double readDouble(const char* s)
{
    if (!s)
        return 0;
    const bool negative = skipSign(s);
    const bool hex = s[0] == '0' && (s[1] == 'x' || s[1] == 'X')
        && (isHex(s[2]) || (s[2] == '.' && isHex(s[3])));
    if (hex)
        s += 2;
    // from_chars would accept a second minus sign, atof does not.
    if (*s == '-' || *s == '+')
        return 0;
    double value = 0;
    const auto result = std::from_chars(s, s + std::strlen(s), value,
                                        hex ? std::chars_format::hex : std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range)
        value = tooLarge(s, hex) ? HUGE_VAL : 0.0;
    else if (result.ec != std::errc())
        return 0;  // nothing read: no sign either
    return negative ? -value : value;
}

float readFloat(const char* s) { return static_cast<float>(readDouble(s)); }

void appendDigits(std::string& out, std::uint64_t value, int minimum = 1)
{
    char buffer[20];
    char* p = buffer + sizeof buffer;
    do {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value || buffer + sizeof buffer - p < minimum);
    out.append(p, buffer + sizeof buffer);
}

// Floats reach up to 2^128; only those above 2^64 need the wide type.
void appendDigits(std::string& out, unsigned __int128 value)
{
    constexpr std::uint64_t kTen19 = 10000000000000000000ull;
    if (value >> 64) {
        appendDigits(out, value / kTen19);
        appendDigits(out, static_cast<std::uint64_t>(value % kTen19), 19);
    } else {
        appendDigits(out, static_cast<std::uint64_t>(value));
    }
}

// printf "%d".
void appendInt(std::string& out, int value)
{
    if (value < 0)
        out += '-';
    appendDigits(out, std::uint64_t{value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value)});
}

// printf "%f" of a float: exact value, six decimals, ties to even.
void appendFixed(std::string& out, float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    if (bits >> 31)
        out += '-';
    const int biased = static_cast<int>((bits >> 23) & 0xff);
    const std::uint64_t fraction = bits & 0x7fffff;
    if (biased == 0xff) {
        out += fraction ? "nan" : "inf";
        return;
    }
    // value = mantissa * 2^exponent
    const std::uint64_t mantissa = biased ? fraction | 0x800000 : fraction;
    const int exponent = biased ? biased - 150 : -149;
    unsigned __int128 whole;
    std::uint64_t micros = 0;
    if (exponent >= 0) {
        whole = static_cast<unsigned __int128>(mantissa) << exponent;
    } else if (-exponent >= 64) {
        whole = 0;  // below 2^-40: rounds to 0.000000
        micros = 0;
    } else {
        const int shift = -exponent;
        whole = mantissa >> shift;
        const std::uint64_t scaled = (mantissa & ((std::uint64_t{1} << shift) - 1)) * 1000000;
        micros = scaled >> shift;
        const std::uint64_t rest = scaled & ((std::uint64_t{1} << shift) - 1);
        const std::uint64_t half = std::uint64_t{1} << (shift - 1);
        if (rest > half || (rest == half && (micros & 1)))
            ++micros;
        if (micros == 1000000) {
            ++whole;
            micros = 0;
        }
    }
    appendDigits(out, whole);
    char decimals[7] = {'.'};
    for (int i = 6; i > 0; --i, micros /= 10)
        decimals[i] = static_cast<char>('0' + micros % 10);
    out.append(decimals, sizeof decimals);
}

// The scale text goes into the style attribute; quotes and angle brackets would end the tag.
void appendEscaped(std::string& out, const char* text)
{
    for (; text && *text; ++text) {
        switch (*text) {
        case '"': out += "&quot;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        default: out += *text;
        }
    }
}

bool equals(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }

enum Fill { Transparent, Red, Blue };
const char* const kTails[] = {"\">", "background:#F00;\">", "background:#00F;\">"};

Fill fillOf(const XMLElement* item)
{
    const char* id = item->Attribute("tempID");
    // The loader rule reads the item's own "z", not the summed z-index.
    const bool coloured = readInt(item->Attribute("hasContents")) != 0
        || (equals(item->Name(), "QQuickLoader") && readInt(item->Attribute("z")) == 10000
            && equals(id, "temp7"));
    if (!coloured)
        return Transparent;
    // An empty selection selects nothing, not every item without an identifier.
    return id && !temp_id.empty() && temp_id == id ? Red : Blue;
}

bool isShown(const XMLElement* item)
{
    return readDouble(item->Attribute("opacity")) != 0
        && !equals(item->Name(), "QQuickShaderEffectSource")
        && readInt(item->Attribute("visible")) == 1;
}

// One level of the traversal: the next child to visit and what it inherits from its parent.
struct Frame {
    const XMLElement* next;
    int z;
    int rotation;
    float width;
    float height;
    bool root;
};

// Appends the opening tag of a shown item; returns the frame for its children.
Frame appendOpeningTag(std::string& out, const XMLElement* item, const Frame& parent)
{
    const float height = readFloat(item->Attribute("height"));
    const float width = readFloat(item->Attribute("width"));
    const float cx = readFloat(item->Attribute(parent.root ? "centerXToGlobal" : "centerXToItem"));
    const float cy = readFloat(item->Attribute(parent.root ? "centerYToGlobal" : "centerYToItem"));
    // This order fixes the single-precision result.
    const float left = (cx - parent.width / 2) + (parent.width - width) / 2;
    const float top = (cy - parent.height / 2) + (parent.height - height) / 2;
    const int z = clampToInt(static_cast<long long>(readInt(item->Attribute("z"))) + parent.z);
    const int rotation = readInt(item->Attribute("rotation"));

    out += "<div style=\"position:absolute;z-index:";
    appendInt(out, z);
    out += ";left:";
    appendFixed(out, left);
    out += "px;top:";
    appendFixed(out, top);
    out += "px;width:";
    appendFixed(out, width);
    out += "px;height:";
    appendFixed(out, height);
    out += "px;-webkit-transform:scale(";
    appendEscaped(out, item->Attribute("scale"));
    out += ") rotate(";
    appendInt(out, clampToInt(static_cast<long long>(rotation) - parent.rotation));
    out += "deg);";
    if (readInt(item->Attribute("clip")) == 1)
        out += "clip:rect(auto, auto, auto, auto);";
    out += kTails[fillOf(item)];
    return {item->FirstChildElement(), z, rotation, width, height, false};
}

// Depth-first with an explicit stack: element trees built in memory have no depth limit.
void traverse(const XMLElement* parent, const Frame& start)
{
    if (!parent || parent->NoChildren())
        return;
    std::vector<Frame> stack{start};
    stack.back().next = parent->FirstChildElement();
    while (!stack.empty()) {
        const XMLElement* item = stack.back().next;
        if (!item) {
            stack.pop_back();
            if (!stack.empty())
                html_string += "</div>";
            continue;
        }
        stack.back().next = item->NextSiblingElement();
        if (!isShown(item))
            continue;
        const Frame children = appendOpeningTag(html_string, item, stack.back());
        if (item->NoChildren())
            html_string += "</div>";
        else
            stack.push_back(children);
    }
}

} // namespace

extern "C" void xmlToHtmlTraversed(const XMLElement* child, int index_z, int fr, float fw, float fh, bool root)
{
    const std::size_t size = html_string.size();
    try {
        traverse(child, {nullptr, index_z, fr, fw, fh, root});
    } catch (...) {
        html_string.resize(size);  // out of memory: no half-written boxes
    }
}

extern "C" const char* go(const char* xml, const char* id, int w, int h)
{
    html_string.clear();
    try {
        temp_id = id ? id : "";
        if (!xml)
            return html_string.c_str();
        tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
        document.Parse(xml);
        // A parse error leaves the document empty: no root, no boxes.
        const XMLElement* root = document.RootElement();
        for (const XMLElement* level1 = root ? root->FirstChildElement() : nullptr; level1;
             level1 = level1->NextSiblingElement()) {
            for (const XMLElement* start = level1->FirstChildElement(); start; start = start->NextSiblingElement())
                traverse(start, {nullptr, 0, 0, static_cast<float>(w), static_cast<float>(h), true});
        }
    } catch (...) {
        html_string.clear();
    }
    return html_string.c_str();
}
