#pragma once

#include <QDBusConnection>
#include <QtGlobal>

// Bytes this process has queued on a bus connection and not yet handed to the bus; 0 when the
// D-Bus library in use cannot tell. A peer that asks faster than the bus carries the answers
// makes this grow without bound, so answers that are large can be held back while it is high.
qint64 busBacklogBytes(const QDBusConnection& bus);
