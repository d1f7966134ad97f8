// Layout renderer: turns a layout dump into absolutely positioned HTML boxes.
#ifndef PANELCAST_H
#define PANELCAST_H

#include <string>

namespace tinyxml2 {
class XMLElement;
}

#if defined(_WIN32)
#define PANELCAST_EXPORT __declspec(dllexport)
#define PANELCAST_LINUX_EXPORT
#else
#define PANELCAST_EXPORT __attribute__((visibility("default")))
#define PANELCAST_LINUX_EXPORT PANELCAST_EXPORT
#endif

extern "C" {

// Identifier ("tempID") of the selected item, set by every call of go. C linkage keeps the
// symbol name plain ("temp_id").
extern PANELCAST_LINUX_EXPORT std::string temp_id;

// Converts the zero-terminated layout dump xml for a screen of w x h pixels; the item whose
// "tempID" equals id is filled red. Returns the HTML fragment, owned by the library and valid
// until the next call. Text that does not parse (tinyxml2 also refuses documents nested more
// than 100 elements deep) gives an empty fragment. Not re-entrant.
PANELCAST_EXPORT const char* go(const char* xml, const char* id, int w, int h);

// Appends the boxes of the child elements of child (and their descendants) to the fragment
// that go returns. index_z and fr are the z-index and "rotation" of the enclosing item, fw x fh
// its size; root selects the global centre attributes of the outermost level.
PANELCAST_LINUX_EXPORT void xmlToHtmlTraversed(const tinyxml2::XMLElement* child, int index_z, int fr,
                                               float fw, float fh, bool root);
}

#endif
