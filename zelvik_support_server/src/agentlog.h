#pragma once

#include <QLoggingCategory>

// The agent's own debug lines; filtered off they cost a flag test.
Q_DECLARE_LOGGING_CATEGORY(lcAgent)
