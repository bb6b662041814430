#include "FrameRecorder.h"

#include "RepeatedNoteOff.h"

#include <QDeadlineTimer>
#include <QThread>

#include <jack/midiport.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <unistd.h>

namespace {

// JACK hands the port's buffer from the writing client's process thread to the recorder's
// through semaphores inside libjack, which ThreadSanitizer cannot see, so the copy out of the
// buffer is left out of its checks (byte by byte, so that it is not made a memcpy).
#ifdef __SANITIZE_THREAD__
__attribute__((no_sanitize_thread))
#endif
void copyOut(unsigned char* to, const jack_midi_data_t* from, size_t size)
{
    const volatile jack_midi_data_t* bytes = from;
    for (size_t i = 0; i < size; ++i)
        to[i] = bytes[i];
}

double hostTimeUs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
}

// JACK's clock less the host clock: of three readings of JACK's clock between two of the host
// clock, the one least apart, as Kelvo's output takes it.
double jackMinusHostUs()
{
    double best = 0;
    double bestWidth = 1e300;
    for (int i = 0; i < 3; ++i) {
        const double before = hostTimeUs();
        const double jack = double(jack_get_time());
        const double after = hostTimeUs();
        if (after - before < bestWidth) {
            bestWidth = after - before;
            best = jack - (before + after) / 2;
        }
    }
    return best;
}

} // namespace

double FrameRecorder::Event::hostNs() const
{
    const double us = double(cycleStartUs)
        + double(offset) * double(nextCycleUs - cycleStartUs) / double(cycleFrames);
    return (us - jackMinusHostUs) * 1e3;
}

double FrameRecorder::Event::presentHostNs() const
{
    return hostNs() - clockAheadUs * 1e3;
}

double FrameRecorder::Event::hostNsAsRun() const
{
    const double cycleUs = double(nextCycleUs - cycleStartUs);
    return std::abs(clockAheadUs) > cycleUs / 4 ? presentHostNs() : hostNs();
}

bool FrameRecorder::Event::clockAhead() const
{
    return clockAheadUs > double(nextCycleUs - cycleStartUs) / 2;
}

double FrameRecorder::Event::offsetOf(quint64 dueNs, jack_nframes_t latencyFrames) const
{
    const double dueUs = double(dueNs) / 1e3 + jackMinusHostUs;
    return (dueUs - double(cycleStartUs)) * double(cycleFrames) / double(nextCycleUs - cycleStartUs)
        + double(latencyFrames);
}

FrameRecorder::FrameRecorder(const char* clientName, bool keepRepeats)
    : m_events(65536)
    , m_keepRepeats(keepRepeats)
{
    m_client = jack_client_open(clientName, JackNoStartServer, nullptr);
    if (!m_client)
        return;
    m_port = jack_port_register(m_client, "record", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(m_client, &FrameRecorder::process, this);
    if (!m_port || jack_activate(m_client) != 0) {
        jack_client_close(m_client);
        m_client = nullptr;
    }
}

FrameRecorder::~FrameRecorder()
{
    if (m_client) {
        jack_deactivate(m_client);
        jack_client_close(m_client);
    }
}

QString FrameRecorder::portName() const
{
    return m_port ? QString::fromLocal8Bit(jack_port_name(m_port)) : QString();
}

jack_nframes_t FrameRecorder::periodFrames() const
{
    return m_client ? jack_get_buffer_size(m_client) : 0;
}

jack_nframes_t FrameRecorder::sampleRate() const
{
    return m_client ? jack_get_sample_rate(m_client) : 0;
}

bool FrameRecorder::connectFrom(const QString& port)
{
    if (!m_client)
        return false;
    const char** ports
        = jack_get_ports(m_client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput);
    bool connected = false;
    for (const char** name = ports; name && *name && !connected; ++name) {
        if (QString::fromLocal8Bit(*name).endsWith(QLatin1Char(':') + port))
            connected = jack_connect(m_client, *name, jack_port_name(m_port)) == 0;
    }
    jack_free(ports);
    return connected;
}

int FrameRecorder::process(jack_nframes_t frames, void* self)
{
    auto* recorder = static_cast<FrameRecorder*>(self);
    void* buffer = jack_port_get_buffer(recorder->m_port, frames);
    const jack_nframes_t count = jack_midi_get_event_count(buffer);
    if (count == 0)
        return 0;
    Stored stored {};
    float periodUs = 0;
    jack_get_cycle_times(recorder->m_client, &stored.frame, &stored.cycleStartUs,
                         &stored.nextCycleUs, &periodUs);
    const jack_nframes_t cycleStart = stored.frame;
    stored.cycleFrames = frames;
    stored.jackMinusHostUs = jackMinusHostUs();
    stored.clockAheadUs = double(stored.cycleStartUs) - double(jack_get_time());
    bool noteOn = false;
    for (jack_nframes_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0)
            continue;
        stored.size = quint32(std::min<size_t>(event.size, sizeof stored.bytes));
        copyOut(stored.bytes, event.buffer, stored.size);
        stored.offset = event.time;
        stored.frame = cycleStart + event.time;
        if (!recorder->m_keepRepeats && isRepeatedNoteOff(stored.bytes, stored.size))
            continue;
        if (!recorder->m_events.push(stored))
            recorder->m_dropped.fetch_add(1);
        noteOn
            = noteOn || (stored.size == 3 && (stored.bytes[0] & 0xf0) == 0x90 && stored.bytes[2]);
    }
    const int late = noteOn ? recorder->m_latePeriods.exchange(0) : 0;
    if (late > 0)
        usleep(useconds_t(late * (stored.nextCycleUs - stored.cycleStartUs)));
    return 0;
}

QList<FrameRecorder::Event> FrameRecorder::take()
{
    QList<Event> events;
    m_events.consume_all([&events](const Stored& stored) {
        Event event;
        event.bytes = QByteArray(reinterpret_cast<const char*>(stored.bytes), int(stored.size));
        event.frame = stored.frame;
        event.offset = stored.offset;
        event.cycleFrames = stored.cycleFrames;
        event.cycleStartUs = stored.cycleStartUs;
        event.nextCycleUs = stored.nextCycleUs;
        event.jackMinusHostUs = stored.jackMinusHostUs;
        event.clockAheadUs = stored.clockAheadUs;
        events.append(event);
    });
    return events;
}

QList<FrameRecorder::Event> FrameRecorder::receive(int count, int timeoutMs)
{
    QList<Event> events;
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        events += take();
        if (events.size() >= count || deadline.hasExpired())
            return events;
        QThread::msleep(2);
    }
}
