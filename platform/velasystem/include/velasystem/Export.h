#pragma once

#include <QtCore/qglobal.h>

// Only the classes the relay uses are visible outside the library; the
// simulator's inner parts stay hidden, as a vendor's library hides its own.
#if defined(VELASYSTEM_BUILDING)
#define VELASYSTEM_EXPORT Q_DECL_EXPORT
#else
#define VELASYSTEM_EXPORT Q_DECL_IMPORT
#endif
