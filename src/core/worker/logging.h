#pragma once

#include <QLoggingCategory>

// The worker's trace of its transfers. Its debug lines are off unless asked
// for (QT_LOGGING_RULES="kv3pd.*.debug=true"); its warnings are on.
Q_DECLARE_LOGGING_CATEGORY(lcWorker)
