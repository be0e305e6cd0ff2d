#pragma once

#include <QLoggingCategory>

// The window's trace (style sheet, backup files). Its debug lines are off
// unless asked for (QT_LOGGING_RULES="kv3pd.*.debug=true"); its warnings are on.
Q_DECLARE_LOGGING_CATEGORY(lcWindow)
