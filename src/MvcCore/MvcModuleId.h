#ifndef MVCMODULEID_H
#define MVCMODULEID_H

#include <QtGlobal>

// Every module built on the MVC core numbers its events on its own; the module id tells a
// party whose numbering an event follows. Ids are handed out in the order of first use.

// Takes the smallest id from 1 upwards that is not yet in use and reserves it; returns 0 when
// every id is taken.
quint32 allocateModuleId();

namespace MvcCore {
// The id of the core module's events and parties.
quint32 id();
} // namespace MvcCore

#endif // MVCMODULEID_H
