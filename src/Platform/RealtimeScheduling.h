#ifndef REALTIMESCHEDULING_H
#define REALTIMESCHEDULING_H

namespace Platform {

// Asks the system to run the calling thread under the real-time FIFO scheduler, at `priority`
// (1..99) or at the highest priority the process's limits allow, whichever is lower. Needs no
// root: an account allowed real-time priorities (an audio group's limits) gets it; otherwise
// the thread stays at normal priority, the first refusal of the process is logged in one line,
// and false is returned.
bool requestRealtimeScheduling(int priority = 70);

} // namespace Platform

#endif // REALTIMESCHEDULING_H
