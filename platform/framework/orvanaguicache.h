#pragma once

class QQuickView;

namespace ORVANA {

class CWorkspace;

// Entry of a GUI program and its one full-screen QML view.
class OrvanaGuiCache
{
public:
    static int qApplication(int& argc, char** argv, CWorkspace* workspace);
    static QQuickView* qQuickView();
};

} // namespace ORVANA
