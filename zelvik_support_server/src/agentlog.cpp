#include "agentlog.h"

Q_LOGGING_CATEGORY(lcAgent, "zelvik.agent", QtDebugMsg)
