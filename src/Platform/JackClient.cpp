#include "JackClient.h"

#include <QCoreApplication>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <thread>
#include <vector>

namespace Platform {

namespace {

void quiet(const char*) { }

// What an open that may outlast its caller's patience leaves behind.
struct Opening
{
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false; // the caller stopped waiting
    jack_client_t* client = nullptr;
    jack_status_t status {};
};

constexpr auto openTimeout = std::chrono::seconds(5);
constexpr auto closeTimeout = std::chrono::seconds(2);

} // namespace

std::shared_ptr<JackClient> JackClient::open(QString* problem)
{
    // Opened on a thread of its own, so that a server that does not answer holds no caller
    // longer than the time-out; a client that comes after it is closed again there.
    auto opening = std::make_shared<Opening>();
    std::thread([opening] {
        void (*errorFunction)(const char*) = jack_error_callback;
        void (*infoFunction)(const char*) = jack_info_callback;
        jack_set_error_function(quiet);
        jack_set_info_function(quiet);
        jack_status_t status {};
        jack_client_t* client = jack_client_open(
            name(), jack_options_t(JackNoStartServer | JackUseExactName), &status);
        if (!client && !(status & JackServerFailed)) {
            // The server answered but refused the name. Whether another client has it: a
            // client that may take another name tells.
            jack_status_t probeStatus {};
            if (jack_client_t* probe = jack_client_open(name(), JackNoStartServer, &probeStatus)) {
                if (qstrcmp(jack_get_client_name(probe), name()) != 0)
                    status = jack_status_t(status | JackNameNotUnique);
                jack_client_close(probe);
            }
        }
        jack_set_error_function(errorFunction);
        jack_set_info_function(infoFunction);
        std::unique_lock<std::mutex> locker(opening->mutex);
        if (opening->abandoned) {
            locker.unlock();
            if (client)
                jack_client_close(client);
            return;
        }
        opening->client = client;
        opening->status = status;
        opening->finished = true;
        opening->done.notify_all();
    }).detach();

    std::unique_lock<std::mutex> locker(opening->mutex);
    if (!opening->done.wait_for(locker, openTimeout, [&] { return opening->finished; })) {
        opening->abandoned = true;
        if (problem)
            *problem = QCoreApplication::translate(
                "MidiSystem", "The JACK server does not answer; Kelvo goes on without JACK.");
        return {};
    }
    if (!opening->client) {
        if (problem && (opening->status & JackNameNotUnique))
            *problem = QCoreApplication::translate(
                           "MidiSystem",
                           "Another program already has the JACK client name \"%1\", so Kelvo's "
                           "MIDI ports are not on JACK. Quit the other program (or another Kelvo) "
                           "and start Kelvo again.")
                           .arg(QString::fromLatin1(name()));
        return {};
    }
    std::shared_ptr<JackClient> client(new JackClient(opening->client), &JackClient::release);
    jack_set_process_callback(client->m_client, &JackClient::process, client.get());
    jack_on_shutdown(client->m_client, &JackClient::shutDown, client.get());
    if (jack_activate(client->m_client) != 0) {
        if (problem)
            *problem = QCoreApplication::translate("MidiSystem",
                                                   "Kelvo's JACK client could not be activated.");
        return {};
    }
    return client;
}

JackClient::JackClient(jack_client_t* client)
    : m_client(client)
{
    for (int i = 0; i < maxHandlers; ++i) {
        m_handlers[i].store(nullptr);
        m_isInput[i].store(false);
    }
}

JackClient::~JackClient() = default;

void JackClient::release(JackClient* client)
{
    if (client->serverGone()) {
        // The library's client state went with the server (and may belong to a new server by
        // now): touching it again crashes, and the library's threads may still be winding down
        // with the object in hand. Both are left as they are, kept where they can be found.
        static std::mutex goneMutex;
        static auto* gone = new std::vector<JackClient*>;
        const std::lock_guard<std::mutex> locker(goneMutex);
        gone->push_back(client);
        return;
    }
    auto closed = std::make_shared<std::pair<std::mutex, std::condition_variable>>();
    auto finished = std::make_shared<bool>(false);
    std::thread([client, closed, finished] {
        // Deactivating returns once no process cycle runs; only then does the object go.
        jack_deactivate(client->m_client);
        jack_client_close(client->m_client);
        delete client;
        const std::lock_guard<std::mutex> locker(closed->first);
        *finished = true;
        closed->second.notify_all();
    }).detach();
    std::unique_lock<std::mutex> locker(closed->first);
    closed->second.wait_for(locker, closeTimeout, [&] { return *finished; });
}

bool JackClient::addHandler(Handler* handler, bool input)
{
    const std::lock_guard<std::mutex> locker(m_tableMutex);
    for (int i = 0; i < maxHandlers; ++i) {
        if (!m_handlers[i].load()) {
            m_isInput[i].store(input);
            m_handlers[i].store(handler);
            if (m_used.load() <= i)
                m_used.store(i + 1);
            return true;
        }
    }
    return false;
}

bool JackClient::removeHandler(Handler* handler)
{
    {
        const std::lock_guard<std::mutex> locker(m_tableMutex);
        bool found = false;
        for (int i = 0; i < m_used.load(); ++i) {
            if (m_handlers[i].load() == handler) {
                m_handlers[i].store(nullptr);
                found = true;
            }
        }
        if (!found)
            return true;
    }
    // A cycle that began before the slot was cleared may still run the handler; one that began
    // after cannot see it.
    const quint64 begun = m_cyclesBegun.load();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (m_cyclesEnded.load() < begun) {
        if (m_serverGone.load())
            return true; // no cycle runs any more
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}

jack_port_t* JackClient::registerMidiPort(const std::string& name, unsigned long flags)
{
    const std::string cut = name.substr(0, maxPortNameLength() - 3);
    jack_port_t* port = nullptr;
    for (int attempt = 0; !port && attempt < 28; ++attempt) {
        if (attempt > 0 && attempt < 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const std::string numbered = attempt < 20 ? cut : cut + " " + std::to_string(attempt - 18);
        const std::lock_guard<std::mutex> requests(m_requestMutex);
        port = jack_port_register(m_client, numbered.c_str(), JACK_DEFAULT_MIDI_TYPE, flags, 0);
    }
    return port;
}

bool JackClient::connectPorts(const std::string& source, const std::string& destination)
{
    const std::lock_guard<std::mutex> requests(m_requestMutex);
    return jack_connect(m_client, source.c_str(), destination.c_str()) == 0;
}

bool JackClient::disconnectPort(jack_port_t* port)
{
    const std::lock_guard<std::mutex> requests(m_requestMutex);
    return jack_port_disconnect(m_client, port) == 0;
}

bool JackClient::renamePort(jack_port_t* port, const std::string& name)
{
    const std::lock_guard<std::mutex> requests(m_requestMutex);
    return jack_port_rename(m_client, port, name.c_str()) == 0;
}

void JackClient::unregisterPort(jack_port_t* port)
{
    if (serverGone())
        return;
    const std::lock_guard<std::mutex> requests(m_requestMutex);
    jack_port_unregister(m_client, port);
}

void JackClient::awaitGraphChange() const
{
    // The server takes a change into its graph at the start of a cycle; a cycle of ours that
    // ends after the call may have begun before it, the next one has not.
    const quint64 changed = cycles();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(250);
    while (cycles() < changed + 2 && !serverGone() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
}

std::size_t JackClient::maxPortNameLength()
{
    // The full name, client name and colon included, stays below the port name size.
    return std::size_t(jack_port_name_size()) - std::strlen(name()) - 2;
}

// JACK's process thread: no lock, no allocation, no wait.
int JackClient::process(jack_nframes_t frames, void* self)
{
    auto* client = static_cast<JackClient*>(self);
    client->m_cyclesBegun.fetch_add(1);
    const int used = client->m_used.load();
    for (bool inputs : {true, false}) {
        for (int i = 0; i < used; ++i) {
            Handler* handler = client->m_handlers[i].load();
            if (handler && client->m_isInput[i].load() == inputs)
                handler->process(frames);
        }
    }
    // Equal counts mean no cycle is under way: this one has finished with every handler.
    client->m_cyclesEnded.store(client->m_cyclesBegun.load());
    return 0;
}

void JackClient::shutDown(void* self)
{
    static_cast<JackClient*>(self)->m_serverGone.store(true);
}

} // namespace Platform
