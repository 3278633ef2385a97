#pragma once

#include <QDBusConnection>
#include <QtGlobal>

// Bytes this process has queued on a bus connection and not yet handed to the bus; -1 when the
// D-Bus library in use cannot tell. A peer that asks faster than the bus carries the answers
// makes this grow without bound, so answers that are large can be held back while it is high.
qint64 busBacklogBytes(const QDBusConnection& bus);

// Caps the calls and signals this process holds unread on a bus connection: past `bytes`, the
// library stops reading and the bus holds back (and in the end refuses) what peers send, instead
// of this process queueing a flood of calls faster than it answers them. False when the D-Bus
// library in use cannot do it.
bool limitUnreadBytes(const QDBusConnection& bus, long bytes);
