#ifndef ZELVIK_SUPPORT_WORKSPACE_H
#define ZELVIK_SUPPORT_WORKSPACE_H

#include <cworkspace.h>

class QQuickView;
class SwitchDBus;

// The switch application: starts the agent and shows the switch page full screen.
class zelvik_support_Workspace : public ORVANA::CWorkspace
{
    Q_OBJECT
public:
    zelvik_support_Workspace();

    void onLaunchComplete(Option option, const QStringList& params) override;

private:
    QQuickView* m_view;
    SwitchDBus* sd;
};

#endif // ZELVIK_SUPPORT_WORKSPACE_H
