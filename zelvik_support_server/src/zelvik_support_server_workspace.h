#pragma once

#include <cworkspace.h>

namespace tarsel {
class HttpListener;
}
class ProxyServer;

// Start-up of the agent: single instance, automation switch, listener settings, and the
// three long-lived objects (dispatcher, HTTP listener, SSH relay).
class zelvik_support_server_Workspace : public ORVANA::CWorkspace
{
    Q_OBJECT
public:
    zelvik_support_server_Workspace();

    void onLaunchComplete(ORVANA::CWorkspace::Option option, const QStringList& params) override;

private:
    tarsel::HttpListener* listener = nullptr;
    ProxyServer* m_proxy = nullptr;
};
