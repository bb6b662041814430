#ifndef KELVONOTESLIMITS_H
#define KELVONOTESLIMITS_H

/* The deepest nesting of groups that a notes text may have. Shared by the generated parser
 * (C) and the driver (C++). */
#define KELVO_NOTES_MAX_DEPTH 256

#endif
